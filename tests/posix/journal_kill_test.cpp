// A run killed in the middle of a large import leaves a journal that,
// imported, gives back the state before the run exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/machine.h"
#include "registry/reg_journal.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

constexpr int kValues = 40000;
const std::string kKey = "HKEY_CURRENT_USER\\Software\\QuillhavenTests\\journal_kill";

std::string import_file(std::string_view data) {
    std::string text = "REGEDIT4\n\n[" + kKey + "]\n";
    for (int i = 0; i < kValues; ++i)
        text += "\"v" + std::to_string(i) + "\"=\"" + std::string(data) + "\"\n";
    return text;
}

off_t size_of(const std::string& host) {
    struct stat info;
    return stat(host.c_str(), &info) == 0 ? info.st_size : 0;
}

TEST(JournalOfAKilledRun, PutsBackWhatTheRunChangedSoFar) {
    const std::string dir = qh_test::scratch_dir("journal_kill");
    const std::string journals = dir + "\\journals";
    qh_test::set_env("QUILLHAVEN_JOURNAL", journals);
    ASSERT_TRUE(qh_test::write_file(dir + "\\old.reg", import_file("old")));
    ASSERT_TRUE(qh_test::write_file(dir + "\\new.reg", import_file("new")));
    ASSERT_EQ(qh_test::run_cli({"+regf", dir + "\\old.reg"}).output, qh_test::kSucceeded);
    ASSERT_EQ(qh_test::run_cli({"-rege", kKey, dir + "\\before.reg"}).output, qh_test::kSucceeded);
    const std::size_t journals_before = qh::journal_names(journals).size();

    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::string file = dir + "\\new.reg";
        execl(QH_TOOL_EXE, QH_TOOL_EXE, "+regf", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Killed once its journal holds a good part of the records.
    std::string journal;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> names = qh::journal_names(journals);
        if (names.size() > journals_before) {
            journal = journals + "\\" + names.front();
            if (size_of(qh::platform::posix::host_path(journal).value_or("")) > 400 * 1024) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it was killed";
    ASSERT_FALSE(journal.empty());

    const qh_test::CliRun restore = qh_test::run_cli({"+regf", journal});
    EXPECT_EQ(restore.output, qh_test::kSucceeded) << restore.errors;
    ASSERT_EQ(qh_test::run_cli({"-rege", kKey, dir + "\\after.reg"}).output, qh_test::kSucceeded);
    EXPECT_TRUE(qh_test::read_file(dir + "\\after.reg") ==
                qh_test::read_file(dir + "\\before.reg"));
    qh_test::unset_env("QUILLHAVEN_JOURNAL");
    qh_test::run_cli({"-regk", kKey});
}

}  // namespace
