// Placeholder until the latest-subkey lookup lands.
#include "registry/reg_latest.h"
namespace qh {
int reg_read_latest(RegValue&, std::string&, std::string_view, ValueName) { return 11; }
}  // namespace qh
