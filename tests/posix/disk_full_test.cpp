// A disk that fills up during an operation: the operation reports failure and
// nothing of it stays. The file-size limit of a child process stands in for
// the full disk: writes past it fail as they would on a full one.
#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/machine.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

namespace platform = qh::platform;

// Small enough that no operation below can commit, large enough that the
// database opens (its shared-memory index alone takes 32 KiB).
constexpr rlim_t kFileSizeLimit = 64 * 1024;

// Empties the write-ahead log into the database, so that what an operation
// writes starts at the log's first byte, under the limit.
void checkpoint() {
    sqlite3* db = nullptr;
    const std::string path = platform::posix::machine_root() + "/registry.db";
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

// Everything two descriptors deliver until their ends, read side by side: a
// reason repeats the operands, so standard error can fill a pipe too.
void read_both(int out_fd, std::string& out, int err_fd, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* into[2] = {&out, &err};
    int open_count = 2;
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[4096];
            const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                into[i]->append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

// The tool as a child process whose files cannot grow past the limit.
qh_test::ToolRun run_tool_on_full_disk(const std::vector<std::string>& args) {
    int out_fds[2];
    int err_fds[2];
    if (pipe(out_fds) != 0 || pipe(err_fds) != 0) return {};
    std::vector<std::string> copies(args);
    std::string exe = QH_TOOL_EXE;
    std::vector<char*> argv = {exe.data()};
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{kFileSizeLimit, kFileSizeLimit};
        // A write past the limit then fails with EFBIG instead of a signal.
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || signal(SIGXFSZ, SIG_IGN) == SIG_ERR) _exit(126);
        dup2(out_fds[1], STDOUT_FILENO);
        dup2(err_fds[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_fds[1]);
    close(err_fds[1]);
    qh_test::ToolRun run;
    read_both(out_fds[0], run.output, err_fds[0], run.errors);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string value_name(int index) { return "v" + std::to_string(index); }

TEST(DiskFull, AnOperationThatCannotBeKeptFailsAndLeavesNothing) {
    const std::string scratch = qh_test::scratch_dir("disk-full");
    const std::string big_file = scratch + "\\two-thousand.reg";
    std::string lines = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QhFullImport]\n";
    for (int i = 0; i < 2000; ++i)
        lines += "\"" + value_name(i) + "\"=\"forty characters of text, give or take..\"\n";
    ASSERT_TRUE(qh_test::write_file(big_file, lines));

    constexpr int kManyValues = 20000;
    struct Case {
        const char* what;
        std::function<void()> before;
        std::vector<std::string> args;
        std::function<void()> nothing_stayed;
    };
    const Case cases[] = {
        {"-regk of a key with many values",
         [] {
             platform::OperationScope scope;
             qh::Key key;
             ASSERT_EQ(platform::reg_create_key_ex(qh_test::hkcu(), "Software\\QhFullMany", key),
                       platform::kErrorSuccess);
             for (int i = 0; i < kManyValues; ++i)
                 ASSERT_EQ(platform::reg_set_value(key, value_name(i), platform::kRegSz, ""),
                           platform::kErrorSuccess);
             ASSERT_EQ(scope.end(), platform::kErrorSuccess);
         },
         {"-regk", "HKEY_CURRENT_USER\\Software\\QhFullMany"},
         [] {
             for (int i : {0, kManyValues / 2, kManyValues - 1})
                 EXPECT_TRUE(
                     qh_test::read_value(qh_test::hkcu(), "Software\\QhFullMany", value_name(i)))
                     << value_name(i);
         }},
        {"+regv of a text larger than the disk has room for",
         [] {},
         {"+regv", "HKEY_CURRENT_USER\\Software\\QhFullText", "big", std::string(100000, 't')},
         [] { EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), "Software\\QhFullText")); }},
        {"+regf of a file with many values",
         [] {},
         {"+regf", big_file},
         [] { EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), "Software\\QhFullImport")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        checkpoint();
        const qh_test::ToolRun run = run_tool_on_full_disk(c.args);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, qh_test::kFailed);
        EXPECT_NE(run.errors.find(": nothing of it was kept: "), std::string::npos) << run.errors;
        c.nothing_stayed();
        // The machine is whole: with room again the next run works.
        EXPECT_EQ(
            qh_test::run_tool({"+regv", "HKEY_CURRENT_USER\\Software\\QhFullAfter", "x"}).output,
            qh_test::kSucceeded);
    }
    for (const char* key : {"QhFullMany", "QhFullText", "QhFullImport", "QhFullAfter"})
        platform::reg_delete_tree(qh_test::hkcu(), std::string("Software\\") + key);
}

}  // namespace
