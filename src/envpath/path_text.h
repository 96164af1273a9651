// Operations on directory texts (backslash-separated, ANSI code page).
#pragma once

#include <string>
#include <string_view>

namespace qh {

// Drops one trailing ';', then one trailing backslash unless it ends a root.
void path_trim(std::string& dir);
std::string path_join(std::string_view base, std::string_view relative);
void path_append(std::string& base, std::string_view relative);
bool path_is_directory(std::string_view path);
// Resolves ".", ".\x" and "..\x" against the current directory and removes
// "." and ".." segments.
void path_normalize(std::string& dir);

}  // namespace qh
