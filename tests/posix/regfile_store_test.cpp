// Imports whose registry fails, and inputs that are no regular file, on the
// emulated machine: each run is a child process on a machine of its own, so
// that a size limit, a lost privilege or a broken database touches nothing
// else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Child {
    int exit_code = -1;
    std::string output;
    std::chrono::steady_clock::duration took{};
};

// The tool on the machine in `root`; `prepare` runs in the child just
// before the tool starts (limits, privileges).
Child run_on(const std::string& root, const std::vector<std::string>& args,
             const std::function<void()>& prepare = {}) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::vector<std::string> copies{QH_TOOL_EXE};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        setenv("QUILLHAVEN_ROOT", root.c_str(), 1);
        if (prepare) prepare();
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    Child child;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0) child.output.append(chunk, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    child.took = std::chrono::steady_clock::now() - start;
    child.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return child;
}

// A file of `values` values of about a kilobyte each, under one key.
std::string many_values(int values) {
    std::string file = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QuillhavenStore]\n";
    const std::string data(1000, 'v');
    for (int i = 0; i < values; ++i) file += "\"v" + std::to_string(i) + "\"=\"" + data + "\"\n";
    return file;
}

// A fresh machine of its own, created by a first run of the tool, with the
// file to import beside it.
class RegfileStoreFailure : public testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / "quillhaven-store-XXXXXX";
        std::string pattern = root_.string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        ASSERT_EQ(run_on(root_, {"+regv", "HKEY_CURRENT_USER\\Software\\QuillhavenStore", "x", "1"})
                      .output,
                  qh_test::kSucceeded);
        reg_file_ = (root_ / "import.reg").string();
        std::ofstream(reg_file_, std::ios::binary) << many_values(4000);
        // Readable by the unprivileged user that some cases run as.
        fs::permissions(root_, fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::permissions(reg_file_, fs::perms::others_read, fs::perm_options::add);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }

    Child import(const std::function<void()>& prepare = {}, const char* option = "+regf") {
        return run_on(root_, {option, "Z:" + reg_file_}, prepare);
    }
    // Whether the first value of the file reached the registry.
    bool first_value_stored() {
        return run_on(root_, {"-read-reg", "HKEY_CURRENT_USER\\Software\\QuillhavenStore", "v0"})
                   .output.find("v0") != std::string::npos;
    }
    std::string db() const { return (root_ / "registry.db").string(); }

    fs::path root_;
    std::string reg_file_;
};

TEST_F(RegfileStoreFailure, ReadOnlyMachineFolder) {
    constexpr auto read_only =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    for (const auto& entry : fs::directory_iterator(root_))
        fs::permissions(entry.path(), read_only | (entry.is_directory() ? fs::perms::owner_exec |
                                                                              fs::perms::others_exec
                                                                        : fs::perms::none));
    fs::permissions(root_, read_only | fs::perms::owner_exec | fs::perms::others_exec);
    for (const char* option : {"+regf", "-regf"}) {
        // The superuser writes whatever the permissions say: drop to nobody.
        const Child child = import(
            [] {
                if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
            },
            option);
        EXPECT_EQ(child.output, qh_test::kFailed) << option;
        EXPECT_EQ(child.exit_code, 0) << option;
    }
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_FALSE(first_value_stored());
}

TEST_F(RegfileStoreFailure, CorruptRegistryIsLeftAsItIs) {
    ASSERT_EQ(run_on(root_, {"-regk", "HKEY_CURRENT_USER\\Software\\QuillhavenStore"}).output,
              qh_test::kSucceeded);
    for (const char* file : {"registry.db-wal", "registry.db-shm"}) fs::remove(root_ / file);
    std::string bytes = read_all(db());
    ASSERT_GT(bytes.size(), 4096u);
    for (std::size_t i = 0; i < 100; ++i) bytes[i] = static_cast<char>(0xA5 ^ i);
    std::ofstream(db(), std::ios::binary | std::ios::trunc) << bytes;

    EXPECT_EQ(import().output, qh_test::kFailed);
    EXPECT_EQ(read_all(db()), bytes);
}

// The write-ahead log cannot grow past a few pages: the disk is full.
TEST_F(RegfileStoreFailure, DiskFull) {
    std::uintmax_t largest = 0;
    for (const auto& entry : fs::directory_iterator(root_))
        if (entry.is_regular_file()) largest = std::max(largest, entry.file_size());
    const rlim_t limit = largest + 64 * 1024;
    const Child child = import([limit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(126);
    });
    EXPECT_EQ(child.output, qh_test::kFailed);
    EXPECT_FALSE(first_value_stored());
}

// Another program holds the registry's write lock for the whole import.
TEST_F(RegfileStoreFailure, LockHeldByAnotherConnection) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const Child child = import([] { setenv("QUILLHAVEN_LOCK_WAIT_MS", "200", 1); });
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(child.output, qh_test::kFailed);
    EXPECT_FALSE(first_value_stored());
}

// A pipe with no writer, a device, a line without end: refused or cut short
// at once, never waited on or read whole.
TEST(RegfileInputs, OnlyRegularFilesAndBoundedLines) {
    const std::string dir = qh_test::scratch_dir("regfile_inputs");
    const std::string host_dir = *qh::platform::posix::host_path(dir);
    ASSERT_EQ(mkfifo((host_dir + "/fifo.reg").c_str(), 0600), 0);
    {
        // Larger than any line the import takes, and no line end in it.
        std::ofstream huge(host_dir + "/huge.reg", std::ios::binary);
        huge << "[HKEY_CURRENT_USER\\Software\\QuillhavenHuge]\n\"v\"=\"";
        huge.seekp(static_cast<std::streamoff>(qh::kMaxRegfileText + 4096), std::ios::cur);
        huge << "\"\n";
    }
    struct Case {
        std::string path;
        int result;
    };
    const Case cases[] = {
        {dir + "\\fifo.reg", 1}, {"Z:\\dev\\zero", 1}, {"Z:\\dev\\null", 1}, {dir, 1},
        {dir + "\\huge.reg", 3},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        qh::Failure failure;
        EXPECT_EQ(qh::regfile_apply(c.path, &failure), c.result) << c.path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << c.path;
        if (c.result == 3) {
            EXPECT_NE(failure.reason.find(", line 2: "), std::string::npos) << failure.reason;
        }
    }
    EXPECT_TRUE(qh_test::key_exists(qh_test::hkcu(), "Software\\QuillhavenHuge"));
    qh::reg_delete_key_at(qh_test::hkcu(), "Software\\QuillhavenHuge");
}

}  // namespace
