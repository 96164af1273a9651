// Root resolution and the texts a value shows: plain logic, no registry.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "registry/reg_path.h"
#include "registry/reg_value.h"

namespace {

using qh::platform::Root;

struct SplitCase {
    std::string path;
    std::optional<Root> root;  // nothing: not recognised
    std::string subkey;
};

class RootResolution : public testing::TestWithParam<SplitCase> {};

TEST_P(RootResolution, ChoosesRootAndSubkey) {
    const SplitCase& c = GetParam();
    const std::optional<qh::KeyPath> path = qh::reg_parse_path(c.path);
    ASSERT_EQ(path.has_value(), c.root.has_value());
    if (c.root) {
        EXPECT_EQ(path->root, qh::platform::root_key(*c.root));
        EXPECT_EQ(path->subkey, c.subkey);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RootResolution,
    testing::Values(SplitCase{"HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane", Root::local_machine,
                              "SOFTWARE\\tovrane"},
                    SplitCase{"HKEY_CLASSES_ROOT\\.txt", Root::classes_root, ".txt"},
                    SplitCase{"HKEY_CURRENT_USER\\Software", Root::current_user, "Software"},
                    SplitCase{"HKEY_USERS\\a\\b", Root::users, "a\\b"},
                    SplitCase{"HKEY_PERFORMANCE_DATA\\x", Root::performance_data, "x"},
                    SplitCase{"HKEY_CURRENT_CONFIG\\x", Root::current_config, "x"},
                    SplitCase{"HKEY_DYN_DATA\\x", Root::dyn_data, "x"},
                    // Letter case does not matter, in the root name or before the slash.
                    SplitCase{"hkey_local_machine\\x", Root::local_machine, "x"},
                    SplitCase{"hkey_classes_root\\.txt", Root::classes_root, ".txt"},
                    SplitCase{"Hkey_Current_User\\Software", Root::current_user, "Software"},
                    // The subkey is kept as typed, trailing slash and empty alike.
                    SplitCase{"HKEY_CURRENT_USER\\", Root::current_user, ""},
                    SplitCase{"HKEY_CURRENT_USER\\Software\\", Root::current_user, "Software\\"},
                    SplitCase{"HKEY_CURRENT_USER\\\\x", Root::current_user, "\\x"},
                    // Names of the right length but the wrong letters go nowhere.
                    SplitCase{"HKEY_CURRENT_USERS\\Software", std::nullopt, ""},
                    SplitCase{"-HKEY_CURRENT_USER\\Software\\x", std::nullopt, ""},
                    SplitCase{"ABCDEFGHIJ\\x", std::nullopt, ""},
                    SplitCase{"HKEY_LOCAL_MACHINX\\x", std::nullopt, ""},
                    SplitCase{"HKLM\\SOFTWARE", std::nullopt, ""},
                    SplitCase{" HKEY_USERS\\x", std::nullopt, ""},
                    SplitCase{"HKEY_USERS \\x", std::nullopt, ""},
                    SplitCase{"HKEY_LOCAL_MACHINE", std::nullopt, ""},
                    SplitCase{"HKEY_LOCAL_MACHINE/SOFTWARE", std::nullopt, ""},
                    SplitCase{"\\SOFTWARE", std::nullopt, ""}, SplitCase{"", std::nullopt, ""}));

TEST(RootResolution, LongSubkeyIsKeptWhole) {
    const std::string tail(40000, 'k');
    const std::string text = "HKEY_USERS\\" + tail;
    const std::optional<qh::KeyPath> path = qh::reg_parse_path(text);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->subkey, tail);
}

struct DisplayCase {
    std::uint32_t type;
    std::string data;
    std::string shown;
};

class ValueDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(ValueDisplay, ShowsValueAsTheConsoleToolDoes) {
    const DisplayCase& c = GetParam();
    EXPECT_EQ(qh::reg_value_display(qh::RegValue{c.type, c.data}), c.shown);
}

using namespace std::string_literals;
namespace p = qh::platform;

INSTANTIATE_TEST_SUITE_P(
    Types, ValueDisplay,
    testing::Values(
        DisplayCase{p::kRegSz, "abc\0"s, "abc"},
        DisplayCase{p::kRegSz, "abc"s, "abc"},  // no terminator stored
        DisplayCase{p::kRegSz, "a\0b\0"s, "a"}, DisplayCase{p::kRegSz, ""s, ""},
        DisplayCase{p::kRegExpandSz, "%SystemRoot%\\system32\0"s, "%SystemRoot%\\system32"},
        DisplayCase{p::kRegDword, "\x10\0\0\0"s, "0x10"},
        DisplayCase{p::kRegDword, "\0\0\0\0"s, "0x0"},
        DisplayCase{p::kRegDword, "\xff\xff\xff\xff"s, "0xffffffff"},
        DisplayCase{p::kRegDword, "\x78\x56\x34\x12"s, "0x12345678"},
        DisplayCase{p::kRegDword, "\x01"s, "0x1"},  // short data, read no further
        DisplayCase{p::kRegQword, "\x88\x77\x66\x55\x44\x33\x22\x11"s, "0x1122334455667788"},
        DisplayCase{p::kRegBinary, "\x01\xab\x00\xff"s, "01AB00FF"},
        DisplayCase{p::kRegBinary, ""s, ""}, DisplayCase{p::kRegNone, "\x0a\x0b"s, "0A0B"},
        DisplayCase{p::kRegMultiSz, "a\0b\0\0"s, "a\\0b"},
        DisplayCase{p::kRegMultiSz, "a\0b"s, "a\\0b"},  // unclosed list
        DisplayCase{p::kRegMultiSz, "a\0b\0"s, "a\\0b"},
        DisplayCase{p::kRegMultiSz, "\0a\0\0"s, "\\0a"}, DisplayCase{p::kRegMultiSz, "\0\0"s, ""},
        DisplayCase{p::kRegMultiSz, "one\0\0after the end\0\0"s, "one"}));

TEST(ValueText, EndsAtFirstZeroOrAtTheEnd) {
    EXPECT_EQ(qh::reg_value_text({p::kRegSz, "abc\0def\0"s}), "abc");
    EXPECT_EQ(qh::reg_value_text({p::kRegExpandSz, "%A%;%B%"s}), "%A%;%B%");
    EXPECT_TRUE(qh::reg_value_is_text({p::kRegSz, ""}));
    EXPECT_TRUE(qh::reg_value_is_text({p::kRegExpandSz, ""}));
    EXPECT_FALSE(qh::reg_value_is_text({p::kRegDword, "\0\0\0\0"s}));
    EXPECT_FALSE(qh::reg_value_is_text({p::kRegMultiSz, "a\0\0"s}));
    EXPECT_FALSE(qh::reg_value_is_text({p::kRegBinary, "a"}));
}

}  // namespace
