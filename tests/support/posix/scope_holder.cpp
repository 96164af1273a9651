// The scope holder on the emulated machine: a small program of its own that
// takes the registry database's write lock directly through SQLite.
#include "support/scope_holder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/machine.h"

namespace qh_test {

std::intptr_t start_scope_holder(const std::string& held_file, const std::string& release_file) {
    using qh::platform::posix::host_path;
    const auto held = host_path(held_file);
    const auto release = host_path(release_file);
    if (!held || !release) return -1;
    std::string exe = QH_SCOPE_HOLDER_EXE;
    std::string database = qh::platform::posix::machine_root() + "/registry.db";
    std::string held_arg = *held;
    std::string release_arg = *release;
    std::vector<char*> argv = {exe.data(), database.data(), held_arg.data(), release_arg.data(),
                               nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int finish_scope_holder(std::intptr_t helper) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(helper), &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qh_test
