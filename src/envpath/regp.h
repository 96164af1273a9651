// Path lists held in any registry string value (+regp, -regp), named by a
// registry path text as the user typed it.
#pragma once

#include <string_view>

#include "common/failure.h"
#include "common/run_context.h"
#include "registry/reg_value.h"

namespace qh {

// 0 edited and written back; 1 root not recognised, value not read or not a
// string; 2 the edit refused (see pathlist_add, pathlist_remove); else the
// code of the write. A failure, when given, receives the reason of a
// non-zero code.
int regp_add(std::string_view dirs, std::string_view key_path, ValueName name, Position position,
             Failure* failure = nullptr);
int regp_remove(std::string_view dirs, std::string_view key_path, ValueName name,
                Failure* failure = nullptr);

}  // namespace qh
