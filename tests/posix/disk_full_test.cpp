// A disk that fills up during an operation: the operation reports failure,
// says that the disk is full, and nothing of it stays. The tool runs on a
// machine of its own in a small tmpfs, which root may mount.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

namespace platform = qh::platform;

// The room left on the full disk (or the file-size limit standing in for
// it): enough to open the registry (its shared-memory index alone takes
// 32 KiB), too little for any operation below to commit.
constexpr std::size_t kRoom = 64 * 1024;

// The tool's machine for these tests: in a small tmpfs of its own, or, where
// mounting is refused, in a plain folder, with a file-size limit of the
// child standing in for the full disk.
class FullDisk {
  public:
    explicit FullDisk(std::string folder) : folder_(std::move(folder)) {
        mkdir(folder_.c_str(), 0700);
        mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=16m") == 0;
        if (!mounted_) refusal_ = std::strerror(errno);
        machine_ = folder_ + "/machine";
    }
    ~FullDisk() {
        if (mounted_) umount(folder_.c_str());
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool real() const { return mounted_; }
    const std::string& machine() const { return machine_; }
    const std::string& refusal() const { return refusal_; }

    // Empties the write-ahead log into the database, so that what an
    // operation writes starts at the log's first byte, then leaves kRoom.
    void fill() {
        sqlite3* db = nullptr;
        const std::string path = machine_ + "/registry.db";
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        if (!mounted_) return;
        // Written until the disk refuses, then cut back by the room.
        const int fd = open(filler().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const std::string chunk(64 * 1024, '\0');
        off_t size = 0;
        for (ssize_t wrote; (wrote = write(fd, chunk.data(), chunk.size())) > 0;) size += wrote;
        EXPECT_EQ(errno, ENOSPC);
        EXPECT_EQ(ftruncate(fd, size > off_t{kRoom} ? size - off_t{kRoom} : 0), 0);
        close(fd);
    }
    void make_room() { unlink(filler().c_str()); }

    // The tool on this machine; `full`: while the disk is full.
    qh_test::ToolRun run(const std::vector<std::string>& args, bool full = false) const;

  private:
    std::string filler() const { return folder_ + "/filler"; }

    std::string folder_;
    std::string machine_;
    bool mounted_ = false;
    std::string refusal_;
};

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

qh_test::ToolRun FullDisk::run(const std::vector<std::string>& args, bool full) const {
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
        if (setenv("QUILLHAVEN_ROOT", machine_.c_str(), 1) != 0) _exit(126);
        if (full && !mounted_) {
            const rlimit limit{kRoom, kRoom};
            // A write past the limit then fails with EFBIG instead of a signal.
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
                _exit(126);
        }
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

// A file of the test machine as the disk's machine names it.
std::string on_drive_z(std::string_view win_path) {
    std::string host = platform::posix::host_path(win_path).value_or("");
    std::replace(host.begin(), host.end(), '/', '\\');
    return "Z:" + host;
}

std::string value_name(int index) { return "v" + std::to_string(index); }

TEST(DiskFull, AnOperationThatCannotBeKeptFailsAndLeavesNothing) {
    const std::string scratch = qh_test::scratch_dir("disk-full");
    // Values enough to make files larger than the room.
    const auto regfile = [&scratch](const char* name, const char* key, int count) {
        std::string lines = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\" + std::string(key) + "]\n";
        for (int i = 0; i < count; ++i)
            lines += "\"" + value_name(i) + "\"=\"forty characters of text, give or take..\"\n";
        const std::string file = scratch + "\\" + name;
        EXPECT_TRUE(qh_test::write_file(file, lines));
        return on_drive_z(file);
    };
    const std::string many = regfile("many.reg", "QhFullMany", 20000);
    const std::string two_thousand = regfile("two-thousand.reg", "QhFullImport", 2000);
    const std::string kMany = "HKEY_CURRENT_USER\\Software\\QhFullMany";
    const std::string read_many = value_name(19999) + "=forty characters of text, give or take..\n";
    const std::string kAbsent = ": the key does not exist\n";

    FullDisk disk(platform::posix::host_path(scratch).value_or("") + "/disk");
    // The journal has room, so that what fails is the registry's store.
    qh_test::set_env("QUILLHAVEN_JOURNAL", on_drive_z(scratch + "\\journal"));
    // The machine is made by its first run.
    ASSERT_EQ(disk.run({"+regk", "HKEY_CURRENT_USER\\Software\\QhFull"}).output,
              qh_test::kSucceeded);
    struct Case {
        const char* what;
        std::vector<std::string> before;  // run with room, if any
        std::vector<std::string> args;    // run on the full disk
        std::vector<std::string> read;    // with room again: what stayed
        std::string read_ends;            // how the read's output and reason end
    };
    const Case cases[] = {
        {"-regk of a key with many values",
         {"+regf", many},
         {"-regk", kMany},
         {"-read-reg", kMany, value_name(19999)},
         read_many},
        {"+regv of a text larger than the disk has room for",
         {},
         {"+regv", "HKEY_CURRENT_USER\\Software\\QhFullText", "big", std::string(100000, 't')},
         {"-read-reg", "HKEY_CURRENT_USER\\Software\\QhFullText", "big"},
         kAbsent},
        {"+regf of a file with many values",
         {},
         {"+regf", two_thousand},
         {"-read-reg", "HKEY_CURRENT_USER\\Software\\QhFullImport", value_name(0)},
         kAbsent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.before.empty()) {
            ASSERT_EQ(disk.run(c.before).output, qh_test::kSucceeded);
        }
        disk.fill();
        const qh_test::ToolRun run = disk.run(c.args, true);
        disk.make_room();
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, qh_test::kFailed);
        // SQLite takes a file-size limit for an I/O error: only the real
        // full disk can say that it is full.
        const std::string kept = ": nothing of it was kept: ";
        const std::string tail =
            run.errors.substr(run.errors.size() - std::min<std::size_t>(run.errors.size(), 100));
        if (disk.real()) {
            EXPECT_TRUE(run.errors.ends_with(kept + "there is not enough space on the disk\n"))
                << tail;
        } else {
            EXPECT_NE(run.errors.find(kept), std::string::npos) << tail;
        }
        const qh_test::ToolRun read = disk.run(c.read);
        EXPECT_TRUE((read.output + read.errors).ends_with(c.read_ends))
            << read.output << read.errors;
        // The machine is whole: with room again the next run works.
        EXPECT_EQ(disk.run({"+regv", "HKEY_CURRENT_USER\\Software\\QhFullAfter", "x"}).output,
                  qh_test::kSucceeded);
    }
    qh_test::unset_env("QUILLHAVEN_JOURNAL");
    if (!disk.real()) {
        GTEST_SKIP() << "no tmpfs could be mounted (" << disk.refusal()
                     << "): a file-size limit stood in for the full disk, which SQLite reports "
                        "as an I/O error, so the reason was not checked";
    }
}

std::string read_host(const std::string& path) {
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY);
    char chunk[4096];
    for (ssize_t got; fd >= 0 && (got = read(fd, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, static_cast<std::size_t>(got));
    if (fd >= 0) close(fd);
    return bytes;
}

// On the 9x family a full disk leaves C:\AUTOEXEC.BAT byte for byte as it
// was, whether a line was to be added or removed; with room again the edit
// is made, and the file keeps its permissions.
TEST(DiskFull, BatchFileEditsLeaveTheOldFileWhole) {
    const std::string scratch = qh_test::scratch_dir("disk-full-batch");
    FullDisk disk(platform::posix::host_path(scratch).value_or("") + "/disk");
    // The journal has room, so that what fails is the batch file's write.
    qh_test::set_env("QUILLHAVEN_JOURNAL", on_drive_z(scratch + "\\journal"));
    ASSERT_EQ(disk.run({"+regk", "HKEY_CURRENT_USER\\Software\\QhFullBatch"}).output,
              qh_test::kSucceeded);
    const std::string batch = disk.machine() + "/drive_c/AUTOEXEC.BAT";
    std::string kept;
    for (int i = 0; i < 4000; ++i) kept += "rem a line of the startup batch file\r\n";
    const std::string original = kept + "set QH_FULL=C:\\qhfull\r\n";
    {
        const int fd = open(batch.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0640);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, original.data(), original.size()), ssize_t(original.size()));
        close(fd);
        ASSERT_EQ(chmod(batch.c_str(), 0640), 0);
    }
    ASSERT_GT(original.size(), kRoom);
    qh_test::set_windows_family_9x(true);
    qh_test::unset_env("QH_FULL_ADDED");
    struct Edit {
        std::vector<std::string> args;
        std::string reason;
    };
    const Edit edits[] = {
        {{"-env", "QH_FULL", "C:\\qhfull"}, "C:\\AUTOEXEC.BAT cannot be rewritten: "},
        {{"+env", "QH_FULL_ADDED", "C:\\added"}, "C:\\AUTOEXEC.BAT cannot be appended to: "},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.args.front());
        disk.fill();
        const qh_test::ToolRun run = disk.run(edit.args, true);
        disk.make_room();
        EXPECT_EQ(run.output, qh_test::kFailed);
        EXPECT_NE(run.errors.find(edit.reason + "there is not enough space on the disk"),
                  std::string::npos)
            << run.errors;
        EXPECT_TRUE(read_host(batch) == original);
        // Nothing left beside it either.
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(disk.machine() + "/drive_c"))
            if (const std::string name = entry.path().filename();
                name != "Windows" && name != "AUTOEXEC.BAT")
                names.push_back(name);
        EXPECT_EQ(names, std::vector<std::string>{});
    }
    EXPECT_EQ(disk.run({"-env", "QH_FULL", "C:\\qhfull"}).output, qh_test::kSucceeded);
    EXPECT_TRUE(read_host(batch) == kept);
    struct stat info;
    ASSERT_EQ(stat(batch.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    qh_test::set_windows_family_9x(false);
    qh_test::unset_env("QUILLHAVEN_JOURNAL");
}

}  // namespace
