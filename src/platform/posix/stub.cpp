// Placeholder for the services of this backend that have not landed yet.
#include "platform/platform.h"

namespace qh::platform {
bool locale_select(std::string_view) { return false; }
std::string locale_lower(std::string_view text) { return std::string(text); }
int locale_compare_nocase(std::string_view a, std::string_view b) { return a.compare(b); }
bool wide_to_multibyte(std::u16string_view, std::string&) { return false; }
void stdout_write(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}
std::optional<std::string> current_directory() { return std::nullopt; }
std::optional<std::uint32_t> find_first_attributes(std::string_view) { return std::nullopt; }
bool create_directory(std::string_view) { return false; }
std::FILE* file_open(std::string_view, const char*) { return nullptr; }
bool search_env_path(std::string_view, std::string_view) { return false; }
std::optional<Family> windows_family() { return Family::nt; }
std::optional<std::string> env_lookup(std::string_view) { return std::nullopt; }
CommandResult run_command(std::string_view) { return {}; }
void broadcast_environment_change() {}
}  // namespace qh::platform
