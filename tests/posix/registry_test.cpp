// The emulated registry's own behaviour: what callers of the platform layer
// rely on but cannot see through the tool's commands.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/machine.h"

namespace {

using namespace qh::platform;
using namespace std::string_literals;

constexpr std::string_view kSid = "S-1-5-21-3623811015-3361044348-30300820-1001";

Key user() { return root_key(Root::current_user); }

// A locale for one test; the one before it afterwards.
class LocaleScope {
  public:
    explicit LocaleScope(const char* name) : previous_(locale_code_page()) {
        EXPECT_TRUE(locale_select(name)) << name;
    }
    ~LocaleScope() { locale_select(previous_ == 0 ? "C" : "." + std::to_string(previous_)); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

  private:
    unsigned previous_;
};

// UTF-16LE, as the registry stores string data.
std::string le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

std::string repeat(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

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
    const std::pair<Root, const char*> keys[] = {
        {Root::local_machine, "HARDWARE"}, {Root::local_machine, "SAM"},
        {Root::local_machine, "SECURITY"}, {Root::local_machine, "SOFTWARE\\Classes"},
        {Root::local_machine, "SYSTEM"},   {Root::current_user, "Software\\Classes"},
        {Root::users, ".DEFAULT"},
    };
    for (const auto& [root, path] : keys) {
        Key key;
        EXPECT_EQ(reg_open_key(root_key(root), path, key), kErrorSuccess) << path;
    }
    // The user's hive under its SID is HKEY_CURRENT_USER itself.
    EXPECT_EQ(subkeys(root_key(Root::users)),
              (std::vector<std::string>{".DEFAULT", std::string(kSid)}));
    Key hive;
    EXPECT_EQ(reg_open_key(root_key(Root::users), kSid, hive), kErrorSuccess);
    EXPECT_EQ(hive, user());
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
}

TEST(EmulatedMachineRegistry, EveryLetterFoldsAsWindowsUpperCasesIt) {
    struct Case {
        const char* locale;
        std::string created;
        std::string other;
        bool same;
    };
    const Case cases[] = {
        {"english", "\xC4pfel", "\xE4PFEL", true},              // Äpfel, äPFEL
        {"C", "\xC9t\xE9", "\xE9T\xC9", true},                  // each byte a unit of its value
        {"russian", "\xCF\xF0\xE8", "\xEF\xD0\xC8", true},      // При, пРИ
        {"chs", "\xA6\xB2\xA6\xB8", "\xA6\xD2\xA6\xD8", true},  // ΣΩ, σω
        {"chs", "\xA3\xC1x", "\xA3\xE1X", true},                // fullwidth Ａx, ａX
        {"chs", "\xA7\xB1", "\xA7\xE1", true},                  // П, п
        {"english",
         "stra\xDF"
         "e",
         "STRASSE", false},                      // ß has no upper-case letter
        {"chs", "\xA6\xB2", "\xA6\xB3", false},  // Σ, Τ
    };
    const Key parent = create(user(), "Software\\QhFold");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.created + " / " + c.other);
        LocaleScope locale(c.locale);
        const Key key = create(parent, c.created);
        Key other;
        const long opened = reg_open_key(parent, c.other, other);
        EXPECT_EQ(opened == kErrorSuccess && other == key, c.same);
        ASSERT_EQ(reg_set_value(parent, c.created, kRegSz, "v"), kErrorSuccess);
        EXPECT_EQ(query(parent, c.other).has_value(), c.same);
        reg_delete_value(parent, c.created);
        reg_delete_tree(parent, c.created);
    }
    // The W calls fold each UTF-16 unit alone, as Windows does: letters
    // beyond the first plane keep their case.
    const std::tuple<std::u16string, std::u16string, bool> wide_cases[] = {
        {u"\u01C4", u"\u01C6", true},           // Ǆ, ǆ
        {u"\U00010400", u"\U00010428", false},  // Deseret Ѐ, 𐐨
    };
    for (const auto& [created, other, same] : wide_cases) {
        const Key wide_parent = create(parent, "wide");
        Key key, found;
        ASSERT_EQ(reg_create_key_wide(wide_parent, created, key), kErrorSuccess);
        EXPECT_EQ(reg_open_key_wide(wide_parent, other, found) == kErrorSuccess && found == key,
                  same);
        reg_delete_tree(parent, "wide");
    }
}

