// Finding a program the way the command interpreter would.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qh {

// Whether `file` is in the current directory or in one of the directories
// listed in the process environment variable `variable` (';'-separated,
// empty entries skipped, quote characters dropped). A directory and name
// longer than kMaxSearchPath characters are passed over, as the C runtime's
// own search does.
bool file_on_search_path(std::string_view file, std::string_view variable);
// The first directory of that search that holds `file` and that `accepts`
// takes (any, when it is not set): the current directory as
// current_directory gives it, a listed one as listed, quotes and one
// trailing backslash dropped. Nothing when there is none.
std::optional<std::string> directory_on_search_path(
    std::string_view file, std::string_view variable,
    bool (*accepts)(std::string_view directory) = nullptr);

}  // namespace qh
