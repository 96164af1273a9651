// Importing a registry-editor file, and removing what it marks.
#pragma once

#include <string_view>

#include "common/failure.h"

namespace qh {

enum class RegfileMode { apply, remove };

// 0 read to its end; 1 cannot be opened; 2 stopped early at a line that the
// code page cannot represent (what came before stays applied). A failure,
// when given, receives the reason of a non-zero code.
int regfile_apply(std::string_view path, RegfileMode mode, Failure* failure = nullptr);

}  // namespace qh
