// The Windows 9x family keeps its environment in the set lines of the
// startup batch file instead of the registry.
#pragma once

#include <string>
#include <string_view>

#include "envpath/run_context.h"

namespace qh {

inline constexpr std::string_view kAutoexecPath = "C:\\AUTOEXEC.BAT";

// 0 appended; 2 the process value already holds DIRS; 3 the file cannot be
// appended to.
int autoexec_add_path(std::string_view dirs, std::string_view name, Position position);
// 0 rewritten; 2 no Path in the process environment; 3 the file cannot be
// read or rewritten.
int autoexec_remove_path(std::string_view dirs, std::string_view name);

// The text of the file with the lines a removal drops left out.
std::string autoexec_without(std::string_view content, std::string_view dirs,
                             std::string_view name);

}  // namespace qh
