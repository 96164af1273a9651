// The locale table of the emulated machine, double-byte aware letter case,
// and conversions that refuse what a code page cannot hold.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

using namespace std::string_literals;
using namespace qh::platform;

std::optional<std::string> convert(std::u16string_view text) {
    std::string out;
    if (!wide_to_multibyte(text, out)) return std::nullopt;
    return out;
}

// Which code page is in force, judged by what it makes of three characters.
std::string code_page_in_force() {
    const auto han = convert(u"\u4E2D");
    if (han == "\xD6\xD0"s) return "936";
    if (han == "\xA4\xA4"s) return "950";
    if (han == "\x92\x86"s) return "932";
    if (han == "\xF1\xE9"s) return "949";
    if (han) return "unexpected " + *han;
    if (convert(u"\u0416") == "\xC6"s) return "1251";
    if (convert(u"\u20AC") == "\x80"s) return "1252";
    if (convert(u"\u00E9") == "\xE9"s) return "C";
    return "none";
}

// Restores the run's usual locale for the tests that follow.
class EmulatedMachineLocale : public testing::Test {
  protected:
    void TearDown() override { locale_select("chinese-simplified"); }
};

TEST_F(EmulatedMachineLocale, NamesSelectTheirCodePage) {
    struct Case {
        const char* name;
        const char* code_page;
    };
    const Case cases[] = {
        {"chinese-simplified", "936"},
        {"CHS", "936"},
        {"chinese-traditional", "950"},
        {"cht", "950"},
        {"Japanese", "932"},
        {"jpn", "932"},
        {"korean", "949"},
        {"KOR", "949"},
        {"russian", "1251"},
        {"rus", "1251"},
        {"english", "1252"},
        {"American", "1252"},
        {"enu", "1252"},
        {"C", "C"},
        {".936", "936"},
        {".1251", "1251"},
        {"Chinese_China.936", "936"},
        {"English_United States.1252", "1252"},
        {"Chinese (Traditional)_Taiwan.950", "950"},
        {"Japanese_Japan", "932"},
    };
    for (const Case& c : cases) {
        // From a locale of another code page, so that a selection that did
        // nothing shows.
        ASSERT_TRUE(locale_select(std::string_view(c.code_page) == "1251" ? "chs" : "rus"));
        ASSERT_TRUE(locale_select(c.name)) << c.name;
        EXPECT_EQ(code_page_in_force(), c.code_page) << c.name;
    }
}

TEST_F(EmulatedMachineLocale, UnknownNamesAreRefusedAndChangeNothing) {
    for (const char* name : {"klingon", "", ".12345", ".437", ".65001", "chs.x", "Chinese_China.",
                             "de_DE.UTF-8", "C_C", "chinese-simplified "}) {
        ASSERT_TRUE(locale_select("rus"));
        EXPECT_FALSE(locale_select(name)) << name;
        EXPECT_EQ(code_page_in_force(), "1251") << name;
    }
}

TEST_F(EmulatedMachineLocale, LowerCaseChangesOnlyLettersAndNeverDoubleByteCharacters) {
    struct Case {
        const char* locale;
        std::string text;
        std::string lower;
    };
    const Case cases[] = {
        {"chs", "ABC-xyz_09", "abc-xyz_09"},
        // Trail bytes in the ASCII letter range belong to their lead byte.
        {"chs", "\x81\x41Z"s, "\x81\x41z"s},
        {"chs", "\xC0\x41\xC0"s, "\xC0\x41\xC0"s},
        {"cht", "\xA4\x5A!"s, "\xA4\x5A!"s},
        {"kor", "\x81\x41\x41"s, "\x81\x41\x61"s},
        {"jpn", "\x83\x41\xB1Q"s, "\x83\x41\xB1q"s},
        // A lead byte at the very end has no partner and stays as it is.
        {"chs", "A\x81"s, "a\x81"s},
        {"english", "\xC0\xC9\x8A\x9F\xD7\xDE"s, "\xE0\xE9\x9A\xFF\xD7\xFE"s},
        {"russian", "\xC0\xDF\xA8\x80\xB2"s, "\xE0\xFF\xB8\x90\xB3"s},
        {"C", "\xC0Q"s, "\xC0q"s},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(locale_select(c.locale));
        EXPECT_EQ(locale_lower(c.text), c.lower) << c.locale << " " << c.text;
    }
}

