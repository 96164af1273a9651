// Which operation an option names and which following arguments it takes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "platform/platform.h"

namespace {

using qh::Action;

struct Expected {
    Action action;
    std::size_t operands = 0;
    std::string key = {};  // KEY, or FILE for +regf and -regf
    std::string name = {};
    std::optional<std::string> value_name = std::nullopt;
    std::string text = {};
    std::string type = {};  // TYPE of +regt
    std::string file = {};  // FILE of -rege
};

struct Case {
    std::vector<std::string> args;  // the option, then what follows it
    Expected expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    for (const std::string& arg : c.args) *os << '[' << arg << ']';
}

class Recognition : public testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { qh::platform::locale_select("chinese-simplified"); }
};

TEST_P(Recognition, PicksOperationAndOperands) {
    const Case& c = GetParam();
    const std::span<const std::string> all(c.args);
    const qh::Command got = qh::recognise(all[0], all.subspan(1));
    const Expected& want = c.expected;
    EXPECT_EQ(got.action, want.action);
    EXPECT_EQ(got.operand_count, want.operands);
    const bool takes_file =
        want.action == Action::regfile_apply || want.action == Action::regfile_remove;
    EXPECT_EQ(takes_file ? got.file : got.key, want.key);
    EXPECT_EQ(takes_file ? got.key : got.file, takes_file ? "" : want.file);
    EXPECT_EQ(got.type, want.type);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.value_name.value_or("<absent>"), want.value_name.value_or("<absent>"));
    EXPECT_EQ(got.text, want.text);
}

const Expected kSyntax{Action::syntax_error};

INSTANTIATE_TEST_SUITE_P(
    TextsSwitchesAndLocale, Recognition,
    testing::Values(
        Case{{"-help"}, {Action::help}}, Case{{"-h"}, {Action::help}},
        Case{{"+hello", "x"}, {Action::help}}, Case{{"-H"}, {Action::help}},
        Case{{"-examples"}, {Action::examples}}, Case{{"-exam"}, {Action::examples}},
        Case{{"-ex12"}, {Action::examples}}, Case{{"-x"}, {Action::bare_output}},
        Case{{"=xyz"}, {Action::bare_output}}, Case{{"-version"}, {Action::version}},
        Case{{"+VERS", "x"}, {Action::version}}, Case{{"=v12"}, {Action::version}},
        Case{{"-ver"}, {Action::version}}, Case{{"-ve"}, kSyntax}, Case{{"-v"}, kSyntax},
        Case{{"-language", "chs"}, {Action::select_locale, 1, "", "chs"}},
        Case{{"-code-page", ".936", "more"}, {Action::select_locale, 1, "", ".936"}},
        Case{{"-c", "chs"}, {Action::select_locale, 1, "", "chs"}}, Case{{"-l"}, kSyntax},
        Case{{"-language"}, kSyntax}, Case{{"-sys"}, {Action::scope_system}},
        Case{{"+SYS"}, {Action::scope_system}}, Case{{"-user"}, {Action::scope_user}},
        Case{{"-USER"}, {Action::scope_user}}, Case{{"=uxyz"}, {Action::scope_user}},
        Case{{"-sta"}, {Action::position_start}}, Case{{"-start"}, {Action::position_start}},
        Case{{"-end"}, {Action::position_end}}, Case{{"+ENDING"}, {Action::position_end}},
        Case{{"-refresh"}, {Action::refresh}}, Case{{"-REFRESH"}, {Action::refresh}},
        Case{{"-no-refresh"}, {Action::no_refresh}}, Case{{"+nope"}, {Action::no_refresh}},
        // No operand: what follows is the next option.
        Case{{"-fail-exit", "x"}, {Action::fail_exit}}, Case{{"=FAIL"}, {Action::fail_exit}},
        Case{{"-backout", "x"}, {Action::backout}}, Case{{"+BACK"}, {Action::backout}},
        Case{{"-ba"}, kSyntax}, Case{{"-dry-run", "x"}, {Action::dry_run}},
        Case{{"=DRYX"}, {Action::dry_run}}, Case{{"-fai"}, {Action::fail_exit}},
        Case{{"-fa"}, kSyntax}, Case{{"-f"}, kSyntax}));

