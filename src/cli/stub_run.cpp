// Placeholder until the front end lands.
#include "cli/run.h"
namespace qh {
int cli_run(const std::vector<std::string>&, const Output&) { return 1; }
}  // namespace qh