TEST(EmulatedMachineRegistry, SubkeyPathRules) {
    // Names count UTF-16 units, not bytes of the code page.
    LocaleScope locale("chs");
    const std::string longest(255, 'k');
    const std::string han = "\xD6\xD0";  // 中
    struct Case {
        std::string path;
        bool valid;
    };
    const Case cases[] = {
        {"Software\\QhPath\\a", true},
        {"Software\\QhPath\\trailing\\", true},
        {"Software\\QhPath\\" + longest, true},
        {"Software\\QhPath\\" + longest + "k", false},
        {"Software\\QhPath\\" + repeat(han, 255), true},
        {"Software\\QhPath\\" + repeat(han, 256), false},
        {"Software\\\\QhPath", false},
        {"\\Software\\QhPath", false},
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

    LocaleScope locale("chs");
    for (const std::string& unit : {"n"s, "\xD6\xD0"s}) {
        EXPECT_EQ(reg_set_value(key, repeat(unit, 16383), kRegSz, "ok"), kErrorSuccess);
        EXPECT_NE(reg_set_value(key, repeat(unit, 16384), kRegSz, "no"), kErrorSuccess);
    }
}

TEST(EmulatedMachineRegistry, StringDataIsUtf16AndTheACallsConvertIt) {
    struct Case {
        const char* written_in;
        std::uint32_t type;
        std::string written;
        std::string stored;
        const char* read_in;
        std::string read;
    };
    const Case cases[] = {
        {"chs", kRegSz, "\xD6\xD0\0"s, le(u"\u4E2D\0"s), "chs", "\xD6\xD0\0"s},
        {"chs", kRegSz, "\xD6\xD0\0"s, le(u"\u4E2D\0"s), "english", "?\0"s},
        {"english", kRegExpandSz, "caf\xE9\0"s, le(u"caf\u00E9\0"s), "chs", "caf\xA8\xA6\0"s},
        {"english", kRegMultiSz, "a\0\xE9\0\0"s, le(u"a\0\u00E9\0\0"s), "C", "a\0\xE9\0\0"s},
        // A byte the code page does not define is lost, as on Windows.
        {"chs", kRegSz, "\xFFx\0"s, le(u"?x\0"s), "chs", "?x\0"s},
        {"chs", kRegSz, "abc"s, le(u"abc"), "chs", "abc"s},
        {"chs", kRegBinary, "\xD6\xD0\xFF"s, "\xD6\xD0\xFF"s, "english", "\xD6\xD0\xFF"s},
    };
    const Key key = create(user(), "Software\\QhUtf16");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.written_in) + " to " + c.read_in + ": " + c.written);
        {
            LocaleScope locale(c.written_in);
            ASSERT_EQ(reg_set_value(key, "v", c.type, c.written), kErrorSuccess);
        }
        std::uint32_t type = 0;
        std::string stored;
        ASSERT_EQ(reg_query_value_wide(key, u"v", type, stored, 100), kErrorSuccess);
        EXPECT_EQ(stored, c.stored);
        LocaleScope locale(c.read_in);
        EXPECT_EQ(query(key, "v", &type), c.read);
        EXPECT_EQ(type, c.type);
    }

    // The read limit counts the bytes the caller gets: 中中中 and its
    // terminator are eight bytes stored, seven in 936 and four in 1252.
    ASSERT_EQ(reg_set_value_wide(key, u"v", kRegSz, le(u"\u4E2D\u4E2D\u4E2D\0"s)), kErrorSuccess);
    const std::tuple<const char*, std::size_t, long> limits[] = {
        {"chs", 7, kErrorSuccess},
        {"chs", 6, kErrorMoreData},
        {"english", 4, kErrorSuccess},
        {"english", 3, kErrorMoreData},
    };
    for (const auto& [locale_name, capacity, status] : limits) {
        LocaleScope locale(locale_name);
        std::uint32_t type = 0;
        std::string data;
        EXPECT_EQ(reg_query_value(key, "v", type, data, capacity), status)
            << locale_name << " " << capacity;
    }
}

