// Path-list edits of a registry string value: read, edit, write back.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// Edits `list` in place; 0 when the edited list is to be written back. An
// edit that refuses records why in `failure` (when given), naming the list
// by `list_name`, and returns its non-zero code.
using ListEdit =
    std::function<int(std::string& list, std::string_view list_name, Failure* failure)>;

// Codes of edit_list_value besides those of the edit.
inline constexpr int kListNotRead = 1;        // the key or value not read, or not a string value
inline constexpr int kListEditRefused = 2;    // the edit refused; the value is untouched
inline constexpr int kListKeyNotWritten = 1;  // the key not opened for writing the list back
inline constexpr int kListNotWritten = 2;     // the value not set

// The string type the edited list is stored as.
enum class ListType {
    keep,               // the value's own, REG_SZ or REG_EXPAND_SZ
    expand_references,  // REG_EXPAND_SZ once the list holds a %NAME% reference
};

// 0 edited, and written back unless the edit left the text and the type as
// they were (`written`, when given, tells which); otherwise one of the codes
// above. The write goes through the session, when given. A failure, when given, receives the reason
// of every non-zero code; `list_name` names the value in it.
int edit_list_value(Key root, std::string_view subkey, ValueName name, const ListEdit& edit,
                    Failure* failure = nullptr, std::string_view list_name = "the value",
                    ListType list_type = ListType::keep, bool* written = nullptr,
                    ChangeSession* session = nullptr);

}  // namespace qh
