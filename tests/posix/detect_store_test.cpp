// Detections on a machine whose registry cannot be read (a broken store, one
// locked by another program, a machine folder the run may not write): they
// say so, with the system's reason, instead of reporting nothing found.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct Child {
    std::string output;
    std::string errors;
};

// The tool on the machine in `root`; `prepare` runs in the child first.
Child run_on(const fs::path& root, std::vector<std::string> args,
             const std::function<void()>& prepare) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    args.insert(args.begin(), QH_TOOL_EXE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        setenv("QUILLHAVEN_ROOT", root.c_str(), 1);
        setenv("QUILLHAVEN_LOCK_WAIT_MS", "200", 1);
        prepare();
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Child run;
    // Small enough for the pipes: one side read after the other.
    for (const auto& [fd, into] :
         {std::pair{out[0], &run.output}, std::pair{err[0], &run.errors}}) {
        char chunk[4096];
        ssize_t got;
        while ((got = read(fd, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0) into->append(chunk, static_cast<std::size_t>(got));
        close(fd);
    }
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return run;
}

TEST(DetectionStore, UnreadableRegistryIsSaidSo) {
    const fs::path base = fs::temp_directory_path() / "quillhaven-detect-store";
    fs::remove_all(base);
    const fs::path root = base / "machine";
    // The machine is made by its first run.
    ASSERT_EQ(run_on(root, {"+regk", "HKEY_CURRENT_USER\\Software\\QhDetectStore"}, [] {}).output,
              qh_test::kSucceeded);
    const fs::path db = root / "registry.db";
    ASSERT_TRUE(fs::exists(db));

    struct Store {
        const char* what;
        std::function<void()> before;   // in the test, before the runs
        std::function<void()> prepare;  // in each run's child
        std::function<void()> after;
        std::string why;
    };
    sqlite3* holder = nullptr;
    const Store stores[] = {
        {"locked by another program",
         [&] {
             ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE",
                                    nullptr, nullptr, nullptr),
                       SQLITE_OK);
         },
         [] {}, [&] { sqlite3_close(holder); },
         "the process cannot access the file because another process has locked a portion of "
         "the file"},
        {"a read-only machine folder",
         [&] {
             fs::permissions(
                 root, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                 fs::perm_options::remove);
         },
         [] {
             if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
         },
         [&] { fs::permissions(root, fs::perms::owner_all, fs::perm_options::add); }, ""},
        {"broken",
         [&] {
             for (const char* file : {"registry.db-wal", "registry.db-shm"})
                 fs::remove(root / file);
             std::fstream bytes(db, std::ios::in | std::ios::out | std::ios::binary);
             for (int i = 0; i < 100; ++i) bytes.put(static_cast<char>(0xA5 ^ i));
         },
         [] {}, [] {}, "the configuration registry database is corrupt"},
    };
    struct Detection {
        const char* option;
        std::string output;
    };
    const Detection detections[] = {
        {"-javaw", ""},
        {"-gswin32c", ""},
        {"-WinEdt", ""},
        {"-texlive", ""},
        {"-miktex", "No MiKTeX installation is detected!\n"},
    };
    fs::permissions(base, fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(root, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    for (const auto& entry : fs::directory_iterator(root))
        fs::permissions(entry.path(), fs::perms::others_read, fs::perm_options::add);
    for (const Store& store : stores) {
        SCOPED_TRACE(store.what);
        store.before();
        for (const Detection& d : detections) {
            SCOPED_TRACE(d.option);
            const Child run = run_on(root, {d.option}, store.prepare);
            EXPECT_EQ(run.output, d.output);
            const std::string said =
                "quillhaven: " + std::string(d.option) + ": the registry could not be read: ";
            EXPECT_TRUE(run.errors.starts_with(said + store.why)) << run.errors;
        }
        store.after();
    }
    fs::remove_all(base);
}

}  // namespace
