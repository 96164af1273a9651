#include "regfile/regfile_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "regfile/utf8.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using qh::RegfileReader;

std::vector<std::string> all_lines(RegfileReader& reader) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.read_line(line)) lines.push_back(line);
    return lines;
}

// Conversions follow the process locale; each test picks its own.
class RegfileReaderTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(qh::platform::locale_select("english")); }
    void TearDown() override { qh::platform::locale_select("C"); }
};

TEST_F(RegfileReaderTest, LinesOfBothEncodings) {
    const std::string long_text(40000, 'x');
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"CR LF becomes LF", std::string("a\r\nb\n"), {"a\n", "b\n"}},
        {"lone CR stays", std::string("a\rb"), {"a\rb"}},
        {"0x1A ends the file", std::string("x\ny\x1az\n"), {"x\n", "y"}},
        {"0x1A first", std::string("\x1a[k]\n"), {}},
        {"empty file", std::string(), {}},
        {"one byte", std::string("["), {"["}},
        {"big-endian mark is text", std::string("\xfe\xff[k]\n"), {"\xfe\xff[k]\n"}},
        {"UTF-8 mark is text", std::string("\xef\xbb\xbf[k]"), {"\xef\xbb\xbf[k]"}},
        {"NUL ends the line's text", std::string("a\0b\nc\n", 6), {"a", "c\n"}},
        {"long ANSI line stays whole", long_text + "[k]\n", {long_text + "[k]\n"}},
        {"wide: CR stays, LF goes", qh_test::utf16le("a\r\nb"), {"a\r", "b"}},
        {"wide: odd last byte dropped", qh_test::utf16le("ab").substr(0, 5), {"a"}},
        {"wide: mark and one byte", std::string("\xff\xfe[", 3), {}},
        {"wide: 0x1A is a character",
         qh_test::utf16le("a\x1a"
                          "b\n"),
         {"a\x1a"
          "b"}},
        {"wide: zero unit ends text", qh_test::utf16le(std::string("a\0b\nc", 5)), {"a", "c"}},
        {"wide: long line stays whole", qh_test::utf16le(long_text + "[k]"), {long_text + "[k]"}},
    };
    for (const Case& c : cases) {
        RegfileReader reader(c.bytes);
        EXPECT_EQ(all_lines(reader), c.lines) << c.what;
        EXPECT_EQ(reader.stop(), RegfileReader::Stop::none) << c.what;
    }
}

// A UTF-16LE line arrives as UTF-8 whatever the code page lacks; a
// surrogate without its partner comes through on its own.
TEST_F(RegfileReaderTest, WideLinesArriveAsUtf8) {
    std::string bytes = qh_test::utf16le("ok\n");
    bytes += std::string("\x2d\x4e\x01\x0e\x3d\xd8\x00\xde\n\0", 10);  // U+4E2D U+0E01 U+1F600
    bytes += std::string("\x3d\xd8\n\0", 4);                           // a lone high surrogate
    RegfileReader reader(bytes);
    EXPECT_EQ(all_lines(reader),
              (std::vector<std::string>{"ok", "\xe4\xb8\xad\xe0\xb8\x81\xf0\x9f\x98\x80",
                                        "\xed\xa0\xbd"}));
    EXPECT_EQ(reader.stop(), RegfileReader::Stop::none);
    EXPECT_TRUE(reader.wide());
}

// The file is read in chunks: a CR LF split between two of them is still one
// line end.
TEST_F(RegfileReaderTest, LineEndAcrossReadChunks) {
    const std::string dir = qh_test::scratch_dir("regfile_reader_chunks");
    const std::string path = dir + "\\chunks.reg";
    const std::string first(64 * 1024 - 1, 'x');
    ASSERT_TRUE(qh_test::write_file(path, first + "\r\n[k]\r\n"));
    std::FILE* file = qh::platform::file_open(path, "rb");
    ASSERT_NE(file, nullptr);
    RegfileReader reader(file);
    EXPECT_EQ(all_lines(reader), (std::vector<std::string>{first + "\n", "[k]\n"}));
    std::fclose(file);
}

