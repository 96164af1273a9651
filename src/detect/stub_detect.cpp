// Placeholder until the detections land.
#include "detect/java_gs.h"
#include "detect/tex_tools.h"
namespace qh {
int java_detect(std::string& result) { result.clear(); return 1; }
int java_set_command(RunContext&, std::string_view) { return 1; }
int gs_detect(std::string& result) { result.clear(); return 1; }
int gs_add_to_path(RunContext&, Scope, Position) { return 2; }
int detect_winedt(std::string& result) { result.clear(); return 1; }
MiktexOutcome detect_miktex(std::string&, std::string&) { return MiktexOutcome::none; }
}  // namespace qh