TEST_F(EmulatedMachineLocale, CaseInsensitiveComparison) {
    struct Case {
        const char* locale;
        std::string a, b;
        int sign;
    };
    const Case cases[] = {
        {"chs", "C:\\Program Files", "c:\\PROGRAM FILES", 0},
        {"chs", "abc", "ABD", -1},
        {"chs", "abd", "ABC", 1},
        {"chs", "ab", "ABC", -1},
        {"chs", "\x81\x41"s, "\x81\x61"s, -1},
        {"english", "\xC0X"s, "\xE0x"s, 0},
        {"C", "\xC0X"s, "\xE0x"s, -1},
        {"russian", "\xA8"s, "\xB8"s, 0},
        {"chs", "\xFF"s, "a", 1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(locale_select(c.locale));
        const int result = locale_compare_nocase(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.locale << " " << c.a << " " << c.b;
    }
}

TEST_F(EmulatedMachineLocale, ConversionFailsOnUnrepresentableUnits) {
    struct Case {
        const char* locale;
        std::u16string text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {"chs", u"a\u4E2Db"s,
         "a\xD6\xD0"
         "b"s},
        {"chs", u"a\0b"s, "a\0b"s},
        {"chs", u"\u0416"s, "\xA7\xA8"s},
        {"chs", u"\uAC00"s, std::nullopt},
        {"chs", u"\xD800"s, std::nullopt},
        {"kor", u"\uAC00"s, "\xB0\xA1"s},
        {"russian", u"\u4E2D"s, std::nullopt},
        {"english", u"caf\u00E9"s, "caf\xE9"s},
        {"english", u"\u0416"s, std::nullopt},
        // The bytes 1252 leaves without a character are the units of their value.
        {"english", u"\u0081\u009D"s, "\x81\x9D"s},
        {"C", u"\u00FF\u0001"s, "\xFF\x01"s},
        {"C", u"\u20AC"s, std::nullopt},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(locale_select(c.locale));
        std::string out = "kept";
        const bool ok = wide_to_multibyte(c.text, out);
        EXPECT_EQ(ok, c.bytes.has_value()) << c.locale;
        // A failed conversion leaves what was there before.
        EXPECT_EQ(out, "kept" + c.bytes.value_or("")) << c.locale;
    }
}

TEST_F(EmulatedMachineLocale, ConversionToUtf16FailsOnUndefinedBytes) {
    struct Case {
        const char* locale;
        std::string bytes;
        std::optional<std::u16string> text;
    };
    const Case cases[] = {
        {"chs", "a\xD6\xD0\0b"s, u"a\u4E2D\0b"s},
        {"chs", "\x80"s, u"\u20AC"s},
        {"chs", "\xFF"s, std::nullopt},
        {"chs", "\x81\x30"s, std::nullopt},
        {"chs", "A\xA1"s, std::nullopt},
        {"jpn", "\x82\xA0"s, u"\u3042"s},
        {"english", "caf\xE9\x80\x81"s, u"caf\u00E9\u20AC\u0081"s},
        {"russian", "\xC6\x98"s, u"\u0416\u0098"s},
        {"C", "\xFF\x80"s, u"\u00FF\u0080"s},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(locale_select(c.locale));
        std::u16string out = u"kept";
        const bool ok = multibyte_to_wide(c.bytes, out);
        EXPECT_EQ(ok, c.text.has_value()) << c.locale << " " << c.bytes;
        EXPECT_TRUE(out == u"kept" + c.text.value_or(u"")) << c.locale << " " << c.bytes;
    }
}

}  // namespace
