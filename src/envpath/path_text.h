// Operations on directory texts (backslash-separated, ANSI code page).
#pragma once

#include <string>
#include <string_view>

namespace qh {

// Drops one trailing ';', then one trailing backslash unless it ends a root.
void path_trim(std::string& dir);
// `base` and `relative` with one backslash between them; a `relative` that
// starts with a backslash replaces the base.
std::string path_join(std::string_view base, std::string_view relative);
// path_join in place, into `base`.
void path_append(std::string& base, std::string_view relative);
// Whether the first entry that matches `path` (wildcards allowed) is a
// directory; a path that ends in a backslash matches nothing, so false.
bool path_is_directory(std::string_view path);
// Resolves ".", ".\x" and "..\x" against the current directory and removes
// "." and ".." segments, then trims. When there is no current directory to
// resolve against, a text that needs one is only trimmed.
void path_normalize(std::string& dir);

}  // namespace qh