INSTANTIATE_TEST_SUITE_P(
    Environment, Recognition,
    testing::Values(
        Case{{"+env", "Include", "C:\\Dir", "x"},
             {Action::env_add_path, 2, "", "Include", std::nullopt, "C:\\Dir"}},
        Case{{"-env", "NAME", "DIR"},
             {Action::env_remove_path, 2, "", "NAME", std::nullopt, "DIR"}},
        // Operands are counted, never looked at.
        Case{{"-env", "NAME", "-user"},
             {Action::env_remove_path, 2, "", "NAME", std::nullopt, "-user"}},
        Case{{"=env", "localtexmf", "C:\\MiKTeXDirect"},
             {Action::env_write, 2, "", "localtexmf", std::nullopt, "C:\\MiKTeXDirect"}},
        Case{{"-env", "NAME"}, {Action::env_delete, 1, "", "NAME"}},
        Case{{"+env", "NAME"}, kSyntax}, Case{{"=env", "NAME"}, kSyntax}, Case{{"-env"}, kSyntax},
        Case{{"*env", "a", "b"}, kSyntax},
        Case{{"+path", "C:\\a", "-user"}, {Action::path_add, 1, "", "", std::nullopt, "C:\\a"}},
        Case{{"-PATH", "a;b"}, {Action::path_remove, 1, "", "", std::nullopt, "a;b"}},
        Case{{"=path", "a"}, kSyntax}, Case{{"+path"}, kSyntax},
        Case{{"-audit", "Path", "x"}, {Action::env_audit, 1, "", "Path"}},
        Case{{"=AUD", "-user"}, {Action::env_audit, 1, "", "-user"}}, Case{{"-audit"}, kSyntax},
        Case{{"-au", "Path"}, kSyntax},
        Case{{"-tidy", "Path", "x"}, {Action::env_tidy, 1, "", "Path"}},
        Case{{"+TIDY", "P"}, {Action::env_tidy, 1, "", "P"}}, Case{{"-tidy"}, kSyntax},
        Case{{"-ti", "Path"}, kSyntax}, Case{{"-tab", "Path"}, kSyntax}));