TEST(RegfileQuoted, Texts) {
    struct Case {
        std::string line;
        std::size_t expect_pos;
        std::string expect_text;
    };
    const Case cases[] = {
        {R"("a\\b"=)", 6, R"(a\b)"}, {R"("a\"b")", 6, R"(a"b)"}, {R"("a\nb")", 6, "a\nb"},
        {R"("a\rb")", 6, "a\rb"},    {R"("a\tb")", 2, "a"},      {R"("abc)", 4, "abc"},
        {R"(""=x)", 2, ""},          {"\"a\\", 2, "a"},          {"\"abc\n", 4, "abc"},
        {"\"abc\r", 4, "abc"},       {"\"a\rb\r\n", 4, "a\rb"},  {"\"a\\\n", 2, "a"},
        {"\"\xb5\\\"", 4, "\xb5\""},  // a trail byte that reads as a
                                      // backslash counts as one
    };
    for (const Case& c : cases) {
        std::string text = "untouched";
        const auto pos = qh::regfile_read_quoted(c.line, 0, text);
        ASSERT_TRUE(pos.has_value()) << c.line;
        EXPECT_EQ(*pos, c.expect_pos) << c.line;
        EXPECT_EQ(text, c.expect_text) << c.line;
    }
    std::string text = "untouched";
    EXPECT_FALSE(qh::regfile_read_quoted("abc", 0, text).has_value());
    EXPECT_EQ(text, "untouched");
}

// The path ends at the line's last "]"; only a line ending in
// "]--uninstall" is marked.
TEST(RegfileKeyLine, PathAndMark) {
    struct Case {
        std::string line;
        std::optional<std::string> path;  // nothing: no key line
        bool marked;
    };
    const Case cases[] = {
        {"[HKEY_CURRENT_USER\\Software\\Vendor]Plugin]--uninstall\n",
         "HKEY_CURRENT_USER\\Software\\Vendor]Plugin", true},
        {"[HKEY_CURRENT_USER\\Software\\Vendor]Plugin]\n",
         "HKEY_CURRENT_USER\\Software\\Vendor]Plugin", false},
        {"[H\\QHB]x]\r", "H\\QHB]x", false},
        {"[H\\a]--uninstall", "H\\a", true},
        {"[H\\a]--uninstall \t\r\n", "H\\a", true},
        {"[H\\a] ; note\n", "H\\a", false},
        {"[H\\a]--uninstall ;note\n", "H\\a", false},
        {"[H\\a]--uninstall]\n", "H\\a]--uninstall", false},
        {"[H\\a]]--uninstall\n", "H\\a]", true},
        {"[]--uninstall\n", "", true},
        {"[H\\a--uninstall\n", std::nullopt, false},
        {"[H\\a\n", std::nullopt, false},
        {"\"v\"=\"]\"\n", std::nullopt, false},
    };
    for (const Case& c : cases) {
        const std::optional<qh::KeyLine> key_line = qh::regfile_parse_key_line(c.line);
        ASSERT_EQ(key_line.has_value(), c.path.has_value()) << c.line;
        if (!key_line) continue;
        EXPECT_EQ(key_line->path, *c.path) << c.line;
        EXPECT_EQ(key_line->marked, c.marked) << c.line;
    }
}

