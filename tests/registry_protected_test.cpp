// Key deletion refuses the roots, the hives, Windows' own keys in them, and
// the class and 32-bit registries, under each name that reaches them; what
// lies below them stays deletable. Every deletion of a key goes through the same check,
// so -regk and a registry file's marked key lines are both tried here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

namespace platform = qh::platform;
using platform::Root;

// A child of each refused key, made by the test: refused means it is still
// there afterwards, whatever the key held before.
constexpr std::string_view kSentinel = "QhProtectSentinel";

std::string root_name(Root root) {
    return std::string(platform::kRootNames[static_cast<std::size_t>(root)]);
}

std::string below(std::string_view key, std::string_view name) {
    return key.empty() ? std::string(name) : std::string(key) + "\\" + std::string(name);
}

struct Refused {
    Root root;
    std::string typed;  // the subkey as the command line gives it
    std::string key;    // a key at or below it, for the sentinel
};

void create_key(Root root, const std::string& subkey) {
    qh::Key key;
    ASSERT_EQ(platform::reg_create_key_ex(platform::root_key(root), subkey, key),
              platform::kErrorSuccess)
        << root_name(root) << "\\" << subkey;
    platform::reg_close_key(key);
}

void plant_sentinel(const Refused& c) { create_key(c.root, below(c.key, kSentinel)); }

// Whether the sentinel survived; removes it either way.
bool sentinel_survived(const Refused& c) {
    const bool there = qh_test::key_exists(c.root, below(c.key, kSentinel));
    platform::reg_delete_tree(platform::root_key(c.root), below(c.key, kSentinel));
    return there;
}

// The current user's hive below HKEY_USERS, by its security identifier.
std::string user_sid() {
    std::string name;
    for (std::uint32_t i = 0; platform::reg_enum_key(platform::root_key(Root::users), i, name,
                                                     255) == platform::kErrorSuccess;
         ++i)
        if (name.starts_with("S-1-5-21-") && !name.ends_with("_Classes")) return name;
    return "";
}

std::vector<Refused> refused_keys(const std::string& sid) {
    const std::string env = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    return {
        {Root::users, ".DEFAULT", ".DEFAULT"},
        {Root::users, ".default\\", ".DEFAULT"},
        {Root::users, sid, sid},
        {Root::users, ".DEFAULT\\Software", ".DEFAULT\\Software"},
        {Root::users, ".DEFAULT\\Environment", ".DEFAULT\\Environment"},
        {Root::users, ".DEFAULT\\software\\CLASSES", ".DEFAULT\\Software\\Classes"},
        {Root::users, sid + "\\Control Panel", sid + "\\Control Panel"},
        {Root::users, sid + "\\Software\\Microsoft\\Windows",
         sid + "\\Software\\Microsoft\\Windows"},
        {Root::users, sid + "\\Software\\Classes\\CLSID", sid + "\\Software\\Classes\\CLSID"},
        {Root::local_machine, "SOFTWARE", "SOFTWARE"},
        {Root::local_machine, "system", "SYSTEM"},
        {Root::local_machine, "Software\\Classes", "Software\\Classes"},
        {Root::local_machine, "SOFTWARE\\Classes\\\\", "SOFTWARE\\Classes"},
        {Root::local_machine, "SOFTWARE\\\\Classes", "SOFTWARE\\Classes"},
        {Root::local_machine, "SOFTWARE\\wow6432node", "SOFTWARE\\WOW6432Node"},
        {Root::local_machine, "SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet"},
        {Root::local_machine, "SYSTEM\\ControlSet001\\Services", "SYSTEM\\ControlSet001\\Services"},
        {Root::local_machine, "SYSTEM\\Select", "SYSTEM\\Select"},
        {Root::local_machine, "system\\currentcontrolset\\control",
         "SYSTEM\\CurrentControlSet\\Control"},
        {Root::local_machine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
         "SYSTEM\\CurrentControlSet\\Control\\Session Manager"},
        {Root::local_machine, env + "\\", env},
        {Root::local_machine, "SOFTWARE\\Microsoft", "SOFTWARE\\Microsoft"},
        {Root::local_machine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
         "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"},
        {Root::local_machine, "SOFTWARE\\Policies", "SOFTWARE\\Policies"},
        {Root::local_machine, "SOFTWARE\\Classes\\Folder", "SOFTWARE\\Classes\\Folder"},
        {Root::current_user, "Software", "Software"},
        {Root::current_user, "Environment", "Environment"},
        {Root::current_user, "\\Environment", "Environment"},
        {Root::current_user, "Volatile Environment", "Volatile Environment"},
        {Root::current_user, "SOFTWARE\\Classes", "Software\\Classes"},
        {Root::current_user, "Software\\Microsoft\\Windows\\CurrentVersion",
         "Software\\Microsoft\\Windows\\CurrentVersion"},
        {Root::current_user, "Software\\Classes\\Interface", "Software\\Classes\\Interface"},
        {Root::current_config, "Software", "Software"},
        {Root::current_user, "", ""},
        {Root::local_machine, "\\\\", "SOFTWARE"},
        {Root::classes_root, "", ""},
        {Root::classes_root, "clsid", "CLSID"},
        {Root::classes_root, "*", "*"},
        {Root::classes_root, "AllFilesystemObjects", "AllFilesystemObjects"},
    };
}

