// Registry reads through the ANSI calls: the capacity counts the bytes the
// caller gets, not the size in which the system stores the text. The W calls
// against Wine's own regedit and reg: what one writes in UTF-16, the other
// reads unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "support/win32/processes.h"

namespace {

namespace platform = qh::platform;
using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr const char* kTestKey = "Software\\QuillhavenWineRegistryTest";

class WineRegistry : public testing::Test {
  protected:
    void SetUp() override {
        platform::reg_delete_tree(user(), kTestKey);
        ASSERT_EQ(platform::reg_create_key_ex(user(), kTestKey, key_), platform::kErrorSuccess);
    }
    void TearDown() override {
        platform::reg_close_key(key_);
        platform::reg_delete_tree(user(), kTestKey);
    }
    static platform::Key user() { return platform::root_key(platform::Root::current_user); }
    platform::Key key_;
};

TEST_F(WineRegistry, ReadFailsOnlyWhenTheBytesExceedTheCapacity) {
    struct Case {
        std::uint32_t type;
        std::string data;
        std::size_t capacity;
        long status;
    };
    const Case cases[] = {
        {platform::kRegSz, "abc\0"s, 4, platform::kErrorSuccess},
        {platform::kRegSz, "abc\0"s, 3, platform::kErrorMoreData},
        // Stored as UTF-16 in eight bytes, read as ANSI in four; Windows may
        // report the stored size when asked first.
        {platform::kRegSz, "\xE9\xE9\xE9\0"s, 4, platform::kErrorSuccess},
        {platform::kRegExpandSz, "%SystemRoot%\0"s, 13, platform::kErrorSuccess},
        {platform::kRegBinary, "\x01\x00\x02"s, 3, platform::kErrorSuccess},
        {platform::kRegBinary, "\x01\x00\x02"s, 2, platform::kErrorMoreData},
        {platform::kRegBinary, ""s, 0, platform::kErrorSuccess},
        {platform::kRegDword, "\x10\x00\x00\x00"s, 4, platform::kErrorSuccess},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(platform::reg_set_value(key_, "v", c.type, c.data), platform::kErrorSuccess);
        std::uint32_t type = 99;
        std::string data = "untouched";
        EXPECT_EQ(platform::reg_query_value(key_, "v", type, data, c.capacity), c.status)
            << c.type << " " << c.capacity;
        if (c.status == platform::kErrorSuccess) {
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(data, c.data);
        } else {
            EXPECT_EQ(type, 99u);
            EXPECT_EQ(data, "untouched");
        }
    }
}

TEST_F(WineRegistry, DefaultValueByAbsentOrEmptyNameAndNoZeroInNames) {
    EXPECT_EQ(platform::reg_set_value(key_, std::nullopt, platform::kRegSz, "d\0"s),
              platform::kErrorSuccess);
    std::uint32_t type = 0;
    std::string data;
    EXPECT_EQ(platform::reg_query_value(key_, "", type, data, 100), platform::kErrorSuccess);
    EXPECT_EQ(data, "d\0"s);
    // A name cut at its zero byte would address another value.
    EXPECT_NE(platform::reg_set_value(key_, "v\0w"sv, platform::kRegSz, "x\0"s),
              platform::kErrorSuccess);
    EXPECT_NE(platform::reg_query_value(key_, "v", type, data, 100), platform::kErrorSuccess);
}

TEST_F(WineRegistry, EnumerationNamesFitTheCapacityOrFail) {
    platform::Key sub;
    ASSERT_EQ(platform::reg_create_key(key_, "abcdef", sub), platform::kErrorSuccess);
    platform::reg_close_key(sub);
    std::string name;
    EXPECT_EQ(platform::reg_enum_key(key_, 0, name, 5), platform::kErrorMoreData);
    EXPECT_EQ(platform::reg_enum_key(key_, 0, name, 6), platform::kErrorSuccess);
    EXPECT_EQ(name, "abcdef");
    EXPECT_EQ(platform::reg_enum_key(key_, 1, name, 6), platform::kErrorNoMoreItems);
}

TEST_F(WineRegistry, TreeDeletionNeedsASubkey) {
    EXPECT_NE(platform::reg_delete_tree(key_, ""), platform::kErrorSuccess);
    platform::Key again;
    EXPECT_EQ(platform::reg_open_key(user(), kTestKey, again), platform::kErrorSuccess);
    platform::reg_close_key(again);
}

// UTF-16LE bytes, as the registry and its editor's files hold text.
std::string le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

TEST_F(WineRegistry, WideCallsReadWhatRegeditWrites) {
    const std::string file = qh_test::scratch_dir("wine_wide") + "\\import.reg";
    ASSERT_TRUE(qh_test::write_file(
        file, "\xFF\xFE"s + le(u"Windows Registry Editor Version 5.00\r\n\r\n"
                               u"[HKEY_CURRENT_USER\\Software\\QuillhavenWineRegistryTest\\"
                               u"\u00C4pfel\u4E2D]\r\n"
                               u"\"\u540D\u524D\"=\"\u30C7\u30FC\u30BF\u03A9\"\r\n"
                               u"\"plain\"=\"x\"\r\n")));
    ASSERT_EQ(qh_test::win32::run_program("C:\\windows\\regedit.exe", {"/s", file}).exit_code, 0);

    // Letter case aside beyond ASCII too.
    platform::Key key;
    ASSERT_EQ(platform::reg_open_key_wide(key_, u"\u00E4PFEL\u4E2D", key), platform::kErrorSuccess);
    std::uint32_t type = 0;
    std::string data;
    EXPECT_EQ(platform::reg_query_value_wide(key, u"\u540D\u524D", type, data, 100),
              platform::kErrorSuccess);
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(data, le(u"\u30C7\u30FC\u30BF\u03A9"s + u'\0'));
    EXPECT_EQ(platform::reg_query_value_wide(key, u"plain", type, data, 3),
              platform::kErrorMoreData);

    std::u16string name;
    ASSERT_EQ(platform::reg_enum_key_wide(key_, 0, name), platform::kErrorSuccess);
    EXPECT_TRUE(name == u"\u00C4pfel\u4E2D");
    EXPECT_EQ(platform::reg_enum_key_wide(key_, 1, name), platform::kErrorNoMoreItems);
    std::vector<std::u16string> names;
    for (std::uint32_t i = 0;
         platform::reg_enum_value_wide(key, i, name, type, data) == platform::kErrorSuccess; ++i)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(names == (std::vector<std::u16string>{u"plain", u"\u540D\u524D"}));
    platform::reg_close_key(key);
}

TEST_F(WineRegistry, RegExportShowsWhatTheWideCallsWrite) {
    // Beyond any one code page, and beyond the first plane.
    const std::u16string key_name = u"\u03A9mega\U0001F600";
    const std::u16string value_name = u"\u043A\u043B\u044E\u0447";
    const std::u16string text = u"\u0437\u043D\u0430\u0447\u0435\u043D\u0438\u0435\u4E2D";
    platform::Key key;
    ASSERT_EQ(platform::reg_create_key_wide(key_, key_name, key), platform::kErrorSuccess);
    ASSERT_EQ(platform::reg_set_value_wide(key, value_name, platform::kRegSz, le(text + u'\0')),
              platform::kErrorSuccess);
    ASSERT_EQ(platform::reg_set_value_wide(key, u"gone", platform::kRegSz, le(u"x")),
              platform::kErrorSuccess);
    EXPECT_EQ(platform::reg_delete_value_wide(key, u"GONE"), platform::kErrorSuccess);
    platform::reg_close_key(key);

    const std::string file = qh_test::scratch_dir("wine_wide") + "\\export.reg";
    ASSERT_EQ(qh_test::win32::run_program("C:\\windows\\system32\\reg.exe",
                                          {"export", std::string("HKCU\\") + kTestKey, file, "/y"})
                  .exit_code,
              0);
    const std::optional<std::string> exported = qh_test::read_file(file);
    ASSERT_TRUE(exported);
    const std::string key_line =
        le(u"[HKEY_CURRENT_USER\\Software\\QuillhavenWineRegistryTest\\" + key_name + u"]");
    EXPECT_NE(exported->find(key_line), std::string::npos);
    EXPECT_NE(exported->find(le(u"\"" + value_name + u"\"=\"" + text + u"\"")), std::string::npos);
    EXPECT_EQ(exported->find(le(u"\"gone\"")), std::string::npos);
}

}  // namespace