TEST(RegfileHex, Lists) {
    struct Case {
        std::string list;
        std::string more;  // the rest of the file
        int result;
        std::string bytes;
        std::string next_line;  // what the reader gives next
    };
    const Case cases[] = {
        {"01,02,ff\n", "", 0, "\x01\x02\xff", ""},
        {"0A,0b", "", 0, "\x0a\x0b", ""},
        {"01,02,\\\n", "  03,04\nnext\n", 0, "\x01\x02\x03\x04", "next\n"},
        {"01,02,\\\n", "\t03,04\n", 1, "", ""},
        {"01,\\\n", "", 2, "", ""},
        {"01 02 03\n", "", 0, "\x01\x02\x03", ""},
        {"01,,02\n", "", 1, "", ""},
        {"01,02, \\\n", "03\n", 0, "\x01\x02", "03\n"},
        {"", "", 0, "", ""},
        {"\n", "", 1, "", ""},
        {"01,\\\n", "  \\\n  02\n", 1, "", "  02\n"},
        {"01,\\\n", std::string(qh::kMaxRegfileText + 1, ' ') + "02\n", 2, "", ""},
    };
    for (const Case& c : cases) {
        RegfileReader reader(c.more);
        std::string bytes;
        const int result = qh::regfile_parse_hex(c.list, reader, bytes);
        EXPECT_EQ(result, c.result) << c.list;
        if (result == 0) {
            EXPECT_EQ(bytes, c.bytes) << c.list;
        }
        std::string next;
        reader.read_line(next);
        EXPECT_EQ(next, c.next_line) << c.list;
    }
}

TEST(RegfileHex, LargeListIsDecodedWhole) {
    // 50,000 bytes in lines of 25 pairs, as the registry editor wraps them.
    std::vector<std::string> lines;
    std::string expect;
    std::string line;
    for (int i = 0; i < 50000; ++i) {
        static const char* digits = "0123456789abcdef";
        line += {digits[(i >> 4) & 15], digits[i & 15], ','};
        expect.push_back(static_cast<char>(i & 0xff));
        if (i % 25 == 24) {
            lines.push_back(line + "\\\n");
            line = "  ";
        }
    }
    lines.back().replace(lines.back().size() - 3, 3, "\n");
    std::string more;
    for (std::size_t i = 1; i < lines.size(); ++i) more += lines[i];
    RegfileReader reader(more);
    std::string bytes;
    ASSERT_EQ(qh::regfile_parse_hex(lines[0], reader, bytes), 0);
    EXPECT_EQ(bytes, expect);
}