struct Deletable {
    Root root;
    std::string key;
};

std::vector<Deletable> deletable_keys(const std::string& sid) {
    return {
        {Root::current_user, "Software\\QhProtectFoo"},
        {Root::current_user, "Software\\Classes\\QhProtectFoo"},
        {Root::classes_root, ".qhprotect"},
        {Root::local_machine, "SOFTWARE\\Classes\\QhProtectClass"},
        {Root::local_machine, "SOFTWARE\\WOW6432Node\\QhProtectFoo"},
        {Root::users, ".DEFAULT\\Software\\QhProtectFoo"},
        {Root::current_config, "Software\\QhProtectFoo"},
        // An application's own keys, beside and below Windows' own.
        {Root::current_user, "QhProtectApp"},
        {Root::users, sid + "\\QhProtectApp"},
        {Root::local_machine, "SYSTEM\\CurrentControlSet\\Services\\QhProtectService"},
        {Root::local_machine, "SOFTWARE\\Microsoft\\QhProtectFoo"},
        {Root::current_user, "Software\\Microsoft\\Windows\\CurrentVersion\\QhProtectRun"},
        {Root::classes_root, "CLSID\\{51484E56-0000-0000-0000-000000000001}"},
    };
}

TEST(ProtectedKeys, RegkRefusesHivesAndTopKeysButNotWhatLiesBelow) {
    const std::string sid = user_sid();
    ASSERT_FALSE(sid.empty());
    for (const Refused& c : refused_keys(sid)) {
        const std::string path = root_name(c.root) + "\\" + c.typed;
        plant_sentinel(c);
        const qh_test::CliRun run = qh_test::run_cli({"-regk", path, "-no-refresh"});
        EXPECT_EQ(run.output, qh_test::kFailed) << path;
        EXPECT_TRUE(run.errors.ends_with(" which is never deleted\n")) << run.errors;
        EXPECT_TRUE(sentinel_survived(c)) << path;
    }
    for (const Deletable& c : deletable_keys(sid)) {
        const std::string path = root_name(c.root) + "\\" + c.key;
        create_key(c.root, c.key);
        EXPECT_EQ(qh_test::run_cli({"-regk", path, "-no-refresh"}).output, qh_test::kSucceeded)
            << path;
        EXPECT_FALSE(qh_test::key_exists(c.root, c.key)) << path;
    }
}

TEST(ProtectedKeys, MarkedKeyLinesOfARegistryFileAreRefusedAlike) {
    const std::vector<Refused> refused = {
        {Root::users, ".DEFAULT", ".DEFAULT"},
        {Root::current_user, "Environment", "Environment"},
        {Root::local_machine, "SOFTWARE\\Classes", "SOFTWARE\\Classes"},
        {Root::users, ".DEFAULT\\Software", ".DEFAULT\\Software"},
    };
    std::string lines = "REGEDIT4\n\n";
    for (const Refused& c : refused) {
        plant_sentinel(c);
        lines += "[" + root_name(c.root) + "\\" + c.typed + "]--uninstall\n";
    }
    const std::string deletable = "Software\\QhProtectFile";
    create_key(Root::current_user, deletable);
    lines += "[HKEY_CURRENT_USER\\" + deletable + "]--uninstall\n";
    const std::string file = qh_test::scratch_dir("protected") + "\\marked.reg";
    ASSERT_TRUE(qh_test::write_file(file, lines));

    qh_test::run_cli({"-regf", file, "-no-refresh"});
    for (const Refused& c : refused)
        EXPECT_TRUE(sentinel_survived(c)) << root_name(c.root) << "\\" << c.typed;
    EXPECT_FALSE(qh_test::key_exists(Root::current_user, deletable));
}

}  // namespace
