// Find-first, files and the current directory of the emulated machine.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/access.h"
#include "platform/posix/machine.h"

namespace qh::platform {
namespace {

constexpr std::uint32_t kAttrNormal = 0x80;

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::uint32_t attributes_of(const struct stat& info) {
    std::uint32_t attributes = 0;
    if (S_ISDIR(info.st_mode)) attributes |= kAttrDirectory;
    if ((info.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
    return attributes ? attributes : kAttrNormal;
}

std::optional<std::uint32_t> attributes_at(const std::string& host) {
    struct stat info;
    if (stat(host.c_str(), &info) != 0) return std::nullopt;
    return attributes_of(info);
}

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// '*' matches any run of characters and '?' exactly one, letter case aside.
bool wildcard_match(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// As the system does, "name.*" also matches a name without any extension.
bool file_pattern_match(std::string_view pattern, std::string_view name) {
    if (wildcard_match(pattern, name)) return true;
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           name.find('.') == std::string_view::npos &&
           wildcard_match(pattern.substr(0, pattern.size() - 2), name);
}

// The entries of a directory in the order a search walks them: "." and ".."
// first (not in a drive's root), then the names in byte order.
std::vector<std::string> search_order(const std::string& dir) {
    std::vector<std::string> names;
    DIR* stream = opendir(dir.c_str());
    if (!stream) return names;
    while (const dirent* entry = readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(stream);
    std::sort(names.begin(), names.end());
    if (dir != "/" && dir != posix::drive_c_root()) names.insert(names.begin(), {".", ".."});
    return names;
}

}  // namespace

std::optional<std::string> current_directory() { return posix::current_windows_directory(); }

namespace {

// A search as FindFirstFileA takes it. Nothing when the path can match
// nothing.
struct Search {
    std::string folder;     // host path of the folder searched; of the path itself without wildcard
    std::string pattern;    // the last component, as given
    bool wildcard = false;  // whether the pattern holds * or ?
};

std::optional<Search> search_of(std::string_view path) {
    path = posix::cut_at_zero(path);
    if (path.empty() || is_separator(path.back())) return std::nullopt;

    std::size_t cut = path.find_last_of("\\/");
    cut = cut == std::string_view::npos ? (path.size() >= 2 && path[1] == ':' ? 2 : 0) : cut + 1;
    const std::string_view folder = path.substr(0, cut);
    const std::string_view pattern = path.substr(cut);
    if (folder.find_first_of("*?") != std::string_view::npos) return std::nullopt;

    if (pattern.find_first_of("*?") == std::string_view::npos) {
        auto host = posix::host_path(path);
        if (!host) return std::nullopt;
        return Search{std::move(*host), std::string(pattern), false};
    }
    auto dir = posix::host_path(folder);
    if (!dir) return std::nullopt;
    return Search{std::move(*dir), std::string(pattern), true};
}

}  // namespace

std::optional<std::uint32_t> find_first_attributes(std::string_view path) {
    const auto search = search_of(path);
    if (!search) return std::nullopt;
    if (!search->wildcard) return attributes_at(search->folder);
    for (const std::string& name : search_order(search->folder))
        if (file_pattern_match(search->pattern, name))
            if (const auto attributes = attributes_at(search->folder + "/" + name))
                return attributes;
    return std::nullopt;
}

std::optional<std::uint32_t> file_attributes(std::string_view path) {
    path = posix::cut_at_zero(path);
    if (path.empty() || path.find_first_of("*?") != std::string_view::npos) return std::nullopt;
    const auto host = posix::host_path(path);
    if (!host) return std::nullopt;
    const auto attributes = attributes_at(*host);
    // "C:\x.txt\" names no file on Windows.
    if (attributes && is_separator(path.back()) && !(*attributes & kAttrDirectory))
        return std::nullopt;
    return attributes;
}

std::vector<std::string> find_names(std::string_view path) {
    std::vector<std::string> names;
    const auto search = search_of(path);
    if (!search) return names;
    if (!search->wildcard) {
        if (!search->pattern.empty() && attributes_at(search->folder))
            names.push_back(search->pattern);
        return names;
    }
    for (const std::string& name : search_order(search->folder))
        if (name != "." && name != ".." && file_pattern_match(search->pattern, name) &&
            attributes_at(search->folder + "/" + name))
            names.push_back(name);
    return names;
}

namespace {

// Opened without waiting: a pipe with no writer would hold the run for ever,
// and a device such as /dev/zero never ends.
std::FILE* open_regular(const std::string& host, const std::string& mode) {
    const int access = mode.find('+') == std::string::npos ? O_RDONLY : O_RDWR;
    const int fd = open(host.c_str(), access | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = fdopen(fd, mode.c_str());
    if (!file) close(fd);
    return file;
}

}  // namespace

long posix::file_status(int error) {
    switch (error) {
        case EEXIST:
            return kErrorFileExists;
        case ENOENT:
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kErrorAccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrorDiskFull;
        case ENAMETOOLONG:
            return kErrorFilenameExcedRange;
        default:
            return kErrorCantWrite;
    }
}

namespace {

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

// Text and binary files are the same on the emulated machine, as on its host.
long file_replace(std::string_view path, std::string_view bytes, bool /*text_mode*/) {
    const auto host = posix::host_path(posix::cut_at_zero(path));
    if (!host) return kErrorPathNotFound;
    if (!posix::file_write_allowed(*host)) return kErrorAccessDenied;
    struct stat old;
    const bool exists = stat(host->c_str(), &old) == 0;
    // Windows does not move a file over a read-only one, nor over a folder.
    if (exists && (S_ISDIR(old.st_mode) || (old.st_mode & 0222) == 0)) return kErrorAccessDenied;
    const std::string temp = *host + ".qh" + std::to_string(getpid()) + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return posix::file_status(errno);
    bool ok =
        write_all(fd, bytes) && (!exists || fchmod(fd, old.st_mode & 07777) == 0) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), host->c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (ok) return kErrorSuccess;
    unlink(temp.c_str());
    return posix::file_status(error);
}

std::FILE* file_open(std::string_view path, const char* mode) {
    const auto host = posix::host_path(posix::cut_at_zero(path));
    if (!host || !mode) return nullptr;
    if (std::string_view(mode).find_first_of("wa+") != std::string_view::npos &&
        !posix::file_write_allowed(*host)) {
        errno = EACCES;
        return nullptr;
    }
    std::string host_mode;
    for (const char* c = mode; *c; ++c)
        if (*c != 't') host_mode += *c;
    if (host_mode.starts_with('r')) return open_regular(*host, host_mode);
    std::FILE* file = std::fopen(host->c_str(), host_mode.c_str());
    // A directory is not a file to read, as on Windows.
    struct stat info;
    if (file && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace qh::platform
