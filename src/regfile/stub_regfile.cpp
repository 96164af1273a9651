// Placeholder until registry files land.
#include "regfile/regfile.h"
namespace qh {
int regfile_apply(std::string_view, RegfileMode) { return 1; }
}  // namespace qh
