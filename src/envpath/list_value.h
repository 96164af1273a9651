// Path-list edits of a registry string value: read, edit, write back.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// Edits the list in place; 0 when the edited list is to be written back.
// An edit that refuses gives its own reason.
using ListEdit = std::function<int(std::string& list)>;

// 1 not read, or not a string value; 2 the edit refused; else the code of
// the write, which keeps the value's type (REG_SZ or REG_EXPAND_SZ). A
// failure, when given, receives the reason of a non-zero code other than 2;
// `list_name` names the value in it.
int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit,
                    Failure* failure = nullptr, std::string_view list_name = "the value");

}  // namespace qh
