// Finding a program the way the command interpreter would.
#pragma once

#include <string_view>

namespace qh {

// Whether `file` is in the current directory or in one of the directories
// listed in the process environment variable `variable` (';'-separated,
// empty entries skipped, quote characters dropped). A directory and name
// longer than kMaxSearchPath characters are passed over, as the C runtime's
// own search does.
bool file_on_search_path(std::string_view file, std::string_view variable);

}  // namespace qh
