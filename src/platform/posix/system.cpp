// Family, process environment, child commands, broadcast, standard output
// and standard error of the emulated machine.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/machine.h"

extern char** environ;

namespace qh::platform {
namespace {

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A pipe whose reader went away must fail the write (EPIPE), as on
// Windows, instead of ending the process by SIGPIPE.
void ignore_broken_pipes() {
    static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)ignored;
}

bool write_stream(std::FILE* stream, std::string_view bytes) {
    ignore_broken_pipes();
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return std::fflush(stream) == 0 && written;
}

}  // namespace

std::optional<Family> windows_family() {
    const char* family = std::getenv("QUILLHAVEN_WINDOWS_FAMILY");
    return family && std::string_view(family) == "9x" ? Family::win9x : Family::nt;
}

std::optional<std::string> env_lookup(std::string_view name) {
    name = posix::cut_at_zero(name);
    if (name.empty()) return std::nullopt;
    // The host may hold names that differ only in case; the exact one wins.
    std::optional<std::string> found;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text = *entry;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = text.substr(0, equals);
        if (key == name) return std::string(text.substr(equals + 1));
        if (!found && posix::same_ignoring_ascii_case(key, name))
            found = std::string(text.substr(equals + 1));
    }
    if (found) return found;
    // Windows sets these for every process; the machine's own Path, ComSpec
    // and windir refer to them.
    if (posix::same_ignoring_ascii_case(name, "SystemRoot")) return "C:\\Windows";
    if (posix::same_ignoring_ascii_case(name, "SystemDrive")) return "C:";
    return std::nullopt;
}

CommandResult run_command(std::string_view command_line) {
    CommandResult result;
    const std::string command(posix::cut_at_zero(command_line));
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return result;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        // Only the tool speaks on its standard error: a missing program's
        // message from the shell is left out.
        if (const int null = open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0)
            dup2(null, STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    if (pid < 0) {
        close(output[0]);
        return result;
    }
    char chunk[4096];
    while (true) {
        const ssize_t got = read(output[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        result.output.append(chunk, static_cast<std::size_t>(got));
    }
    close(output[0]);
    while (waitpid(pid, nullptr, 0) < 0)
        if (errno != EINTR) return result;
    result.started = true;
    return result;
}

void broadcast_environment_change() {
    const std::string log = posix::machine_root() + "/broadcast.log";
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // One write, so that lines of concurrent runs never mix.
    write_all(fd, "WM_WININICHANGE Environment\n");
    close(fd);
}

bool stdout_write(std::string_view bytes) { return write_stream(stdout, bytes); }

bool stderr_write(std::string_view bytes) { return write_stream(stderr, bytes); }

}  // namespace qh::platform