TEST(EmulatedMachineRegistry, ValuesEnumerateInTheOrderTheyWereFirstSet) {
    const Key key = create(user(), "Software\\QhOrder");
    for (const char16_t* name : {u"c", u"A", u"b"})
        ASSERT_EQ(reg_set_value_wide(key, name, kRegSz, le(name)), kErrorSuccess);
    // Replaced: keeps its place and its name; deleted and set again: last.
    ASSERT_EQ(reg_set_value_wide(key, u"a", kRegDword, "\1\0\0\0"s), kErrorSuccess);
    ASSERT_EQ(reg_delete_value_wide(key, u"C"), kErrorSuccess);
    ASSERT_EQ(reg_set_value_wide(key, u"C", kRegSz, le(u"C")), kErrorSuccess);

    struct Seen {
        std::u16string name;
        std::uint32_t type;
        std::string data;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    Seen value;
    for (std::uint32_t i = 0;
         reg_enum_value_wide(key, i, value.name, value.type, value.data) == kErrorSuccess; ++i)
        seen.push_back(value);
    EXPECT_TRUE(seen == (std::vector<Seen>{{u"A", kRegDword, "\1\0\0\0"s},
                                           {u"b", kRegSz, le(u"b")},
                                           {u"C", kRegSz, le(u"C")}}));
}

// An enumeration continues where the last one stopped; whatever the order
// of the indexes, keys taking turns or a change in between, an index names
// what it names in the key's order at that moment.
TEST(EmulatedMachineRegistry, EnumerationByIndexInAnyOrder) {
    const Key a = create(user(), "Software\\QhCursor\\a");
    const Key b = create(user(), "Software\\QhCursor\\b");
    for (int i = 0; i < 12; ++i) {
        const std::u16string name = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + i));
        for (const Key key : {a, b}) {
            ASSERT_EQ(reg_set_value_wide(key, name, kRegDword, "\1\0\0\0"s), kErrorSuccess);
            Key child;
            ASSERT_EQ(reg_create_key_wide(key, name, child), kErrorSuccess);
        }
    }
    const auto value_at = [](Key key, std::uint32_t index) {
        std::u16string name;
        std::uint32_t type = 0;
        std::string data;
        return reg_enum_value_wide(key, index, name, type, data) == kErrorSuccess ? name : u"-";
    };
    const auto key_at = [](Key key, std::uint32_t index) {
        std::u16string name;
        return reg_enum_key_wide(key, index, name) == kErrorSuccess ? name : u"-";
    };
    struct Step {
        Key key;
        std::uint32_t index;
        std::u16string name;  // the value's and the subkey's: both in the same order
        const char16_t* delete_before = nullptr;  // a value and a subkey
    };
    const Step steps[] = {
        {a, 0, u"va"}, {b, 0, u"va"},        {a, 1, u"vb"},  {b, 1, u"vb"},  {a, 2, u"vc"},
        {a, 7, u"vh"}, {a, 5, u"vf"},        {a, 6, u"vg"},  {a, 11, u"vl"}, {a, 12, u"-"},
        {a, 3, u"vd"}, {a, 4, u"vf", u"vb"},  // vb gone: index 4 is vf now
        {a, 5, u"vg"}, {b, 2, u"vc"},        {a, 10, u"vl"}, {a, 11, u"-"},
    };
    for (const Step& step : steps) {
        if (step.delete_before) {
            ASSERT_EQ(reg_delete_value_wide(step.key, step.delete_before), kErrorSuccess);
            ASSERT_EQ(reg_delete_tree_wide(step.key, step.delete_before), kErrorSuccess);
        }
        EXPECT_EQ(value_at(step.key, step.index), step.name);
        EXPECT_EQ(key_at(step.key, step.index), step.name);
    }
    ASSERT_EQ(reg_delete_tree(user(), "Software\\QhCursor"), kErrorSuccess);
}

