// The registry editor's export format, value by value, as Wine's regedit /e
// writes each of these (measured): the data forms, the escapes, and where a
// long hex list is wrapped for names of every length.
#include "regfile/regfile_export.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "regfile/utf8.h"

namespace {

using namespace std::string_literals;
namespace platform = qh::platform;

std::string value_line(std::u16string_view name, std::uint32_t type, std::string_view data) {
    std::u16string text;
    qh::regfile_append_value(text, name, type, data);
    std::string utf8;
    qh::utf8_append(text, utf8);
    return utf8;
}

TEST(RegfileExport, DataFormsAndEscapes) {
    struct Case {
        std::u16string name;
        std::uint32_t type;
        std::string data;
        std::string line;  // UTF-8, without its CR LF
    };
    const Case cases[] = {
        {u"s", platform::kRegSz, "a\0\"\0b\0\\\0c\0\0\0"s, R"("s"="a\"b\\c")"},
        {u"", platform::kRegSz, "d\0\0\0"s, R"(@="d")"},
        {u"empty", platform::kRegSz, "", R"("empty"="")"},
        {u"zero", platform::kRegSz, "a\0\0\0b\0\0\0"s, R"("zero"="a")"},  // up to the zero
        {u"crlf", platform::kRegSz, "a\0\r\0\n\0b\0\0\0"s, R"("crlf"="a\r\nb")"},
        {u"tab", platform::kRegSz, "a\0\t\0b\0\0\0"s, "\"tab\"=\"a\tb\""},  // no escape
        {u"q\"u\\o\nte", platform::kRegSz, "\0\0"s, R"("q\"u\\o\nte"="")"},
        {u"\u4e2d\U0001F600", platform::kRegSz, "\xe9\0\0\0"s, "\"中😀\"=\"é\""},
        {u"lone\xd83d", platform::kRegSz, "\x3d\xd8\0\0"s, "\"lone\xed\xa0\xbd\"=\"\xed\xa0\xbd\""},
        {u"d", platform::kRegDword, "\xcd\xab\0\0"s, "\"d\"=dword:0000abcd"},
        {u"d3", platform::kRegDword, "\1\2\3"s, "\"d3\"=hex(4):01,02,03"},
        {u"d0", platform::kRegDword, "", "\"d0\"=hex(4):"},
        {u"b", platform::kRegBinary, "", "\"b\"=hex:"},
        {u"b", platform::kRegBinary, "\x0a\xbc"s, "\"b\"=hex:0a,bc"},
        {u"n", platform::kRegNone, "", "\"n\"=hex(0):"},
        {u"e", platform::kRegExpandSz, "%\0\0\0"s, "\"e\"=hex(2):25,00,00,00"},
        {u"m", platform::kRegMultiSz, "\0\0"s, "\"m\"=hex(7):00,00"},
        {u"q", platform::kRegQword, "\xff\1\0\0\0\0\0\0"s, "\"q\"=hex(b):ff,01,00,00,00,00,00,00"},
        {u"x", 0xabcd, "\1\2"s, "\"x\"=hex(abcd):01,02"},
        {u"y", 0xABCDEF12, "\1"s, "\"y\"=hex(abcdef12):01"},
    };
    for (const Case& c : cases) {
        const std::string got = value_line(c.name, c.type, c.data);
        EXPECT_EQ(got, c.line + "\r\n");
    }
}

// The first line of a 60-byte list holds as many pairs as regedit puts
// there for that name; each full line after it holds 25.
TEST(RegfileExport, HexListsWrapWhereTheEditorWrapsThem) {
    struct Case {
        std::u16string name;
        std::uint32_t type;
        std::size_t first_line_pairs;
    };
    const Case cases[] = {
        {u"", platform::kRegBinary, 24},
        {u"a", platform::kRegBinary, 23},
        {u"abc", platform::kRegBinary, 23},
        {u"n004", platform::kRegBinary, 22},
        {u"n010xxxxxx", platform::kRegBinary, 20},
        {u"q\"\\", platform::kRegBinary, 22},
        {u"\u4e2d\u4e2d", platform::kRegBinary, 23},
        {u"e7", platform::kRegMultiSz, 22},
        {u"eabc", 0xabc, 21},
        {u"n060" + std::u16string(56, u'x'), platform::kRegBinary, 4},
        {u"n064" + std::u16string(60, u'x'), platform::kRegBinary, 2},
        {u"n070" + std::u16string(66, u'x'), platform::kRegBinary, 1},
        {u"n090" + std::u16string(86, u'x'), platform::kRegBinary, 1},
    };
    std::string data;
    for (int i = 0; i < 60; ++i) data.push_back(static_cast<char>(i));
    for (const Case& c : cases) {
        std::string text = value_line(c.name, c.type, data);
        std::vector<std::size_t> pairs;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\\\r\n  ", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            const std::size_t list = start == 0 ? line.find(':') + 1 : 0;
            pairs.push_back((line.size() - list + 1) / 3);
            start = end == text.size() ? end : end + 5;
        }
        ASSERT_GE(pairs.size(), 2u) << text;
        EXPECT_EQ(pairs.front(), c.first_line_pairs) << text;
        for (std::size_t i = 1; i + 1 < pairs.size(); ++i) EXPECT_EQ(pairs[i], 25u) << text;
        std::size_t total = 0;
        for (const std::size_t count : pairs) total += count;
        EXPECT_EQ(total, data.size()) << text;
    }
}

}  // namespace
