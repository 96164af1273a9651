// The emulated machine as an unelevated session (QUILLHAVEN_USER=standard):
// what it refuses, what it still allows, and what the command line shows.
// Native only: under Wine the process is an administrator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/machine.h"
#include "support/registry_helpers.h"

namespace {

using namespace qh::platform;
using qh_test::kFailed;
using qh_test::kSucceeded;

constexpr std::string_view kUserVariable = "QUILLHAVEN_USER";
constexpr std::string_view kKey = "QhStandardUser";

// Sets the session's user for one scope; the administrator again afterwards,
// so that set-up and clean-up outside it are never refused.
class Session {
  public:
    explicit Session(std::optional<std::string_view> user) {
        if (user)
            qh_test::set_env(kUserVariable, *user);
        else
            qh_test::unset_env(kUserVariable);
    }
    ~Session() { qh_test::unset_env(kUserVariable); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

std::optional<std::string> query(Key parent, std::string_view subkey, std::string_view name) {
    const auto value = qh_test::read_value(parent, subkey, name);
    if (!value) return std::nullopt;
    return value->data;
}

// A key holding one value and one subkey, made by the administrator.
void make_fixture(Key parent) {
    reg_delete_tree(parent, kKey);
    qh_test::put_raw(parent, std::string(kKey) + "\\Child", "v", kRegSz, "x");
    qh_test::put_raw(parent, kKey, "v", kRegSz, "x");
}

// A key of the administrator's to make the fixture below.
Key opened(Root root, std::string_view subkey) {
    Key key;
    EXPECT_EQ(reg_create_key_ex(root_key(root), subkey, key), kErrorSuccess) << subkey;
    return key;
}

// One registry call as the standard user makes it; its status.
struct RegistryOperation {
    const char* what;
    std::function<long(Key root)> run;
    bool writes;  // refused below a protected root
};

long open_then(Key root, const std::function<long(Key)>& act) {
    Key key;
    if (const long rc = reg_open_key(root, kKey, key); rc != kErrorSuccess) return rc;
    const long rc = act(key);
    reg_close_key(key);
    return rc;
}

const std::vector<RegistryOperation>& registry_operations() {
    static const std::vector<RegistryOperation> operations = {
        {"open and query",
         [](Key root) {
             return open_then(root, [](Key key) {
                 std::uint32_t type = 0;
                 std::string data;
                 return reg_query_value(key, "v", type, data, 100);
             });
         },
         false},
        {"enumerate",
         [](Key root) {
             return open_then(root, [](Key key) {
                 std::string name;
                 return reg_enum_key(key, 0, name, 255);
             });
         },
         false},
        {"create a new key",
         [](Key root) {
             Key key;
             const long rc = reg_create_key_ex(root, std::string(kKey) + "\\New\\Deeper", key);
             reg_close_key(key);
             return rc;
         },
         true},
        {"create an existing key",
         [](Key root) {
             Key key;
             const long rc = reg_create_key(root, kKey, key);
             reg_close_key(key);
             return rc;
         },
         true},
        {"set a value through a key opened for reading",
         [](Key root) {
             return open_then(root, [](Key key) { return reg_set_value(key, "w", kRegSz, "y"); });
         },
         true},
        {"set a value on the key itself",
         [](Key root) { return reg_set_value(root, "QhStandardUserValue", kRegSz, "y"); }, true},
        {"delete a value",
         [](Key root) {
             return open_then(root, [](Key key) { return reg_delete_value(key, "v"); });
         },
         true},
        {"delete a subtree",
         [](Key root) { return reg_delete_tree(root, std::string(kKey) + "\\Child"); }, true},
    };
    return operations;
}

TEST(StandardUser, RegistryWritesBelowMachineRootsAreRefusedReadsAllowed) {
    // The user's classes show through HKEY_CLASSES_ROOT where they exist.
    Key user_class = opened(Root::current_user, "Software\\Classes\\QhStandardUserClass");
    ASSERT_EQ(reg_open_key(root_key(Root::classes_root), "QhStandardUserClass", user_class),
              kErrorSuccess);
    struct Row {
        const char* where;
        Key parent;
        bool protected_key;
    };
    const Row rows[] = {
        {"HKEY_LOCAL_MACHINE\\SOFTWARE", opened(Root::local_machine, "SOFTWARE"), true},
        {"HKEY_USERS\\.DEFAULT", opened(Root::users, ".DEFAULT"), true},
        {"HKEY_CLASSES_ROOT", root_key(Root::classes_root), true},
        {"HKEY_CURRENT_CONFIG", root_key(Root::current_config), true},
        {"HKEY_CURRENT_USER", root_key(Root::current_user), false},
        {"HKEY_USERS\\<the user's SID>",
         opened(Root::users, "S-1-5-21-3623811015-3361044348-30300820-1001"), false},
        {"HKEY_CLASSES_ROOT\\QhStandardUserClass", user_class, false},
    };
    for (const Row& row : rows) {
        for (const RegistryOperation& op : registry_operations()) {
            SCOPED_TRACE(std::string(row.where) + ": " + op.what);
            make_fixture(row.parent);
            long status;
            {
                Session standard("standard");
                status = op.run(row.parent);
            }
            const bool refused = row.protected_key && op.writes;
            EXPECT_EQ(status, refused ? kErrorAccessDenied : kErrorSuccess);
            if (refused) {
                // A refusal leaves the tree exactly as it was.
                EXPECT_EQ(query(row.parent, kKey, "v"), std::string("x"));
                EXPECT_EQ(query(row.parent, std::string(kKey) + "\\Child", "v"), std::string("x"));
                EXPECT_EQ(query(row.parent, kKey, "w"), std::nullopt);
                EXPECT_EQ(query(row.parent, "", "QhStandardUserValue"), std::nullopt);
                EXPECT_FALSE(qh_test::key_exists(row.parent, std::string(kKey) + "\\New"));
            }
            reg_delete_value(row.parent, "QhStandardUserValue");
            reg_delete_tree(row.parent, kKey);
        }
    }
    reg_delete_tree(root_key(Root::current_user), "Software\\Classes\\QhStandardUserClass");
}

TEST(StandardUser, OnlyTheWordStandardMakesTheSessionUnelevated) {
    const std::optional<std::string_view> administrators[] = {std::nullopt, "admin", "", "Standard",
                                                              "standard "};
    const Key software = opened(Root::local_machine, "SOFTWARE");
    for (const auto& user : administrators) {
        SCOPED_TRACE(user ? "QUILLHAVEN_USER='" + std::string(*user) + "'" : "unset");
        make_fixture(software);
        {
            Session session(user);
            for (const RegistryOperation& op : registry_operations())
                EXPECT_EQ(op.run(software), kErrorSuccess) << op.what;
        }
        reg_delete_value(software, "QhStandardUserValue");
        reg_delete_tree(software, kKey);
    }
}

TEST(StandardUser, FileWritesIntoSystemFoldersAreRefusedReadsAllowed) {
    ASSERT_TRUE(qh_test::make_directory("C:\\Program Files\\QhApp"));
    ASSERT_TRUE(qh_test::make_directory("C:\\Program Files (x86)"));
    ASSERT_TRUE(qh_test::make_directory("C:\\WindowsApps"));
    ASSERT_TRUE(qh_test::write_file("C:\\Windows\\system32\\qh-existing.txt", "old"));
    const std::string work = qh_test::scratch_dir("standard_user");
    ASSERT_FALSE(work.empty());
    const std::string z_windows =
        qh::platform::posix::windows_path(qh::platform::posix::drive_c_root()) + "\\Windows";
    // Links, as a user could plant them: into C:\Windows by every route, and
    // one into the user's own folder.
    const std::string drive_c = qh::platform::posix::drive_c_root();
    const std::pair<const char*, std::string> links[] = {
        {"qh-autoexec.bat", drive_c + "/Windows/qh-linked.txt"},  // to a file yet to be
        {"qh-linked-dir", drive_c + "/Windows"},
        {"qh-relative.txt", "Windows/qh-relative.txt"},
        {"qh-chain.txt", "qh-autoexec.bat"},
        {"qh-loop-a", "qh-loop-b"},
        {"qh-loop-b", "qh-loop-a"},
        {"qh-elsewhere.txt", *qh::platform::posix::host_path(work) + "/qh-target.txt"},
    };
    for (const auto& [name, target] : links) {
        const std::string link = drive_c + "/" + name;
        unlink(link.c_str());
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << name;
    }

    struct Row {
        std::string path;
        bool refused;
    };
    const Row rows[] = {
        {"C:\\Windows\\qh-new.txt", true},
        {"c:/WINDOWS/qh-new.txt", true},
        {"C:\\Windows\\System32\\qh-existing.txt", true},
        {"C:\\PROGRAM FILES\\QhApp\\qh-new.txt", true},
        {"C:\\Program Files/QhApp/qh-new.txt", true},
        {work + "\\..\\..\\Windows\\qh-new.txt", true},
        {"\\Windows\\qh-new.txt", true},
        {z_windows + "\\qh-new.txt", true},
        {"Windows\\qh-new.txt", true},  // relative to C:\, the current directory below
        {"C:\\qh-autoexec.bat", true},
        {"C:\\QH-LINKED-DIR\\qh-new.txt", true},
        {"C:\\qh-relative.txt", true},
        {"C:\\qh-chain.txt", true},
        {"C:\\qh-loop-a", true},
        {"C:\\qh-elsewhere.txt", false},
        {"C:\\WindowsApps\\qh-new.txt", false},
        {"C:\\Program Files (x86)\\qh-new.txt", false},
        {"C:\\Windows\\..\\qh-new.txt", false},
        {work + "\\qh-new.txt", false},
    };
    const std::optional<std::string> previous = qh::platform::current_directory();
    ASSERT_TRUE(previous);
    ASSERT_TRUE(qh_test::change_directory("C:\\"));
    for (const Row& row : rows) {
        for (const char* mode : {"wt", "ab", "r+b", "at+"}) {
            SCOPED_TRACE(row.path + " (" + mode + ")");
            const bool existed = qh_test::read_file(row.path).has_value();
            std::FILE* file;
            int error;
            {
                Session standard("standard");
                errno = 0;
                file = file_open(row.path, mode);
                error = errno;
            }
            if (row.refused) {
                EXPECT_EQ(file, nullptr);
                EXPECT_EQ(error, EACCES);
                EXPECT_EQ(qh_test::read_file(row.path).has_value(), existed);
            } else if (std::string_view(mode) != "r+b" || existed) {
                EXPECT_NE(file, nullptr);
            }
            if (file) std::fclose(file);
        }
        // Reading is never refused.
        if (const auto bytes = qh_test::read_file(row.path)) {
            Session standard("standard");
            std::FILE* file = file_open(row.path, "rb");
            EXPECT_NE(file, nullptr) << row.path;
            if (file) std::fclose(file);
        }
        if (!row.refused) qh_test::remove_file(row.path);
    }
    EXPECT_EQ(qh_test::read_file("C:\\Windows\\system32\\qh-existing.txt"), std::string("old"));
    EXPECT_FALSE(qh_test::read_file("C:\\Windows\\qh-linked.txt"));
    EXPECT_FALSE(qh_test::read_file("C:\\Windows\\qh-relative.txt"));
    for (const auto& link : links) unlink((drive_c + "/" + link.first).c_str());
    EXPECT_TRUE(qh_test::change_directory(*previous));
    qh_test::remove_file("C:\\Windows\\system32\\qh-existing.txt");
}

// The command line as a standard user: the same result lines as on Windows.
TEST(StandardUser, CommandLinesShowTheResultLine) {
    const std::string dir = qh_test::scratch_dir("standard_user_cli");
    ASSERT_FALSE(dir.empty());
    const std::string reg_file = dir + "\\both.reg";
    ASSERT_TRUE(qh_test::write_file(reg_file,
                                    "REGEDIT4\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\QhStandardUser]\n"
                                    "\"who\"=\"user\"\n\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QhStandardUser]\n"
                                    "\"who\"=\"machine\"\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\QhStandardUser\\After]\n"
                                    "\"who\"=\"user again\"\n"));

    // What the row leaves in the registry: the value, or nothing.
    struct Expect {
        Root root;
        std::string subkey;
        std::string name;
        std::optional<std::string> contains;
    };
    struct Row {
        std::vector<std::string> args;
        std::string_view line;
        std::vector<Expect> after;
    };
    const std::string sys_env(qh_test::kSystemEnvironment), user_env(qh_test::kUserEnvironment);
    const Row rows[] = {
        {{"+path", dir}, kFailed, {{Root::local_machine, sys_env, "Path", std::nullopt}}},
        {{"-user", "+path", dir}, kSucceeded, {{Root::current_user, user_env, "Path", dir}}},
        {{"+regv", "HKEY_LOCAL_MACHINE\\SOFTWARE\\QhStandardUser", "who", "machine"},
         kFailed,
         {{Root::local_machine, "SOFTWARE\\QhStandardUser", "who", std::nullopt}}},
        {{"+regv", "HKEY_CURRENT_USER\\Software\\QhStandardUser", "who", "user"},
         kSucceeded,
         {{Root::current_user, "Software\\QhStandardUser", "who", "user"}}},
        // A refused key leaves its values unwritten and the import goes on,
        // to end with the failure line.
        {{"+regf", reg_file},
         kFailed,
         {{Root::current_user, "Software\\QhStandardUser", "who", "user"},
          {Root::local_machine, "SOFTWARE\\QhStandardUser", "who", std::nullopt},
          {Root::current_user, "Software\\QhStandardUser\\After", "who", "user again"}}},
    };
    qh_test::ValueRestorer system_path(Root::local_machine, sys_env, "Path");
    qh_test::ValueRestorer user_path(Root::current_user, user_env, "Path");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        const auto system_before = query(root_key(Root::local_machine), sys_env, "Path");
        qh_test::CliRun run;
        {
            Session standard("standard");
            run = qh_test::run_cli(row.args);
        }
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, row.line);
        for (const Expect& e : row.after) {
            const auto value = query(root_key(e.root), e.subkey, e.name);
            if (!e.contains) {
                if (e.subkey == sys_env)
                    EXPECT_EQ(value, system_before);
                else
                    EXPECT_EQ(value, std::nullopt) << e.subkey;
            } else {
                ASSERT_TRUE(value) << e.subkey;
                EXPECT_NE(value->find(*e.contains), std::string::npos) << *value;
            }
        }
        reg_delete_tree(root_key(Root::current_user), "Software\\QhStandardUser");
    }
    EXPECT_FALSE(qh_test::key_exists(Root::local_machine, "SOFTWARE\\QhStandardUser"));
}

}  // namespace