TEST(EmulatedMachineRegistry, ClassesRootShowsTheUsersClassesOverTheMachines) {
    const Key classes = root_key(Root::classes_root);
    const std::string machine = "SOFTWARE\\Classes\\";
    const std::string users = "Software\\Classes\\";
    auto put = [](Key root, const std::string& path, const char* name, const char* text) {
        Key key = create(root, path);
        ASSERT_EQ(reg_set_value(key, name, kRegSz, text + "\0"s), kErrorSuccess);
    };
    const Key hklm = root_key(Root::local_machine);
    put(hklm, machine + ".qhm", "v", "machine");
    put(user(), users + ".qhu", "v", "user");
    put(hklm, machine + ".qhb", "v", "machine");
    put(hklm, machine + ".qhb", "w", "machine only");
    put(user(), users + ".qhb", "v", "user");
    for (const char* sub : {"\\m", "\\both"}) create(hklm, machine + ".qhb" + sub);
    for (const char* sub : {"\\u", "\\both"}) create(user(), users + ".qhb" + sub);

    // Reads see both, the user's first.
    const std::tuple<const char*, const char*, std::optional<std::string>> reads[] = {
        {".qhm", "v", "machine\0"s},      {".qhu", "v", "user\0"s},       {".qhb", "v", "user\0"s},
        {".qhb", "w", "machine only\0"s}, {".qhb\\m", "v", std::nullopt},
    };
    for (const auto& [path, name, data] : reads) {
        Key key;
        ASSERT_EQ(reg_open_key(classes, path, key), kErrorSuccess) << path;
        EXPECT_EQ(query(key, name), data) << path << " " << name;
    }
    Key both;
    ASSERT_EQ(reg_open_key(classes, ".qhb", both), kErrorSuccess);
    EXPECT_EQ(subkeys(both), (std::vector<std::string>{"both", "m", "u"}));
    std::u16string name;
    std::uint32_t type;
    std::string data;
    std::vector<std::u16string> names;
    for (std::uint32_t i = 0; reg_enum_value_wide(both, i, name, type, data) == kErrorSuccess; ++i)
        names.push_back(name);
    EXPECT_TRUE(names == (std::vector<std::u16string>{u"v", u"w"}));
    const std::vector<std::string> top = subkeys(classes);
    for (const char* key : {".qhb", ".qhm", ".qhu"})
        EXPECT_EQ(std::count(top.begin(), top.end(), key), 1) << key;

    // A write goes to the user's key when it is there, else to the machine's;
    // a new class to the machine's.
    const std::tuple<const char*, Key, std::string> writes[] = {
        {".qhb", user(), users + ".qhb"},
        {".qhm", hklm, machine + ".qhm"},
        {".qhnew", hklm, machine + ".qhnew"},
        {".qhb\\m\\deeper", hklm, machine + ".qhb\\m\\deeper"},
        {".qhb\\new", user(), users + ".qhb\\new"},
    };
    for (const auto& [path, root, stored_at] : writes) {
        Key key;
        ASSERT_EQ(reg_create_key_ex(classes, path, key), kErrorSuccess) << path;
        ASSERT_EQ(reg_set_value(key, "written", kRegSz, "x\0"s), kErrorSuccess) << path;
        Key direct;
        ASSERT_EQ(reg_open_key(root, stored_at, direct), kErrorSuccess) << stored_at;
        EXPECT_EQ(query(direct, "written"), "x\0"s) << stored_at;
    }
    // Deleting removes the user's key first; the machine's then shows.
    EXPECT_EQ(reg_delete_tree(classes, ".qhb"), kErrorSuccess);
    EXPECT_EQ(query(both, "v"), "machine\0"s);
    for (const char* path : {".qhb", ".qhm", ".qhnew", ".qhu"}) reg_delete_tree(classes, path);
    EXPECT_TRUE(subkeys(both).empty());
}

TEST(EmulatedMachineRegistry, HivesTakeNoNewTopKeys) {
    // HKEY_USERS\<SID> is the current user's hive, written through either name.
    Key through_users;
    ASSERT_EQ(reg_create_key_ex(root_key(Root::users), std::string(kSid) + "\\Software\\QhHive",
                                through_users),
              kErrorSuccess);
    Key through_user;
    EXPECT_EQ(reg_open_key(user(), "Software\\QhHive", through_user), kErrorSuccess);
    EXPECT_EQ(through_users, through_user);
    EXPECT_EQ(reg_delete_tree(root_key(Root::users), kSid), kErrorAccessDenied);

    const std::tuple<Root, std::string, long> creations[] = {
        {Root::local_machine, "QhTop", kErrorAccessDenied},
        {Root::local_machine, "QhTop\\deeper", kErrorAccessDenied},
        {Root::users, "QhTop", kErrorAccessDenied},
        {Root::local_machine, "SOFTWARE", kErrorSuccess},
        {Root::local_machine, "SOFTWARE\\QhTop", kErrorSuccess},
        {Root::users, ".DEFAULT\\QhTop", kErrorSuccess},
        {Root::users, std::string(kSid) + "\\QhTop", kErrorSuccess},
        {Root::current_user, "QhTop", kErrorSuccess},
        {Root::current_config, "QhTop", kErrorSuccess},
    };
    for (const auto& [root, path, status] : creations) {
        Key key;
        EXPECT_EQ(reg_create_key_ex(root_key(root), path, key), status) << path;
        if (status != kErrorSuccess) {
            EXPECT_EQ(reg_open_key(root_key(root), path, key), kErrorFileNotFound) << path;
        }
    }
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
    std::u16string units(name.begin(), name.end());
    const std::string stored = le(units);
    sqlite3_bind_blob(statement, 1, stored.data(), static_cast<int>(stored.size()),
                      SQLITE_TRANSIENT);
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
