// Registry reads through the ANSI calls: the capacity counts the bytes the
// caller gets, not the size in which the system stores the text.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

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

}  // namespace