INSTANTIATE_TEST_SUITE_P(
    Registry, Recognition,
    testing::Values(
        Case{{"-read-reg", "K", "V", "x"}, {Action::reg_read, 2, "K", "", "V"}},
        Case{{"-READ-REG", "K", "V"}, {Action::reg_read, 2, "K", "", "V"}},
        Case{{"-read-reg", "K"}, kSyntax}, Case{{"+read-reg", "K", "V"}, kSyntax},
        Case{{"-regr", "K", "V"}, {Action::reg_read, 2, "K", "", "V"}},
        Case{{"-regr", "K"}, kSyntax}, Case{{"+regr", "K", "V"}, kSyntax},
        Case{{"=rxyr", "K", "V"}, kSyntax},
        Case{{"-regl", "K", "V", "x"}, {Action::reg_read_latest, 2, "K", "", "V"}},
        Case{{"+regl", "K", "V"}, {Action::reg_read_latest, 2, "K", "", "V"}},
        Case{{"-regl", "K"}, kSyntax},
        Case{{"+regv", "K", "D"}, {Action::reg_set_value, 2, "K", "", std::nullopt, "D"}},
        Case{{"=regv", "K", "N", "D"}, {Action::reg_set_value, 3, "K", "", "N", "D"}},
        Case{{"+regv", "K", "DATA", "-no-refresh"},
             {Action::reg_set_value, 3, "K", "", "DATA", "-no-refresh"}},
        Case{{"+regv", "K"}, kSyntax}, Case{{"*regv", "K", "D"}, kSyntax},
        Case{{"-regv", "K"}, {Action::reg_delete_value, 1, "K"}},
        Case{{"-regv", "K", "N", "x"}, {Action::reg_delete_value, 2, "K", "", "N"}},
        Case{{"+regk", "K", "x"}, {Action::reg_create_key, 1, "K"}},
        Case{{"+rxyk", "K"}, {Action::reg_create_key, 1, "K"}},
        Case{{"-REGK", "K"}, {Action::reg_delete_key, 1, "K"}}, Case{{"=regk", "K"}, kSyntax},
        Case{{"-regk"}, kSyntax}, Case{{"+regf", "F"}, {Action::regfile_apply, 1, "F"}},
        Case{{"-regf", "F"}, {Action::regfile_remove, 1, "F"}}, Case{{"=regf", "F"}, kSyntax},
        Case{{"+regp", "K", "D"}, {Action::regp_add, 2, "K", "", std::nullopt, "D"}},
        Case{{"+regp", "K", "N", "D", "x"}, {Action::regp_add, 3, "K", "", "N", "D"}},
        Case{{"-regp", "K", "D"}, {Action::regp_remove, 2, "K", "", std::nullopt, "D"}},
        Case{{"-regp", "K", "N", "D"}, {Action::regp_remove, 3, "K", "", "N", "D"}},
        Case{{"+regp", "K"}, kSyntax}, Case{{"=regp", "K", "D"}, kSyntax},
        // Typed values: R >= 4 takes a value name, R = 3 sets the default value.
        Case{{"+regt", "K", "N", "REG_DWORD", "1", "x"},
             {Action::reg_set_typed_value, 4, "K", "", "N", "1", "REG_DWORD"}},
        Case{{"=RXYT", "K", "REG_SZ", "-user"},
             {Action::reg_set_typed_value, 3, "K", "", std::nullopt, "-user", "REG_SZ"}},
        Case{{"+regt", "K", "REG_SZ"}, kSyntax}, Case{{"-regt", "K", "T", "D"}, kSyntax},
        Case{{"-regq", "K", "x"}, {Action::reg_query, 1, "K"}},
        Case{{"=REGQ", "K"}, {Action::reg_query_tree, 1, "K"}}, Case{{"+regq", "K"}, kSyntax},
        Case{{"-regq"}, kSyntax},
        Case{{"-rege", "K", "F", "x"}, {Action::reg_export, 2, "K", "", {}, "", "", "F"}},
        Case{{"-rege", "K"}, kSyntax}, Case{{"+rege", "K", "F"}, kSyntax},
        Case{{"=rege", "K", "F"}, kSyntax}, Case{{"-regz", "K", "V"}, kSyntax},
        Case{{"-regedit", "K"}, kSyntax}, Case{{"-readreg", "K", "V"}, kSyntax},
        Case{{"+refresh"}, kSyntax}, Case{{"-reg", "K"}, kSyntax}));

INSTANTIATE_TEST_SUITE_P(
    DetectionsAndErrors, Recognition,
    testing::Values(
        Case{{"-javaw", "x"}, {Action::java_detect}},
        Case{{"+javaw"}, {Action::java_set_command, 0, "", "javacommand"}},
        Case{{"+javaw", "JAVACMD", "-user"}, {Action::java_set_command, 1, "", "JAVACMD"}},
        Case{{"-gswin32c"}, {Action::gs_detect}}, Case{{"=gswin32c"}, {Action::gs_detect}},
        Case{{"+gswin32c", "x"}, {Action::gs_add_to_path}},
        Case{{"-miktex"}, {Action::miktex_detect}}, Case{{"-MiKTeX"}, {Action::miktex_detect}},
        Case{{"-WinEdt"}, {Action::winedt_detect}},
        Case{{"-texlive", "x"}, {Action::texlive_detect}}, Case{{"=TEX"}, {Action::texlive_detect}},
        Case{{"+TeXLive", "x"}, {Action::texlive_add_to_path}},
        // Only t then e is TeX Live; the rest of t stays free.
        Case{{"-tidy"}, kSyntax}, Case{{"-te"}, kSyntax}, Case{{"+t123"}, kSyntax},
        Case{{"-st"}, kSyntax}, Case{{"-sa12"}, kSyntax}, Case{{"-q123"}, kSyntax},
        Case{{""}, kSyntax}, Case{{"-"}, kSyntax}, Case{{"-us"}, kSyntax}, Case{{"user"}, kSyntax},
        Case{{"-1234"}, kSyntax}));

}  // namespace
