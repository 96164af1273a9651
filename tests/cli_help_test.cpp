// The fixed texts: line counts and the lines that are easy to get wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/help.h"

namespace {

std::vector<std::string> lines_of(int (*print)(const qh::Output&, int), int code) {
    std::string text;
    const auto collect = [&](std::string_view bytes) {
        text += bytes;
        return true;
    };
    EXPECT_EQ(print(collect, code), code);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "unterminated last line";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int examples(const qh::Output& out, int) { return qh::show_examples(out); }
int syntax_error(const qh::Output& out, int) { return qh::report_syntax_error(out); }

TEST(HelpTexts, BannerThenHelpLines) {
    const auto lines = lines_of(qh::show_help, 0);
    ASSERT_EQ(lines.size(), 3u + 49u);
    EXPECT_EQ(lines[0], "Quillhaven v 1.0 (8 April 2005), developed by Velmorin");
    EXPECT_EQ(lines[1], "Welcome to report bugs and comments via https://quillhaven.example.org/");
    EXPECT_EQ(lines[2], "Usage:\tQuillhaven [options]");
    EXPECT_EQ(lines[3], "Common Options/Switches:");
    EXPECT_EQ(lines[3 + 3], "\t-version\tDisplay the version number");
    EXPECT_EQ(lines[3 + 8], "\t-code-page");
    EXPECT_EQ(lines[3 + 11], "\t-no-refresh\tDONNOT refresh the system environment even changed");
    EXPECT_EQ(lines[3 + 12], "\t-fail-exit\tExit with code 2 when an operation fails");
    EXPECT_EQ(lines[3 + 14], "\t+path path\tadd a path to the environment variable %PATH%");
    EXPECT_EQ(lines[3 + 18], "\t=env  ENV value\tset the environment variable \"%ENV%=value\"");
    EXPECT_EQ(lines[3 + 32], "\t-regr key value\t\tread a value under the given key");
    EXPECT_EQ(lines[3 + 34],
              "\t+regt key [value] type data\tset/add a value of any type, as reg add /t /d");
    EXPECT_EQ(lines[3 + 37],
              "\t-rege key regfile_path\texport a key and all below it into a registry file");
    EXPECT_EQ(lines[3 + 44], "\t+javaw [ENV]\tadd javaw.exe into the environment variable %ENV%");
    EXPECT_EQ(lines[3 + 45],
              "\t-texlive\tdetect TeX Live's bin folder (+texlive: add it into PATH)");
    EXPECT_EQ(lines[3 + 47],
              "\t-dry-run\tshow what the operations after it would change, and change nothing");
    EXPECT_EQ(lines[3 + 48],
              "\t-backout\ttake back the newest run not yet taken back, by its journal");
    EXPECT_EQ(lines_of(qh::show_help, 7).size(), lines.size());
}

TEST(HelpTexts, BannerThenExampleLines) {
    const auto lines = lines_of(examples, 0);
    ASSERT_EQ(lines.size(), 3u + 36u);
    EXPECT_EQ(lines[3], "Some Examples:");
    EXPECT_EQ(lines[3 + 3],
              "Quillhaven -fail-exit +path C:\\tovrane\\bin & if errorlevel 2 echo Failed to add "
              "the path");
    EXPECT_EQ(lines[3 + 12],
              "Quillhaven =regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane "
              "https://quillhaven.example.org/");
    EXPECT_EQ(lines[3 + 13],
              "Quillhaven +regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane e-mail "
              "quillhaven@example.org");
    EXPECT_EQ(lines[3 + 17], "Quillhaven -regk HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\\test");
    EXPECT_EQ(lines[3 + 20],
              "Quillhaven -regr \"HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript\\8.50\" GS_DLL");
    EXPECT_EQ(lines[3 + 22],
              "Quillhaven +regt HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane Version REG_DWORD 0x10");
    EXPECT_EQ(lines[3 + 25],
              "Quillhaven -rege HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane C:\\tovrane\\backup.reg");
    EXPECT_EQ(lines[3 + 31], "Quillhaven +javaw javacommand");
    EXPECT_EQ(lines[3 + 33], "Quillhaven -user -end +texlive");
    EXPECT_EQ(lines[3 + 34], "Quillhaven -dry-run +regf C:\\tovrane\\Unicode.reg");
    EXPECT_EQ(lines[3 + 35], "Quillhaven -backout");
}

TEST(HelpTexts, SyntaxErrorIsMessageBannerAndHelp) {
    auto lines = lines_of(syntax_error, 1);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Syntax error occurs!");
    lines.erase(lines.begin());
    EXPECT_EQ(lines, lines_of(qh::show_help, 0));
}

}  // namespace
