// Windows paths on the emulated machine: C: is the machine's drive_c folder,
// Z: the host's root, as under Wine.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/machine.h"

namespace qh::platform::posix {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::optional<std::string> host_current_directory() {
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) return std::nullopt;
    return std::string(cwd.get());
}

// Where a Windows path starts: a drive letter and the components below its root.
struct Location {
    char drive = 'C';
    std::vector<std::string> parts;
};

std::optional<Location> current_location() {
    const auto current = current_windows_directory();
    if (!current) return std::nullopt;
    const std::string& win = *current;
    Location here{win[0], {}};
    std::size_t start = 3;  // after "X:\"
    while (start < win.size()) {
        std::size_t end = win.find('\\', start);
        if (end == std::string::npos) end = win.size();
        if (end > start) here.parts.emplace_back(win.substr(start, end - start));
        start = end + 1;
    }
    return here;
}

// The name of an existing entry of `dir` that equals `name` letter case aside.
std::optional<std::string> find_entry_ignoring_case(const std::string& dir, std::string_view name) {
    DIR* stream = opendir(dir.empty() ? "/" : dir.c_str());
    if (!stream) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = readdir(stream)) {
        if (same_ignoring_ascii_case(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(stream);
    return found;
}

}  // namespace

std::optional<std::string> host_path(std::string_view win_path) {
    win_path = cut_at_zero(win_path);
    // The current directory is asked only when needed: an audit of a long
    // Path looks up thousands of absolute paths.
    Location where;
    std::string_view rest = win_path;
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
        where.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        if (where.drive != 'C' && where.drive != 'Z') return std::nullopt;
        rest.remove_prefix(2);
        // "C:name" continues from the current directory when that is on C:.
        if (rest.empty() || !is_separator(rest[0])) {
            const auto here = current_location();
            if (here && here->drive == where.drive) where.parts = here->parts;
        }
    } else {
        if (rest.size() >= 2 && is_separator(rest[0]) && is_separator(rest[1]))
            return std::nullopt;  // no network on this machine
        const auto here = current_location();
        if (!here) return std::nullopt;
        where.drive = here->drive;
        if (rest.empty() || !is_separator(rest[0])) where.parts = here->parts;
    }

    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        const std::string_view part = rest.substr(start, end - start);
        if (part == "..") {
            if (!where.parts.empty()) where.parts.pop_back();
        } else if (!part.empty() && part != ".") {
            where.parts.emplace_back(part);
        }
        start = end + 1;
    }

    std::string host = where.drive == 'C' ? drive_c_root() : std::string();
    // Under its exact name every component exists: one lookup, not one per
    // component.
    std::string exact = host;
    for (const std::string& part : where.parts) exact.append("/").append(part);
    struct stat exact_info;
    if (!exact.empty() && lstat(exact.c_str(), &exact_info) == 0) return exact;
    bool resolving = true;  // below a missing entry nothing can exist
    for (const std::string& part : where.parts) {
        std::string next = host + "/" + part;
        struct stat info;
        if (resolving && lstat(next.c_str(), &info) != 0) {
            if (const auto existing = find_entry_ignoring_case(host, part))
                next = host + "/" + *existing;
            else
                resolving = false;
        }
        host = std::move(next);
    }
    return host.empty() ? std::string("/") : host;
}

std::optional<std::string> current_windows_directory() {
    const auto cwd = host_current_directory();
    if (!cwd) return std::nullopt;
    return windows_path(*cwd);
}

std::string windows_path(std::string_view host) {
    const std::string drive_c = drive_c_root();
    std::string win;
    std::string_view rest;
    if (host.substr(0, drive_c.size()) == drive_c &&
        (host.size() == drive_c.size() || host[drive_c.size()] == '/')) {
        win = "C:";
        rest = host.substr(drive_c.size());
    } else {
        win = "Z:";
        rest = host;
    }
    if (rest.empty()) rest = "/";
    for (char c : rest) win += c == '/' ? '\\' : c;
    return win;
}

bool same_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace qh::platform::posix
