// Standard output that cannot take what the run prints (a full device, a
// pipe whose reader has gone): from -fail-exit on, the run ends with 2 after
// the operation, which is done all the same; before it nothing changes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

constexpr std::string_view kSubkey = "Software\\QuillhavenTest\\output_lost";

struct Lost {
    int exit_code = -1;
    std::string errors;
};

// The tool with standard output on the device `device`, or, for none, on a
// pipe whose read end is closed before it starts.
Lost run_without_output(const char* device, std::vector<std::string> args) {
    int err[2];
    int out[2] = {-1, -1};
    if (pipe(err) != 0) return {};
    if (device == nullptr && pipe(out) != 0) return {};
    if (device == nullptr) close(out[0]);
    args.insert(args.begin(), QH_TOOL_EXE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = device ? open(device, O_WRONLY) : out[1];
        if (fd < 0) _exit(126);
        dup2(fd, STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (device == nullptr) close(out[1]);
    close(err[1]);
    Lost lost;
    char chunk[4096];
    ssize_t got;
    while ((got = read(err[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0) lost.errors.append(chunk, static_cast<std::size_t>(got));
    close(err[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Ended by a signal (SIGPIPE) is no exit code at all.
    lost.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return lost;
}

TEST(OutputLost, FailExitEndsTheRunWithTwo) {
    const std::string key = "HKEY_CURRENT_USER\\" + std::string(kSubkey);
    const std::string first = key + "\\first", second = key + "\\second";
    struct Case {
        const char* device;  // none: a pipe without reader
        bool fail_exit;
        int exit_code;
        bool second_done;
    };
    const Case cases[] = {
        {"/dev/full", true, 2, false},
        {nullptr, true, 2, false},
        {"/dev/full", false, 0, true},
        {nullptr, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device ? c.device : "closed pipe") +
                     (c.fail_exit ? ", -fail-exit" : ""));
        qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey);
        std::vector<std::string> args = {"+regk", first, "+regk", second};
        if (c.fail_exit) args.insert(args.begin(), "-fail-exit");
        const Lost lost = run_without_output(c.device, args);
        EXPECT_EQ(lost.exit_code, c.exit_code);
        EXPECT_EQ(lost.errors,
                  c.fail_exit ? "quillhaven: standard output cannot be written\n" : "");
        EXPECT_TRUE(qh_test::key_exists(qh_test::hkcu(), std::string(kSubkey) + "\\first"));
        EXPECT_EQ(qh_test::key_exists(qh_test::hkcu(), std::string(kSubkey) + "\\second"),
                  c.second_done);
    }
    qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey);
}

}  // namespace
