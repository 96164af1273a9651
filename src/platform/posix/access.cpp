#include "platform/posix/access.h"

#include <sys/stat.h>

#include <cassert>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/posix/machine.h"

namespace qh::platform::posix {
namespace {

constexpr const char* kUserVariable = "QUILLHAVEN_USER";
constexpr std::string_view kStandardUser = "standard";

// Read on every check, so a test can switch sessions within one process.
bool standard_user() {
    const char* user = std::getenv(kUserVariable);
    return user && std::string_view(user) == kStandardUser;
}

// Whether a standard user's writes below each root are refused, indexed by
// Root.
constexpr bool kRootProtected[] = {
    // HKEY_CLASSES_ROOT holds nothing itself: its keys are the user's
    // classes (a hive of HKEY_CURRENT_USER) or the machine's (of
    // HKEY_LOCAL_MACHINE), and writes land there.
    true,
    false,  // HKEY_CURRENT_USER: the user's own, also HKEY_USERS\<the user's SID>
    true,   // HKEY_LOCAL_MACHINE: the machine's settings
    true,   // HKEY_USERS: every other profile's hive
    false,  // HKEY_PERFORMANCE_DATA: not a store of keys on Windows; left as it was
    true,   // HKEY_CURRENT_CONFIG: a view of the machine's hardware profile
    false,  // HKEY_DYN_DATA: Windows 9x only, which has no users to tell apart
};
static_assert(std::size(kRootProtected) == kRootNames.size());

// Folders a standard user may read but not write, as Windows paths; each
// covers everything below it.
constexpr std::string_view kProtectedFolders[] = {
    "C:\\Windows",        // the system's own files
    "C:\\Program Files",  // installed programs
};

bool is_separator(char c) { return c == '\\' || c == '/'; }

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Whether `path` is `folder` or lies below it, letter case aside and with
// either separator.
bool within(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size()) return false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const bool both_separators = is_separator(path[i]) && is_separator(folder[i]);
        if (!both_separators && fold(path[i]) != fold(folder[i])) return false;
    }
    return path.size() == folder.size() || is_separator(path[folder.size()]);
}

// Symbolic links are followed this often at most, as the kernel does.
constexpr int kMaxLinkHops = 40;

// The host path with every symbolic link resolved, also one that points to
// nothing yet (a file created through it lands at its target); nothing when
// the links loop or cannot be read.
std::optional<std::string> without_links(const std::string& host) {
    namespace fs = std::filesystem;
    fs::path path(host);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        const fs::path resolved = fs::weakly_canonical(path, error);
        if (error) return std::nullopt;
        // weakly_canonical resolves every entry that exists; a link it left
        // alone is one whose target does not.
        fs::path prefix;
        bool followed = false;
        for (auto part = resolved.begin(); part != resolved.end(); ++part) {
            prefix /= *part;
            struct stat info;
            if (lstat(prefix.c_str(), &info) != 0) break;
            if (!S_ISLNK(info.st_mode)) continue;
            const fs::path target = fs::read_symlink(prefix, error);
            if (error) return std::nullopt;
            path = target.is_absolute() ? target : prefix.parent_path() / target;
            while (++part != resolved.end()) path /= *part;
            followed = true;
            break;
        }
        if (!followed) return resolved.string();
    }
    return std::nullopt;
}

}  // namespace

long registry_write_status(RegistryStore& store, KeyId key) {
    if (!standard_user()) return kErrorSuccess;
    const std::optional<KeyId> root = store.hive_of(key);
    // A key deleted meanwhile fails on its own, with its own status.
    if (!root) return kErrorSuccess;
    const KeyId index = *root - kFirstRootId;
    assert(index >= 0 && index < kRootCount);
    return kRootProtected[index] ? kErrorAccessDenied : kErrorSuccess;
}

bool file_write_allowed(std::string_view host) {
    if (!standard_user()) return true;
    // The Windows form of the path with its links resolved, so that relative
    // paths, "..", Z: paths into drive C: and links into a protected folder
    // meet the same table.
    const std::optional<std::string> real = without_links(std::string(host));
    if (!real) return false;
    const std::string path = windows_path(*real);
    for (std::string_view folder : kProtectedFolders)
        if (within(path, folder)) return false;
    return true;
}

}  // namespace qh::platform::posix
