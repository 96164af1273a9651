// Path lists held in any registry string value (+regp, -regp), named by a
// registry path text as the user typed it.
#pragma once

#include <string_view>

#include "common/failure.h"
#include "common/switches.h"
#include "registry/reg_value.h"

namespace qh {

// 0 edited and written back; otherwise the codes of edit_list_value
// (list_value.h), kListNotRead also for a root not recognised, with the
// edit's reason when pathlist_add or pathlist_remove refused. A failure,
// when given, receives the reason of a non-zero code.
int regp_add(std::string_view dirs, std::string_view key_path, ValueName name, Position position,
             Failure* failure = nullptr, ChangeSession* session = nullptr);
int regp_remove(std::string_view dirs, std::string_view key_path, ValueName name,
                Failure* failure = nullptr, ChangeSession* session = nullptr);

}  // namespace qh
