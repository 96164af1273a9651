// The calls a run's journal needs of the emulated machine: the user's local
// application data, folders, files made only when new, and flushing.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/access.h"
#include "platform/posix/machine.h"

namespace qh::platform {

namespace {

// The machine's one user is the host's: its name is the profile's.
std::string user_name() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name)
        return entry->pw_name;
    return "user";
}

bool is_folder(const std::string& host) {
    struct stat info;
    return stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<std::string> local_app_data() {
    return "C:\\Users\\" + user_name() + "\\AppData\\Local";
}

long folder_create(std::string_view path) {
    const auto host = posix::host_path(posix::cut_at_zero(path));
    if (!host) return kErrorPathNotFound;
    if (is_folder(*host)) return kErrorSuccess;
    // Each missing parent from the top down.
    for (std::size_t slash = host->find('/', 1);; slash = host->find('/', slash + 1)) {
        const std::string part = host->substr(0, slash);
        if (!is_folder(part)) {
            if (!posix::file_write_allowed(part)) return kErrorAccessDenied;
            if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return posix::file_status(errno);
        }
        if (slash == std::string::npos) break;
    }
    return is_folder(*host) ? kErrorSuccess : kErrorAccessDenied;
}

std::FILE* file_create_new(std::string_view path, long& status) {
    const auto host = posix::host_path(posix::cut_at_zero(path));
    if (!host) {
        status = kErrorPathNotFound;
        return nullptr;
    }
    if (!posix::file_write_allowed(*host)) {
        status = kErrorAccessDenied;
        return nullptr;
    }
    const int fd = open(host->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        status = posix::file_status(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "ab");
    if (!file) {
        status = posix::file_status(errno);
        close(fd);
        unlink(host->c_str());
        return nullptr;
    }
    status = kErrorSuccess;
    return file;
}

bool file_flush(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

long file_delete(std::string_view path) {
    const auto host = posix::host_path(posix::cut_at_zero(path));
    if (!host) return kErrorPathNotFound;
    if (!posix::file_write_allowed(*host)) return kErrorAccessDenied;
    if (unlink(host->c_str()) != 0)
        return errno == ENOENT ? kErrorFileNotFound : posix::file_status(errno);
    return kErrorSuccess;
}

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

}  // namespace qh::platform
