// The emulated registry's own behaviour: what callers of the platform layer
// rely on but cannot see through the tool's commands.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/machine.h"

namespace {

using namespace qh::platform;

Key user() { return root_key(Root::current_user); }

Key create(Key parent, std::string_view path) {
    Key key;
    EXPECT_EQ(reg_create_key_ex(parent, path, key), kErrorSuccess) << path;
    return key;
}

std::optional<std::string> query(Key key, ValueName name, std::uint32_t* type = nullptr) {
    std::uint32_t got_type = 0;
    std::string data;
    if (reg_query_value(key, name, got_type, data, 1 << 20) != kErrorSuccess) return std::nullopt;
    if (type) *type = got_type;
    return data;
}

std::vector<std::string> subkeys(Key key) {
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; reg_enum_key(key, i, name, 255) == kErrorSuccess; ++i)
        names.push_back(name);
    return names;
}

TEST(EmulatedMachineRegistry, FreshMachineIsSeededLikeWindows) {
    using namespace std::string_literals;
    struct Seeded {
        Root root;
        const char* key;
        const char* name;
        std::string data;
    };
    const Seeded seeded[] = {
        {Root::local_machine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
         "Path", "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem\0"s},
        {Root::local_machine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
         "ComSpec", "%SystemRoot%\\system32\\cmd.exe\0"s},
        {Root::local_machine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
         "windir", "%SystemRoot%\0"s},
        {Root::current_user, "Environment", "Path", "\0"s},
        {Root::current_user, "Environment", "TEMP", "%USERPROFILE%\\AppData\\Local\\Temp\0"s},
        {Root::current_user, "Environment", "TMP", "%USERPROFILE%\\AppData\\Local\\Temp\0"s},
    };
    for (const Seeded& s : seeded) {
        Key key;
        ASSERT_EQ(reg_open_key(root_key(s.root), s.key, key), kErrorSuccess) << s.key;
        std::uint32_t type = 0;
        EXPECT_EQ(query(key, s.name, &type), s.data) << s.name;
        EXPECT_EQ(type, kRegExpandSz) << s.name;
    }
    for (const char* entry : {"drive_c/Windows/system32", "registry.db", "broadcast.log"}) {
        const std::string path = qh::platform::posix::machine_root() + "/" + entry;
        EXPECT_EQ(access(path.c_str(), F_OK), 0) << entry;
    }
}

TEST(EmulatedMachineRegistry, NamesIgnoreCaseAndKeepTheirOwn) {
    const Key parent = create(user(), "Software\\QhCase\\MixedName");
    Key same;
    EXPECT_EQ(reg_open_key(user(), "SOFTWARE\\qhcase\\mIXEDnAME", same), kErrorSuccess);
    EXPECT_EQ(same, parent);

    // Creating again with other letter case opens the existing key.
    Key again = create(user(), "software\\QHCASE\\mixedname");
    EXPECT_EQ(again, parent);
    Key case_key;
    ASSERT_EQ(reg_open_key(user(), "Software\\QhCase", case_key), kErrorSuccess);
    EXPECT_EQ(subkeys(case_key), std::vector<std::string>{"MixedName"});

    ASSERT_EQ(reg_set_value(parent, "ValName", kRegSz, "one"), kErrorSuccess);
    ASSERT_EQ(reg_set_value(parent, "VALNAME", kRegSz, "two"), kErrorSuccess);
    EXPECT_EQ(query(parent, "valname"), "two");
    EXPECT_EQ(reg_delete_value(parent, "vAlNaMe"), kErrorSuccess);
    EXPECT_EQ(query(parent, "ValName"), std::nullopt);

    // Only ASCII letters fold: bytes above 127 must match exactly.
    ASSERT_EQ(reg_set_value(parent, "\xC0x", kRegSz, "upper"), kErrorSuccess);
    EXPECT_EQ(query(parent, "\xE0x"), std::nullopt);
    EXPECT_EQ(query(parent, "\xC0X"), "upper");
}

TEST(EmulatedMachineRegistry, SubkeyPathRules) {
    const std::string longest(255, 'k');
    struct Case {
        std::string path;
        bool valid;
    };
    const Case cases[] = {
        {"Software\\QhPath\\a", true},          {"Software\\QhPath\\trailing\\", true},
        {"Software\\QhPath\\" + longest, true}, {"Software\\QhPath\\" + longest + "k", false},
        {"Software\\\\QhPath", false},          {"\\Software\\QhPath", false},
        {"Software\\QhPath\\\\", false},
    };
    for (const Case& c : cases) {
        Key created;
        EXPECT_EQ(reg_create_key_ex(user(), c.path, created) == kErrorSuccess, c.valid) << c.path;
        EXPECT_EQ(static_cast<bool>(created), c.valid) << c.path;
        Key opened;
        EXPECT_EQ(reg_open_key(user(), c.path, opened) == kErrorSuccess, c.valid) << c.path;
    }
    // An empty subkey opens the key itself.
    Key self;
    EXPECT_EQ(reg_open_key(user(), "", self), kErrorSuccess);
    EXPECT_EQ(self, user());
}

TEST(EmulatedMachineRegistry, OpeningForReadingNeverCreates) {
    Key key;
    EXPECT_EQ(reg_open_key(user(), "Software\\QhMissing\\deep", key), kErrorFileNotFound);
    EXPECT_FALSE(key);
    EXPECT_EQ(reg_create_key(user(), "Software\\QhMissing\\deep\\er", key), kErrorSuccess);
    EXPECT_EQ(reg_open_key(user(), "Software\\QhMissing\\deep", key), kErrorSuccess);
}

