// registry.db is marked as this tool's: a database of another program found
// in its place is refused and left exactly as it was, while a machine of the
// previous version, marked or made before marks, is converted in place.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/registry_store.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

void sql(const std::string& database, const std::string& text) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << text;
    sqlite3_close(db);
}

std::int64_t application_id(const std::string& database) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::int64_t id = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        id = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return id;
}

std::string bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs of the tool on a machine folder of their own, for one test.
class OtherMachine : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* root = std::getenv("QUILLHAVEN_ROOT")) saved_root_ = root;
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillhaven-owner-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder.data()));
        root_ = folder;
        qh_test::set_env("QUILLHAVEN_ROOT", root_.string());
    }
    void TearDown() override {
        qh_test::set_env("QUILLHAVEN_ROOT", saved_root_);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string database() const { return (root_ / "registry.db").string(); }
    // registry.db and the files SQLite keeps beside it.
    std::set<std::string> database_files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("registry.db")) names.insert(name);
        }
        return names;
    }

    fs::path root_;
    std::string saved_root_;
};

const std::string kKey = "HKEY_CURRENT_USER\\Software\\QhOwner";

TEST_F(OtherMachine, DatabaseOfAnotherProgramIsRefusedUnchanged) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        // SQLite's own shared-memory index and log appear beside a database in
        // write-ahead mode whoever reads it.
        bool wal = false;
    };
    const Case cases[] = {
        {"a table of its own",
         [](const std::string& db) { sql(db, "CREATE TABLE t (x); INSERT INTO t VALUES (1)"); }},
        {"write-ahead log of its own",
         [](const std::string& db) {
             sql(db, "PRAGMA journal_mode=WAL; CREATE TABLE t (x); INSERT INTO t VALUES (1)");
         },
         true},
        {"this tool's tables under another mark",
         [](const std::string& db) {
             sql(db,
                 "CREATE TABLE keys (id INTEGER PRIMARY KEY, parent, name, folded);"
                 "CREATE TABLE key_values (key, folded, name, type, data);"
                 "PRAGMA user_version=1; PRAGMA application_id=42");
         }},
        {"not a database at all",
         [](const std::string& db) {
             std::ofstream(db, std::ios::binary) << std::string(4096, 'x');
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(root_);
        fs::create_directories(root_);
        c.make(database());
        const std::string before = bytes_of(database());
        const std::set<std::string> files_before = database_files();

        const qh_test::ToolRun run =
            qh_test::run_tool({"+regv", kKey, "v", "x", "-read-reg", kKey, "v"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, std::string(qh_test::kFailed) + std::string(qh_test::kFailed));
        EXPECT_EQ(bytes_of(database()), before);
        // Not even a journal of ours beside it.
        if (!c.wal) {
            EXPECT_EQ(database_files(), files_before);
        }
    }
}

// A machine as the previous version left it: names and string data as bytes
// of code page 936, HKEY_CLASSES_ROOT a store of its own.
constexpr const char* kPreviousMachine = R"sql(
CREATE TABLE keys (id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL,
                   folded BLOB NOT NULL);
CREATE UNIQUE INDEX keys_by_parent ON keys (parent, folded);
CREATE TABLE key_values (key INTEGER NOT NULL, folded BLOB NOT NULL, name BLOB NOT NULL,
                         type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (key, folded))
                         WITHOUT ROWID;
INSERT INTO keys VALUES
    (1, NULL, CAST('HKEY_CLASSES_ROOT' AS BLOB), CAST('hkey_classes_root' AS BLOB)),
    (2, NULL, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('hkey_current_user' AS BLOB)),
    (3, NULL, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('hkey_local_machine' AS BLOB)),
    (4, NULL, CAST('HKEY_USERS' AS BLOB), CAST('hkey_users' AS BLOB)),
    (5, NULL, CAST('HKEY_PERFORMANCE_DATA' AS BLOB), CAST('hkey_performance_data' AS BLOB)),
    (6, NULL, CAST('HKEY_CURRENT_CONFIG' AS BLOB), CAST('hkey_current_config' AS BLOB)),
    (7, NULL, CAST('HKEY_DYN_DATA' AS BLOB), CAST('hkey_dyn_data' AS BLOB)),
    (8, 2, CAST('Software' AS BLOB), CAST('software' AS BLOB)),
    (9, 8, CAST('QhOwner' AS BLOB), CAST('qhowner' AS BLOB)),
    (10, 9, X'D6D0CEC4', X'D6D0CEC4'),
    (11, 9, X'A6B2', X'A6B2'),
    (12, 9, X'A6D2', X'A6D2'),
    (13, 1, CAST('.qhold' AS BLOB), CAST('.qhold' AS BLOB)),
    (14, 3, CAST('SOFTWARE' AS BLOB), CAST('software' AS BLOB)),
    (15, 14, CAST('Classes' AS BLOB), CAST('classes' AS BLOB)),
    (16, 15, CAST('.QHOLD' AS BLOB), CAST('.qhold' AS BLOB));
INSERT INTO key_values VALUES
    (9, CAST('v' AS BLOB), CAST('v' AS BLOB), 1, X'6B65707400'),
    (9, CAST('latin' AS BLOB), CAST('latin' AS BLOB), 1, X'436166E900'),
    (10, X'C3FB', X'C3FB', 1, X'CAFDBEDD00'),
    (10, CAST('bin' AS BLOB), CAST('bin' AS BLOB), 3, X'FF00D6'),
    (11, CAST('a' AS BLOB), CAST('a' AS BLOB), 1, X'757000'),
    (12, CAST('b' AS BLOB), CAST('b' AS BLOB), 1, X'646F776E00'),
    (13, X'', X'', 1, X'636C61737300'),
    (13, CAST('shared' AS BLOB), CAST('shared' AS BLOB), 1, X'726F6F7400'),
    (16, CAST('shared' AS BLOB), CAST('shared' AS BLOB), 1, X'6D61636800'),
    (16, CAST('own' AS BLOB), CAST('own' AS BLOB), 1, X'6D61636800');
PRAGMA user_version=1;
)sql";

// The first column of the first row, as bytes; nothing when there is none.
std::optional<std::string> blob(const std::string& database, const std::string& query) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::optional<std::string> bytes;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, 0));
        bytes = std::string(data ? data : "",
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return bytes;
}

