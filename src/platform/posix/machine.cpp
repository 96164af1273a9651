// Where the emulated machine lives, and creating it on first use.
#include "platform/posix/machine.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qh::platform::posix {
namespace {

std::string non_empty_env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string home_directory() {
    std::string home = non_empty_env("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/tmp";
}

std::string configured_root() {
    std::string root = non_empty_env("QUILLHAVEN_ROOT");
    if (!root.empty()) return root;
    std::string data = non_empty_env("XDG_DATA_HOME");
    if (data.empty()) data = home_directory() + "/.local/share";
    return data + "/quillhaven";
}

std::string create_root() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::path root = fs::absolute(configured_root(), ignored);
    fs::create_directories(root / "drive_c" / "Windows" / "system32", ignored);
    // Present from the start, so that "no broadcast yet" reads as an empty log.
    const int log = open((root / "broadcast.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    if (log >= 0) close(log);
    // The resolved form, so that it compares equal with getcwd() results.
    fs::path resolved = fs::weakly_canonical(root, ignored);
    std::string text = (resolved.empty() ? root : resolved).string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

const std::string& machine_root() {
    static const std::string root = create_root();
    return root;
}

std::string drive_c_root() { return machine_root() + "/drive_c"; }

}  // namespace qh::platform::posix