TEST(EmulatedMachineRegistry, DeleteTreeRemovesEverythingBelow) {
    const Key top = create(user(), "Software\\QhTree");
    const Key leaf = create(top, "a\\b\\c");
    ASSERT_EQ(reg_set_value(leaf, "v", kRegSz, "x"), kErrorSuccess);
    ASSERT_EQ(reg_set_value(top, std::nullopt, kRegSz, "d"), kErrorSuccess);
    create(top, "sibling");

    EXPECT_EQ(reg_delete_tree(user(), "software\\qhtree"), kErrorSuccess);
    Key gone;
    EXPECT_EQ(reg_open_key(user(), "Software\\QhTree", gone), kErrorFileNotFound);
    EXPECT_EQ(reg_delete_tree(user(), "Software\\QhTree"), kErrorFileNotFound);
    // A handle to a deleted key takes no new values, and recreating the key
    // brings nothing old back.
    EXPECT_NE(reg_set_value(leaf, "v", kRegSz, "y"), kErrorSuccess);
    const Key fresh = create(user(), "Software\\QhTree\\a\\b\\c");
    EXPECT_EQ(query(fresh, "v"), std::nullopt);
    EXPECT_TRUE(subkeys(fresh).empty());

    // A root cannot be deleted.
    EXPECT_NE(reg_delete_tree(user(), ""), kErrorSuccess);
    Key env;
    EXPECT_EQ(reg_open_key(user(), "Environment", env), kErrorSuccess);
}

TEST(EmulatedMachineRegistry, EnumerationIsStableAndSized) {
    const Key parent = create(user(), "Software\\QhEnum");
    for (const char* name : {"b", "C", "a", "B0", "longer-name"}) create(parent, name);
    const std::vector<std::string> first = subkeys(parent);
    EXPECT_EQ(first, (std::vector<std::string>{"a", "b", "B0", "C", "longer-name"}));
    EXPECT_EQ(subkeys(parent), first);

    std::string name = "untouched";
    EXPECT_EQ(reg_enum_key(parent, 5, name, 255), kErrorNoMoreItems);
    EXPECT_EQ(reg_enum_key(parent, 4, name, 10), kErrorMoreData);
    EXPECT_EQ(name, "untouched");
    EXPECT_EQ(reg_enum_key(parent, 4, name, 11), kErrorSuccess);
    EXPECT_EQ(name, "longer-name");

    ASSERT_EQ(reg_delete_tree(parent, ""), kErrorSuccess);
    EXPECT_EQ(reg_enum_key(parent, 0, name, 255), kErrorNoMoreItems);
}

TEST(EmulatedMachineRegistry, ValuesKeepTypeAndBytesAndHonourCapacity) {
    using namespace std::string_literals;
    const Key key = create(user(), "Software\\QhValues");
    struct Case {
        ValueName name;
        std::uint32_t type;
        std::string data;
    };
    const Case cases[] = {
        {"text", kRegSz, "abc\0"s},
        {"unterminated", kRegExpandSz, "abc"s},
        {"binary", kRegBinary, "\x00\xff\x00\x80"s},
        {"dword", kRegDword, "\x10\x00\x00\x00"s},
        {"multi", kRegMultiSz, "a\0b\0\0"s},
        {"odd type", 0x12345678, "x"s},
        {"empty", kRegNone, ""s},
        {std::nullopt, kRegSz, "default\0"s},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(reg_set_value(key, c.name, c.type, c.data), kErrorSuccess);
        std::uint32_t type = 0;
        EXPECT_EQ(query(key, c.name, &type), c.data);
        EXPECT_EQ(type, c.type);
    }
    // The empty name is the default value too.
    EXPECT_EQ(query(key, ""), "default\0"s);

    std::uint32_t type = 99;
    std::string data = "kept";
    EXPECT_EQ(reg_query_value(key, "text", type, data, 3), kErrorMoreData);
    EXPECT_EQ(type, 99u);
    EXPECT_EQ(data, "kept");
    EXPECT_EQ(reg_query_value(key, "text", type, data, 4), kErrorSuccess);
    EXPECT_EQ(reg_query_value(key, "absent", type, data, 4), kErrorFileNotFound);
    EXPECT_EQ(reg_delete_value(key, "absent"), kErrorFileNotFound);

    EXPECT_EQ(reg_set_value(key, std::string(16383, 'n'), kRegSz, "ok"), kErrorSuccess);
    EXPECT_NE(reg_set_value(key, std::string(16384, 'n'), kRegSz, "no"), kErrorSuccess);
}

// What another run sees of the database while this one is inside a scope.
int values_seen_by_other_connection(std::string_view name) {
    sqlite3* db = nullptr;
    const std::string path = qh::platform::posix::machine_root() + "/registry.db";
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM key_values WHERE name = ?1", -1,
                                 &statement, nullptr),
              SQLITE_OK);
    sqlite3_bind_blob(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

TEST(EmulatedMachineRegistry, OperationScopeIsOneTransaction) {
    const Key key = create(user(), "Software\\QhScope");
    {
        OperationScope scope;
        ASSERT_EQ(reg_set_value(key, "inside-scope", kRegSz, "1"), kErrorSuccess);
        create(key, "child");
        EXPECT_EQ(values_seen_by_other_connection("inside-scope"), 0);
    }
    EXPECT_EQ(values_seen_by_other_connection("inside-scope"), 1);

    // Outside a scope every call stands on its own.
    ASSERT_EQ(reg_set_value(key, "outside-scope", kRegSz, "1"), kErrorSuccess);
    EXPECT_EQ(values_seen_by_other_connection("outside-scope"), 1);
}

}  // namespace