TEST_F(OtherMachine, FreshMachineIsMarked) {
    ASSERT_EQ(qh_test::run_tool({"+regv", kKey, "v", "kept"}).output, qh_test::kSucceeded);
    EXPECT_EQ(application_id(database()), qh::platform::posix::kApplicationId);
}

TEST_F(OtherMachine, PreviousVersionIsConvertedInPlace) {
    using namespace std::string_literals;
    const std::string owner = kKey;
    const std::string han = owner + "\\\xD6\xD0\xCE\xC4";  // 中文
    struct Read {
        std::vector<std::string> args;
        std::string output;
    };
    const Read reads[] = {
        {{"-x", "-read-reg", owner, "v"}, "kept"},
        {{"-x", "-read-reg", han, "\xC3\xFB"}, "\xCA\xFD\xBE\xDD"},  // 名: 数据
        // Not valid in 936: taken byte for byte as 1252.
        {{"-c", "english", "-x", "-read-reg", owner, "latin"}, "Caf\xE9"},
        // Σ and σ are one key now, holding the values of both.
        {{"-x", "-read-reg", owner + "\\\xA6\xD2", "a"}, "up"},
        {{"-x", "-read-reg", owner + "\\\xA6\xB2", "b"}, "down"},
        // HKEY_CLASSES_ROOT's own keys moved into the machine's classes; what
        // it showed wins over what the machine held.
        {{"-x", "-read-reg", "HKEY_CLASSES_ROOT\\.qhold", ""}, "class"},
        {{"-x", "-read-reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qhold", "shared"}, "root"},
        {{"-x", "-read-reg", "HKEY_CLASSES_ROOT\\.qhold", "own"}, "mach"},
    };
    for (const bool marked : {false, true}) {
        SCOPED_TRACE(marked ? "marked" : "made before marks");
        fs::remove_all(root_);
        fs::create_directories(root_);
        sql(database(), kPreviousMachine);
        if (marked)
            sql(database(),
                "PRAGMA application_id=" + std::to_string(qh::platform::posix::kApplicationId));

        for (const Read& read : reads)
            EXPECT_EQ(qh_test::run_tool(read.args).output, read.output) << read.args.back();
        EXPECT_EQ(application_id(database()), qh::platform::posix::kApplicationId);
        EXPECT_EQ(blob(database(), "PRAGMA user_version"), "2");
        EXPECT_EQ(blob(database(), "SELECT count(*) FROM sqlite_master WHERE name LIKE '%_v1'"),
                  "0");
        // Names and string data in UTF-16, other types as they were.
        EXPECT_EQ(blob(database(), "SELECT name FROM keys WHERE name = X'2D4E8765'"),
                  "\x2D\x4E\x87\x65"s);
        EXPECT_EQ(blob(database(), "SELECT data FROM key_values WHERE name = X'620069006E00'"),
                  "\xFF\x00\xD6"s);
        EXPECT_EQ(blob(database(), "SELECT data FROM key_values WHERE name = X'0D54'"),
                  "\x70\x65\x6E\x63\0\0"s);
        // The seed's standard keys are there, so the hives need no new top keys.
        EXPECT_EQ(qh_test::run_tool({"+regk", "HKEY_USERS\\.DEFAULT\\QhOwner"}).output,
                  qh_test::kSucceeded);
    }
}

// Another program reading registry.db in rollback mode keeps it from being
// switched to write-ahead logging: the run waits the lock wait, not more.
TEST_F(OtherMachine, SwitchingToWriteAheadWaitsTheLockWaitOnce) {
    ASSERT_EQ(qh_test::run_tool({"+regv", kKey, "v", "kept"}).output, qh_test::kSucceeded);
    sql(database(), "PRAGMA journal_mode=DELETE");
    const std::string held = (root_ / "held").string();
    const std::string release = (root_ / "release").string();
    const pid_t reader = fork();
    if (reader == 0) {
        execl(QH_SCOPE_HOLDER_EXE, QH_SCOPE_HOLDER_EXE, database().c_str(), held.c_str(),
              release.c_str(), "read", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(reader, 0);
    for (int waited = 0; waited < 10000 && !fs::exists(held); waited += 10) usleep(10000);
    ASSERT_TRUE(fs::exists(held));

    constexpr int kWaitMs = 300;
    qh_test::set_env("QUILLHAVEN_LOCK_WAIT_MS", std::to_string(kWaitMs));
    const auto start = std::chrono::steady_clock::now();
    const qh_test::ToolRun run = qh_test::run_tool({"+regv", kKey, "v", "new"});
    const auto took = std::chrono::steady_clock::now() - start;
    qh_test::unset_env("QUILLHAVEN_LOCK_WAIT_MS");
    std::ofstream(release).put('\n');
    int status = 0;
    waitpid(reader, &status, 0);

    EXPECT_EQ(run.output, qh_test::kFailed);
    EXPECT_LT(took, std::chrono::milliseconds(kWaitMs + 5000));
    EXPECT_EQ(qh_test::run_tool({"-x", "-read-reg", kKey, "v"}).output, "kept");
}

}  // namespace
