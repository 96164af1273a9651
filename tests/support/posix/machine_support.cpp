// The test support on the emulated machine: a fresh machine folder in a
// temporary directory, files by Windows path, and runs of the built tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/posix/machine.h"
#include "support/test_support.h"

namespace qh_test {
namespace {

namespace fs = std::filesystem;
using qh::platform::posix::host_path;
using qh::platform::posix::machine_root;

std::string temporary_base() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// Starts the tool with its standard output going to `out_fd` and its
// standard error to `err_fd` (when given); the child's pid.
pid_t start_tool(const std::vector<std::string>& args, int out_fd, int err_fd = -1) {
    std::vector<char*> argv;
    std::string exe = QH_TOOL_EXE;
    argv.push_back(exe.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_fd, STDOUT_FILENO);
        if (err_fd >= 0) dup2(err_fd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int wait_exit_code(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string backend_name() { return "posix"; }

void prepare_machine() {
    std::string folder = temporary_base() + "/quillhaven-test-XXXXXX";
    if (!mkdtemp(folder.data())) std::abort();
    setenv("QUILLHAVEN_ROOT", folder.c_str(), 1);
    unsetenv("QUILLHAVEN_WINDOWS_FAMILY");
    static std::string created;
    created = machine_root();
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(created, ignored);
    });
    // Relative paths of the tests resolve on C:.
    const std::string work = created + "/drive_c/work";
    fs::create_directories(work);
    if (chdir(work.c_str()) != 0) std::abort();
}

bool make_directory(std::string_view win_path) {
    const auto host = host_path(win_path);
    std::error_code error;
    if (!host) return false;
    fs::create_directories(*host, error);
    return fs::is_directory(*host, error);
}

bool write_file(std::string_view win_path, std::string_view bytes) {
    const auto host = host_path(win_path);
    if (!host) return false;
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::optional<std::string> read_file(std::string_view win_path) {
    const auto host = host_path(win_path);
    if (!host) return std::nullopt;
    std::ifstream in(*host, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool remove_file(std::string_view win_path) {
    const auto host = host_path(win_path);
    return host && unlink(host->c_str()) == 0;
}

bool set_read_only(std::string_view win_path, bool read_only) {
    const auto host = host_path(win_path);
    struct stat info;
    if (!host || stat(host->c_str(), &info) != 0) return false;
    const mode_t mode = read_only ? (info.st_mode & ~mode_t{0222}) : (info.st_mode | S_IWUSR);
    return chmod(host->c_str(), mode & 07777) == 0;
}

bool path_exists(std::string_view win_path) {
    const auto host = host_path(win_path);
    std::error_code error;
    return host && fs::symlink_status(*host, error).type() != fs::file_type::not_found && !error;
}

bool remove_tree(std::string_view win_path) {
    const auto host = host_path(win_path);
    std::error_code error;
    if (host) fs::remove_all(*host, error);
    return !path_exists(win_path);
}

std::string scratch_dir(std::string_view name) {
    static int counter = 0;
    std::string leaf(name);
    for (char& c : leaf)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    const fs::path dir =
        fs::path(machine_root()) / "drive_c" / "scratch" / (leaf + "." + std::to_string(++counter));
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir, ignored);
    return "C:\\scratch\\" + dir.filename().string();
}

void set_env(std::string_view name, std::string_view value) {
    setenv(std::string(name).c_str(), std::string(value).c_str(), 1);
}

void unset_env(std::string_view name) { unsetenv(std::string(name).c_str()); }

bool change_directory(std::string_view win_path) {
    const auto host = host_path(win_path);
    return host && chdir(host->c_str()) == 0;
}

ToolRun run_tool(const std::vector<std::string>& args) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return {};
    // Standard error into a file read at the end: the little the tool writes
    // there can never block it while standard output is being read.
    std::FILE* errors = std::tmpfile();
    const pid_t pid = start_tool(args, pipe_fds[1], errors ? fileno(errors) : -1);
    close(pipe_fds[1]);
    ToolRun run;
    char chunk[4096];
    ssize_t got;
    while ((got = read(pipe_fds[0], chunk, sizeof chunk)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        run.output.append(chunk, static_cast<std::size_t>(got));
    }
    close(pipe_fds[0]);
    if (pid >= 0) run.exit_code = wait_exit_code(pid);
    if (errors) {
        std::rewind(errors);
        while ((got = static_cast<ssize_t>(std::fread(chunk, 1, sizeof chunk, errors))) > 0)
            run.errors.append(chunk, static_cast<std::size_t>(got));
        std::fclose(errors);
    }
    if (pid < 0) return {};
    return run;
}

std::vector<int> run_tool_parallel(const std::vector<std::vector<std::string>>& runs) {
    const int null_fd = open("/dev/null", O_WRONLY);
    std::vector<pid_t> pids;
    for (const auto& args : runs) pids.push_back(start_tool(args, null_fd));
    close(null_fd);
    std::vector<int> codes;
    for (pid_t pid : pids) codes.push_back(pid < 0 ? -1 : wait_exit_code(pid));
    return codes;
}

std::optional<int> broadcast_count() {
    std::ifstream log(machine_root() + "/broadcast.log");
    int lines = 0;
    std::string line;
    while (std::getline(log, line)) ++lines;
    return lines;
}

void set_windows_family_9x(bool on) {
    if (on)
        setenv("QUILLHAVEN_WINDOWS_FAMILY", "9x", 1);
    else
        unsetenv("QUILLHAVEN_WINDOWS_FAMILY");
}

}  // namespace qh_test
