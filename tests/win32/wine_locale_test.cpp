// The locale services as the C runtime provides them: Windows locale names,
// code-page aware lower-casing, and conversion that refuses what the code
// page cannot hold.
#include <gtest/gtest.h>
#include <locale.h>

#include <string>

#include "platform/platform.h"

namespace {

namespace platform = qh::platform;
using namespace std::string_literals;

class WineLocale : public testing::Test {
  protected:
    void TearDown() override { platform::locale_select("C"); }
};

TEST_F(WineLocale, SelectsWindowsNamesAndKeepsTheLocaleOnRefusal) {
    struct Case {
        std::string name;
        bool accepted;
        unsigned code_page;  // in force afterwards
    };
    const Case cases[] = {
        {"chinese-simplified", true, 936},
        {"klingon", false, 936},
        {"chs", true, 936},
        {"", false, 936},
        {"japanese", true, 932},
        {"chs\0xx"s, false, 932},
        {".936", true, 936},
        {"english", true, 1252},
        {"kor", true, 949},
        {"C", true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::locale_select(c.name), c.accepted) << c.name;
        EXPECT_EQ(___lc_codepage_func(), c.code_page) << c.name;
    }
}

TEST_F(WineLocale, LowerCasesSingleBytesAndLeavesDoubleByteCharacters) {
    struct Case {
        const char* locale;
        std::string text;
        std::string lowered;
    };
    const Case cases[] = {
        // 0x81 0x41 is one character in code page 936: its trail 'A' stays.
        {"chs", "PATH\x81\x41Z", "path\x81\x41z"},
        {"chs", "A\x81", "a\x81"},  // a lead byte cut off at the end stays too
        {"chs", "\x81\x41\x81\x41", "\x81\x41\x81\x41"},
        {"japanese", "\x83\x41X", "\x83\x41x"},
        {"english", "PATH\x81\x41Z", "path\x81\x61z"},
        {"english", "\xC0\xC9", "\xE0\xE9"},
        {"C", "\xC0Z", "\xC0z"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::locale_select(c.locale));
        EXPECT_EQ(platform::locale_lower(c.text), c.lowered) << c.locale << " " << c.text;
    }
}

TEST_F(WineLocale, ComparesWithoutCaseCharacterByCharacter) {
    struct Case {
        const char* locale;
        std::string a;
        std::string b;
        int sign;
    };
    const Case cases[] = {
        {"chs", "C:\\Tools\\BIN", "c:\\tools\\bin", 0},
        {"chs", "\x81\x41", "\x81\x61", -1},  // two different characters
        {"english", "\x81\x41", "\x81\x61", 0},
        {"english", "\xC0", "\xE0", 0},
        {"chs", "apple", "BANANA", -1},
        {"chs", "bin", "bi", 1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::locale_select(c.locale));
        const int result = platform::locale_compare_nocase(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.locale << " " << c.a << " " << c.b;
    }
}

TEST_F(WineLocale, WideToMultibyteFailsOnUnitsTheCodePageLacks) {
    struct Case {
        const char* locale;
        std::u16string text;
        bool converts;
        std::string bytes;
    };
    const Case cases[] = {
        {"chs", u"\u4E2D\u6587", true, "\xD6\xD0\xCE\xC4"},
        {"chs", u"C:\\Apps\t~\x7F", true, "C:\\Apps\t~\x7F"},
        {"chs", u"C:\\\u4E2D", true, "C:\\\xD6\xD0"},
        {".037", u"A~", true, "\xC1\xA1"},  // EBCDIC
        {"chs", u"\u00E9", true, "\xA8\xA6"},
        {"chs", u"a\u0E01", false, ""},  // Thai
        {"chs", u"\u00C0", false, ""},   // would be a best-fit 'A'
        {"chs", u"\xD800", false, ""},   // lone surrogate
        {"english", u"\u20AC\u00E9", true, "\x80\xE9"},
        {"english", u"\u0100", false, ""},  // would be a best-fit 'A'
        {"english", u"\u4E2D", false, ""},
        {"english", std::u16string(u"a\0b", 3), true, "a\0b"s},
        {"C", u"\u00E9\u00FF", true, "\xE9\xFF"},
        {"C", u"\u20AC", false, ""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::locale_select(c.locale));
        std::string out = "kept:";
        EXPECT_EQ(platform::wide_to_multibyte(c.text, out), c.converts) << c.locale;
        if (c.converts) {
            EXPECT_EQ(out, "kept:" + c.bytes) << c.locale;
        }
    }
}

}  // namespace
