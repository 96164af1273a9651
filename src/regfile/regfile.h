// Importing a registry-editor file, and removing what it marks.
#pragma once

#include <string_view>

namespace qh {

enum class RegfileMode { apply, remove };

// 0 read to its end; 1 cannot be opened; 2 stopped early at a line that the
// code page cannot represent (what came before stays applied).
int regfile_apply(std::string_view path, RegfileMode mode);

}  // namespace qh
