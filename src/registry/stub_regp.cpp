// Placeholder until path lists land.
#include "registry/reg_commands.h"
namespace qh {
int regp_add(RunContext&, std::string_view, std::string_view, ValueName, Position) { return 1; }
int regp_remove(RunContext&, std::string_view, std::string_view, ValueName) { return 1; }
}  // namespace qh
