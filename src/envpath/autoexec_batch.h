// The Windows 9x family keeps its environment in the set lines of the
// startup batch file instead of the registry.
#pragma once

#include <string>
#include <string_view>

#include "common/failure.h"
#include "common/switches.h"
#include "registry/reg_session.h"

namespace qh {

inline constexpr std::string_view kAutoexecPath = "C:\\AUTOEXEC.BAT";

// Codes of the two edits.
inline constexpr int kAutoexecAlreadyThere = 2;  // add: the process value holds DIRS already
inline constexpr int kAutoexecNoPath = 2;        // remove: no Path in the process environment
inline constexpr int kAutoexecFileFailed = 3;  // the file cannot be read, appended to or rewritten
// NAME or DIRS would not make one well-formed set line: empty, a NAME with
// '=', or a line end or end-of-file byte in either.
inline constexpr int kAutoexecRefused = 7;

// A failure, when given, receives the reason of a non-zero code.
// 0 appended, kAutoexecAlreadyThere, kAutoexecFileFailed, kAutoexecRefused.
// The file is written only once the session (when given) has kept its
// former content beside the run's journal (reg_session.h); when it cannot,
// kAutoexecFileFailed with the session's reason.
int autoexec_add_path(std::string_view dirs, std::string_view name, Position position,
                      Failure* failure = nullptr, ChangeSession* session = nullptr);
// 0 rewritten (or nothing to drop), kAutoexecNoPath, kAutoexecFileFailed,
// kAutoexecRefused.
int autoexec_remove_path(std::string_view dirs, std::string_view name, Failure* failure = nullptr,
                         ChangeSession* session = nullptr);

// The text of the file with the lines a removal drops left out.
std::string autoexec_without(std::string_view content, std::string_view dirs,
                             std::string_view name);

}  // namespace qh
