// registry.db is marked as this tool's: a database of another program found
// in its place is refused and left exactly as it was, while a machine made
// before the mark existed is taken over.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

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

TEST_F(OtherMachine, FreshMachineIsMarkedAndThePreviousVersionsIsTakenOver) {
    const auto read_v = std::vector<std::string>{"-x", "-read-reg", kKey, "v"};
    ASSERT_EQ(qh_test::run_tool({"+regv", kKey, "v", "kept"}).output, qh_test::kSucceeded);
    EXPECT_EQ(application_id(database()), qh::platform::posix::kApplicationId);

    // As the previous version left it: the same tables, no mark.
    sql(database(), "PRAGMA application_id=0");
    ASSERT_EQ(application_id(database()), 0);
    EXPECT_EQ(qh_test::run_tool(read_v).output, "kept");
    EXPECT_EQ(application_id(database()), qh::platform::posix::kApplicationId);
    EXPECT_EQ(qh_test::run_tool({"+regv", kKey, "v", "new"}).output, qh_test::kSucceeded);
    EXPECT_EQ(qh_test::run_tool(read_v).output, "new");
}

}  // namespace