TEST(RegfileDword, Numbers) {
    struct Case {
        std::string data;
        std::optional<std::uint32_t> number;
    };
    const Case cases[] = {
        {"dword:00000010", 16},
        {"dword:0000abCD\n", 0xabcd},
        {"dword: \tfFfFfFfF\r\n", 0xffffffff},
        {"dword:1 --uninstall", 1},
        {"dword:1--uninstall\n", 1},
        {"dword:zz", std::nullopt},
        {"dword:", std::nullopt},
        {"DWORD:1", std::nullopt},
        {"dword:-1", std::nullopt},
        // Never a number cut short, nor one followed by anything else.
        {"dword:123456789", std::nullopt},
        {"dword:000000001", std::nullopt},
        {"dword:0x10", std::nullopt},
        // A ';' starts a comment there, as in the editor's files; a '#' does not.
        {"dword:00000004 ;note", 4},
        {"dword:00000004;note\r\n", 4},
        {"dword:4\t; --uninstall", 4},
        {"dword:4 --uninstall ;note", 4},
        {"dword:00000004 #note", std::nullopt},
        {"dword:00000004#note", std::nullopt},
        {"dword:1 --uninstall x", std::nullopt},
        {"dword:1 --uninstall --uninstall", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(qh::regfile_parse_dword(c.data), c.number) << c.data;
}

TEST(RegfileHex, TypedPrefixAndEmptyLists) {
    struct Case {
        std::string data;
        std::optional<std::uint32_t> type;
        std::size_t list_pos;
    };
    const Case cases[] = {
        {"hex(0):00", 0, 7},
        {"hex(b):01,02", 0xb, 7},
        {"hex(B):01", 0xb, 7},
        {"hex(02):41", 2, 8},
        {"hex(ffff0011):aa", 0xffff0011, 14},
        {"hex(100000000):aa", std::nullopt, 0},
        {"hex():00", std::nullopt, 0},
        {"hex(g):00", std::nullopt, 0},
        {"hex(4)00", std::nullopt, 0},
        {"hex:00", std::nullopt, 0},
        {" hex(4):00", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const auto parsed = qh::regfile_parse_hex_type(c.data);
        ASSERT_EQ(parsed.has_value(), c.type.has_value()) << c.data;
        if (parsed) {
            EXPECT_EQ(parsed->type, *c.type) << c.data;
            EXPECT_EQ(parsed->list_pos, c.list_pos) << c.data;
        }
    }

    for (const char* empty : {"", "\n", "\r", " \t\r\n", "--uninstall\n", " --uninstall "}) {
        EXPECT_TRUE(qh::regfile_hex_list_empty(empty)) << empty;
    }
    for (const char* pairs : {"00", " 01\n", "--uninstall 01", "\\\n", "-\n"}) {
        EXPECT_FALSE(qh::regfile_hex_list_empty(pairs)) << pairs;
    }
}

// Beyond the limit a line, or a list, ends reading instead of growing.
TEST(RegfileLimits, LongLinesAndListsStop) {
    const std::size_t limit = qh::kMaxRegfileText;
    {
        RegfileReader at_limit(std::string(limit, 'x') + "\nnext\n");
        EXPECT_EQ(all_lines(at_limit).size(), 2u);
        EXPECT_EQ(at_limit.stop(), RegfileReader::Stop::none);
    }
    for (const bool wide : {false, true}) {
        std::string bytes = wide ? qh_test::utf16le("first\n") : "first\n";
        bytes.append(limit + 2, 'a');  // as UTF-16LE: units of two letters
        bytes += wide ? std::string("\n\0", 2) : "\n";
        RegfileReader reader(std::move(bytes));
        EXPECT_EQ(all_lines(reader), std::vector<std::string>{wide ? "first" : "first\n"});
        EXPECT_EQ(reader.stop(), RegfileReader::Stop::too_long) << wide;
        EXPECT_EQ(reader.lines_read(), 1u);
    }

    // One pair too many, in lines of 4096 pairs.
    const std::size_t pairs_per_line = 4096;
    const std::string full_line = [&] {
        std::string line;
        for (std::size_t i = 0; i < pairs_per_line; ++i) line += "ab,";
        return line + "\\\n";
    }();
    std::string more;
    more.reserve((limit / pairs_per_line + 1) * full_line.size());
    for (std::size_t i = 1; i < limit / pairs_per_line; ++i) more += full_line;
    more += "  ab,cd\n";
    std::string bytes;
    RegfileReader reader(std::move(more));
    EXPECT_EQ(qh::regfile_parse_hex(full_line, reader, bytes), 3);
}

// UTF-16 through UTF-8 and back comes back unit for unit, paired
// surrogates or not.
TEST(RegfileUtf8, RoundTrip) {
    const std::u16string texts[] = {
        u"",       u"plain",   u"\u00e9\u4e2d\u0e01", u"\U0001F600",
        u"\xd83d", u"\xde00x", u"\xde00\xd83d",       u"\u07ff\u0800\uffff",
    };
    for (const std::u16string& text : texts) {
        std::string utf8;
        qh::utf8_append(text, utf8);
        EXPECT_EQ(qh::utf8_to_utf16(utf8), text) << testing::PrintToString(utf8);
    }
    std::string utf8;
    qh::utf8_append(u"\u00e9\U0001F600", utf8);
    EXPECT_EQ(utf8, "\xc3\xa9\xf0\x9f\x98\x80");
    // Bytes that start no sequence stand for themselves.
    EXPECT_EQ(qh::utf8_to_utf16("a\xff\xc3"), u"a\u00ff\u00c3");
}

}  // namespace
