// Placeholder until the Windows's test support lands.
#include "support/test_support.h"
namespace qh_test {
std::string backend_name() { return "win32"; }
void prepare_machine() {}
bool make_directory(std::string_view) { return false; }
bool write_file(std::string_view, std::string_view) { return false; }
std::optional<std::string> read_file(std::string_view) { return std::nullopt; }
bool remove_file(std::string_view) { return false; }
bool set_read_only(std::string_view, bool) { return false; }
std::string scratch_dir(std::string_view) { return {}; }
void set_env(std::string_view, std::string_view) {}
void unset_env(std::string_view) {}
bool change_directory(std::string_view) { return false; }
ToolRun run_tool(const std::vector<std::string>&) { return {}; }
std::vector<int> run_tool_parallel(const std::vector<std::vector<std::string>>&) { return {}; }
std::optional<int> broadcast_count() { return std::nullopt; }
void set_windows_family_9x(bool) {}
}  // namespace qh_test
