// Importing a registry-editor file, and removing what it marks.
#pragma once

#include <string_view>

#include "common/failure.h"

namespace qh {

enum class RegfileMode { apply, remove };

// 0 read to its end; 1 cannot be opened, or not a regular file; 2 stopped
// early at a line that the code page cannot represent, or that could not be
// read; 3 stopped at a line or value larger than the import takes; 4 stopped
// because the registry failed a write or a deletion for a reason other than
// what was asked (a full disk, a broken or locked registry). What came
// before a stop stays applied, unless the registry's own failure lost it.
// A failure, when given, receives the reason of a non-zero code, with the
// line it stopped at and, for 4, the registry's status.
int regfile_apply(std::string_view path, RegfileMode mode, Failure* failure = nullptr);

}  // namespace qh
