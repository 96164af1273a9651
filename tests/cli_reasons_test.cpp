// The reason on standard error after each kind of failure, with standard
// output exactly as without it, and the exit code that -fail-exit gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/report.h"
#include "detect_fixture.h"
#include "platform/platform.h"
#include "quillhaven_version.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using qh::platform::kRegDword;
using qh::platform::kRegMultiSz;
using qh::platform::kRegSz;
using qh_test::run_cli;

using Args = std::vector<std::string>;

const std::string kOk(qh_test::kSucceeded);
const std::string kFail(qh_test::kFailed);

// Every failure class leaves the same one line of standard output.
struct Case {
    Args args;
    std::string reason;  // after "quillhaven: <args>: "
};

void PrintTo(const Case& c, std::ostream* os) {
    for (const std::string& arg : c.args) *os << '[' << arg << ']';
}

Args join(std::initializer_list<Args> parts) {
    Args all;
    for (const Args& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string stderr_line(const Args& args, const std::string& reason) {
    std::string line = "quillhaven:";
    for (const std::string& arg : args) line += " " + arg;
    return line + ": " + reason + "\n";
}

constexpr std::string_view kSubkey = "Software\\QuillhavenTest\\reasons";
const std::string kKey = "HKEY_CURRENT_USER\\" + std::string(kSubkey);
const std::string kUserEnv = "HKEY_CURRENT_USER\\Environment";

// A key with values of each kind that the cases edit, a directory and a
// directory that does not exist, and three user variables.
class Reasons : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = qh_test::scratch_dir("reasons");
        ASSERT_FALSE(dir_.empty());
        missing_ = dir_ + "\\missing";
        qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey);
        const qh::Key root = qh_test::hkcu();
        const std::string k(kSubkey);
        qh_test::put_raw(root, k, "multi", kRegMultiSz, "a\0b\0\0"s);
        qh_test::put_raw(root, k, "dword", kRegDword, "\x01\0\0\0"s);
        qh_test::put_text(root, k, "list", kRegSz, dir_);
        qh_test::put_text(root, k, "long", kRegSz, std::string(32760, 'a'));
        qh_test::put_raw(root, k, "big", kRegSz, std::string(40000, 'b') + '\0');
        qh_test::put_text(root, k + "\\versions\\1.0", "other", kRegSz, "x");
        ASSERT_EQ(qh::platform::reg_create_key_ex(root, k + "\\empty", empty_), 0);
        qh::platform::reg_close_key(empty_);
        qh_test::put_text(root, std::string(qh_test::kUserEnvironment), "QH_REASONS", kRegSz, dir_);
        qh_test::put_raw(root, std::string(qh_test::kUserEnvironment), "QH_REASONS_MULTI",
                         kRegMultiSz, "a\0\0"s);
    }
    void TearDown() override { qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey); }

    // Runs the case: one failure line on standard output, the reason on
    // standard error, exit code 0.
    void expect_reason(const Case& c) {
        SCOPED_TRACE(testing::PrintToString(c));
        const qh_test::CliRun got = run_cli(c.args);
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, kFail);
        EXPECT_EQ(got.errors, stderr_line(c.args, c.reason));
    }

    std::string dir_;
    std::string missing_;
    qh::Key empty_;
    qh_test::ValueRestorer variable_{qh_test::hkcu(), std::string(qh_test::kUserEnvironment),
                                     "QH_REASONS"};
    qh_test::ValueRestorer multi_variable_{qh_test::hkcu(), std::string(qh_test::kUserEnvironment),
                                           "QH_REASONS_MULTI"};
};

TEST_F(Reasons, RegistryCommandsAndReads) {
    const std::string root_reason =
        "HKLM is not a registry root; name one in full, such as HKEY_LOCAL_MACHINE";
    const Case cases[] = {
        {{"+regv", "HKLM\\x", "d"}, root_reason},
        {{"=regv", "HKLM\\x", "v", "d"}, root_reason},
        {{"-regv", "HKLM\\x"}, root_reason},
        {{"+regk", "HKLM\\x"}, root_reason},
        {{"-regk", "HKLM\\x"}, root_reason},
        {{"-read-reg", "HKLM\\x", "v"}, root_reason},
        {{"-regl", "HKLM\\x", "v"}, root_reason},
        {{"-read-reg", "HKEY_CURRENT_USER", "v"},
         "HKEY_CURRENT_USER is not a registry path: a root key, a backslash and a subkey make "
         "one"},
        // The root by its full name, whatever case it was typed in.
        {{"-read-reg", "hkey_current_user\\" + std::string(kSubkey) + "\\missing", "v"},
         kKey + "\\missing: the key does not exist"},
        {{"-regr", kKey, "absent"}, kKey + ": the value absent does not exist"},
        {{"-read-reg", kKey, "big"}, kKey + ": the value big is larger than 32767 bytes"},
        {{"-regv", kKey, "absent"}, kKey + ": the value absent does not exist"},
        {{"-regv", kKey + "\\missing"}, kKey + "\\missing: the key does not exist"},
        {{"-regv", kKey}, kKey + ": the default value does not exist"},
        {{"-regk", kKey + "\\missing"}, kKey + "\\missing: the key does not exist"},
        {{"-regk", "HKEY_CURRENT_USER\\"},
         "HKEY_CURRENT_USER\\ names a whole root key, which is never deleted"},
        {{"-regl", kKey + "\\empty", "v"}, kKey + "\\empty: the key has no subkey"},
        {{"-regl", kKey + "\\versions", "v"}, kKey + "\\versions\\1.0: the value v does not exist"},
        {{"-regl", kKey + "\\missing", "v"}, kKey + "\\missing: the key does not exist"},
    };
    for (const Case& c : cases) expect_reason(c);
}

TEST_F(Reasons, RegistryPathLists) {
    const std::string list = "the value list of " + kKey;
    const Case cases[] = {
        {{"+regp", "HKLM\\x", "d"},
         "HKLM is not a registry root; name one in full, such as HKEY_LOCAL_MACHINE"},
        {{"+regp", kKey, "list", missing_}, missing_ + " is not an existing directory"},
        {{"+regp", kKey, "list", dir_}, dir_ + " is already in " + list},
        {{"-regp", kKey, "list", missing_}, missing_ + " is not in " + list},
        {{"-regp", kKey, "list", dir_ + ";" + missing_}, missing_ + " is not in " + list},
        {{"-regp", kKey, "list", ";"}, "no directory is given"},
        {{"+regp", kKey, "multi", dir_},
         "the value multi of " + kKey +
             " is REG_MULTI_SZ; only REG_SZ and REG_EXPAND_SZ values hold path lists"},
        {{"-regp", kKey, "dword", dir_},
         "the value dword of " + kKey +
             " is REG_DWORD; only REG_SZ and REG_EXPAND_SZ values hold path lists"},
        {{"+regp", kKey, "absent", dir_}, kKey + ": the value absent does not exist"},
        {{"+regp", kKey, dir_}, kKey + ": the default value does not exist"},
        {{"+regp", kKey + "\\missing", "list", dir_}, kKey + "\\missing: the key does not exist"},
        {{"-end", "+regp", kKey, "long", dir_},
         "the path list would be longer than 32766 characters"},
    };
    for (Case c : cases) {
        // A switch before the option is no part of what the line names.
        const bool has_switch = c.args.front() == "-end";
        SCOPED_TRACE(testing::PrintToString(c));
        const qh_test::CliRun got = run_cli(c.args);
        if (has_switch) c.args.erase(c.args.begin());
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, kFail);
        EXPECT_EQ(got.errors, stderr_line(c.args, c.reason));
    }
}

TEST_F(Reasons, EnvironmentVariables) {
    const Case cases[] = {
        {{"+env", "QH_REASONS", missing_}, missing_ + " is not an existing directory"},
        {{"+env", "QH_REASONS", dir_}, dir_ + " is already in QH_REASONS"},
        {{"-env", "QH_REASONS", missing_}, missing_ + " is not in QH_REASONS"},
        {{"+env", "QH_REASONS_MULTI", dir_},
         "QH_REASONS_MULTI is REG_MULTI_SZ; only REG_SZ and REG_EXPAND_SZ values hold path lists"},
        {{"+env", "QH_REASONS_ABSENT", dir_},
         kUserEnv + ": the value QH_REASONS_ABSENT does not exist"},
        {{"-env", "QH_REASONS_ABSENT"}, kUserEnv + ": the value QH_REASONS_ABSENT does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const qh_test::CliRun got = run_cli(join({{"-user"}, c.args}));
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, kFail);
        EXPECT_EQ(got.errors, stderr_line(c.args, c.reason));
    }
    // The system Path is only read: neither edit gets as far as writing it.
    expect_reason({{"+path", missing_}, missing_ + " is not an existing directory"});
    expect_reason({{"-path", missing_}, missing_ + " is not in Path"});
    // Only a denied write is helped by -user.
    expect_reason({{"-env", "QH_REASONS_ABSENT"},
                   "HKEY_LOCAL_MACHINE\\" + std::string(qh_test::kSystemEnvironment) +
                       ": the value QH_REASONS_ABSENT does not exist"});
}

TEST_F(Reasons, RegistryFiles) {
    const Case cases[] = {
        {{"+regf", missing_ + ".reg"}, missing_ + ".reg does not exist"},
        {{"-regf", dir_}, dir_ + " is a directory, not a registry file"},
        {{"+regf", "Z:\\dev\\zero"}, "Z:\\dev\\zero cannot be opened as a file"},
    };
    for (const Case& c : cases) expect_reason(c);
}

// A detection that finds nothing prints what it always printed, and says
// where it looked. Skipped where the machine has the program installed.
TEST_F(Reasons, DetectionsThatFindNothing) {
    using detect_test::ScratchKey;
    using qh::platform::Root;
    const ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft\\Java Runtime Environment");
    const ScratchKey gnu(Root::local_machine, "SOFTWARE\\GNU Ghostscript");
    const ScratchKey gpl(Root::local_machine, "SOFTWARE\\GPL Ghostscript");
    const ScratchKey afpl(Root::local_machine, "SOFTWARE\\AFPL Ghostscript");
    const ScratchKey winedt_user(Root::current_user, "Software\\WinEdt");
    const ScratchKey winedt(Root::local_machine, "SOFTWARE\\WinEdt");
    for (const ScratchKey* key : {&java, &gnu, &gpl, &afpl, &winedt_user, &winedt}) {
        if (key->existed_before()) GTEST_SKIP() << "a detected program is installed";
    }
    struct Detection {
        Args args;
        std::string output;
        std::string reason;
    };
    // Each machine key in the native view, then in the 32-bit view.
    const auto both_views = [](std::initializer_list<std::string> keys) {
        std::string list;
        for (const std::string& key : keys) {
            const std::string machine = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + key;
            list += (list.empty() ? "" : ", ") + machine + ", " + machine + " (32-bit view)";
        }
        return list;
    };
    const std::string kNoJava =
        "no Java runtime found (looked in " +
        both_views({"JavaSoft\\Java Runtime Environment", "JavaSoft\\JRE", "JavaSoft\\JDK",
                    "JavaSoft\\Java Development Kit", "Eclipse Adoptium\\JRE",
                    "Eclipse Adoptium\\JDK", "Eclipse Foundation\\JRE", "Eclipse Foundation\\JDK",
                    "AdoptOpenJDK\\JRE", "AdoptOpenJDK\\JDK", "Microsoft\\JRE", "Microsoft\\JDK",
                    "Azul Systems\\Zulu"}) +
        ", HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Adoptium\\JRE, "
        "HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Adoptium\\JDK, "
        "HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Foundation\\JRE, "
        "HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Foundation\\JDK, "
        "HKEY_CURRENT_USER\\SOFTWARE\\AdoptOpenJDK\\JRE, "
        "HKEY_CURRENT_USER\\SOFTWARE\\AdoptOpenJDK\\JDK, "
        "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\JRE, HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\JDK, "
        "HKEY_CURRENT_USER\\SOFTWARE\\Azul Systems\\Zulu, " +
        both_views({"Semeru\\JRE", "Semeru\\JDK"}) +
        ", HKEY_CURRENT_USER\\SOFTWARE\\Semeru\\JRE, HKEY_CURRENT_USER\\SOFTWARE\\Semeru\\JDK, "
        "C:\\Program Files\\Amazon Corretto\\jdk*, C:\\Program Files\\Eclipse Adoptium\\*, "
        "C:\\Program Files\\Zulu\\*, C:\\Program Files\\BellSoft\\*, "
        "C:\\Program Files\\Microsoft\\jdk-*)";
    const std::string kUninstall =
        "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TeXLive<year>";
    const std::string kNoTexLive = "no TeX Live found (looked in HKEY_LOCAL_MACHINE" + kUninstall +
                                   ", HKEY_LOCAL_MACHINE" + kUninstall +
                                   " (32-bit view), HKEY_CURRENT_USER" + kUninstall +
                                   ", tex.exe along Path, C:\\texlive\\<year>)";
    const Detection detections[] = {
        {{"-javaw"}, "", kNoJava},
        {{"+javaw", "QH_REASONS_JAVA"}, "", kNoJava},
        {{"-gswin32c"},
         "",
         "no Ghostscript found (looked in HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript, "
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript, HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL "
         "Ghostscript, HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript (32-bit view), "
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript (32-bit view), "
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript (32-bit view), " +
             both_views({"Artifex Ghostscript"}) +
             ", C:\\Program Files\\gs\\gs<version>\\bin, C:\\Program Files "
             "(x86)\\gs\\gs<version>\\bin)"},
        {{"-texlive"}, "", kNoTexLive},
        {{"+texlive"}, kFail, kNoTexLive},
        {{"-WinEdt"},
         "",
         "no WinEdt found (looked in HKEY_CURRENT_USER\\Software\\WinEdt, " +
             both_views({"WinEdt"}) + ", HKEY_CURRENT_USER\\Software\\WinEdt <N>, " +
             both_views({"WinEdt <N>"}) + ")"},
    };
    for (const Detection& d : detections) {
        SCOPED_TRACE(d.args.front());
        qh_test::CliRun got = run_cli(d.args);
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, d.output);
        EXPECT_EQ(got.errors, stderr_line(d.args, d.reason));
        got = run_cli(join({{"-fail-exit"}, d.args}));
        EXPECT_EQ(got.exit_code, 2);
        EXPECT_EQ(got.output, d.output);
    }
}

// Failures before the switch do not count; from it on any failure makes the
// run end with 2, however it ends, except by a syntax error.
TEST_F(Reasons, FailExit) {
    const Args failing = {"-regk", "HKLM\\x"};
    const Args succeeding = {"+regk", kKey + "\\made"};
    const std::string reading = "\n[" + kKey + "]\nlist=" + dir_ + "\n";
    struct ExitCase {
        Args args;
        int exit_code;
        std::string output;
        int reasons;  // lines on standard error
    };
    const ExitCase cases[] = {
        {join({failing}), 0, kFail, 1},
        {join({{"-fail-exit"}, failing}), 2, kFail, 1},
        {join({{"+fail"}, succeeding}), 0, kOk, 0},
        {join({failing, {"-fail-exit"}}), 0, kFail, 1},
        {join({failing, {"-fail-exit"}, succeeding}), 0, kFail + kOk, 1},
        {join({{"-fail-exit"}, failing, succeeding}), 2, kFail + kOk, 1},
        {join({{"-fail-exit"}, {"-read-reg", kKey, "absent"}}), 2, kFail, 1},
        {join({{"-fail-exit"}, {"-regl", kKey + "\\empty", "v"}, {"-read-reg", kKey, "list"}}), 2,
         kFail + reading, 1},
        {join({{"-fail-exit"}, {"-read-reg", kKey, "list"}}), 0, reading, 0},
        {join({{"-fail-exit"}, failing, {"-version"}}), 2,
         kFail + "Quillhaven " + std::string(QH_RELEASE_VERSION) + "\n", 1},
        {join({{"-fail-exit"}, failing, {"-sta"}, failing}), 2, kFail + kFail, 2},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const qh_test::CliRun got = run_cli(c.args);
        EXPECT_EQ(got.exit_code, c.exit_code);
        EXPECT_EQ(got.output, c.output);
        EXPECT_EQ(std::count(got.errors.begin(), got.errors.end(), '\n'), c.reasons);
    }
    // The environment changed before a failure is still broadcast.
    if (const std::optional<int> before = qh_test::broadcast_count()) {
        const qh_test::CliRun got =
            run_cli(join({{"-fail-exit", "-user", "=env", "QH_REASONS", dir_}, failing}));
        EXPECT_EQ(got.exit_code, 2);
        EXPECT_EQ(qh_test::broadcast_count(), *before + 1);
    }
    // A syntax error still ends with 1.
    const qh_test::CliRun syntax = run_cli(join({{"-fail-exit"}, failing, {"-st"}}));
    EXPECT_EQ(syntax.exit_code, 1);
    EXPECT_TRUE(syntax.output.starts_with(kFail + "Syntax error occurs!\n"));
}

// Control characters in a reason are shown as escapes, so that a name can
// neither forge a line of its own nor reach the terminal as a command;
// standard output shows the registry's text as it is.
TEST_F(Reasons, ControlCharactersAreShownEscaped) {
    struct Escape {
        std::string text;
        std::string shown;
    };
    const Escape escapes[] = {
        {"a\nb", "a\\nb"},
        {"\r\t", "\\r\\t"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"\x01\x1f\x7f"s, "\\x01\\x1f\\x7f"},
        {"\0"s, "\\x00"},
        {"C:\\x \"y\" \xc3\xa9 \x80 ~", "C:\\x \"y\" \xc3\xa9 \x80 ~"},
    };
    for (const Escape& e : escapes) EXPECT_EQ(qh::escape_controls(e.text), e.shown) << e.text;

    const std::string forged = kKey + "\\a\nquillhaven: forged";
    const std::string shown = kKey + "\\a\\nquillhaven: forged";
    const qh_test::CliRun got = run_cli({"-read-reg", forged, "v\x1b[2J"});
    EXPECT_EQ(got.output, kFail);
    EXPECT_EQ(got.errors, "quillhaven: -read-reg " + shown + " v\\x1b[2J: " + shown +
                              ": the key does not exist\n");

    qh_test::put_text(qh_test::hkcu(), std::string(kSubkey), "lines", kRegSz, "one\ntwo\x1b");
    EXPECT_EQ(run_cli({"-read-reg", kKey, "lines"}).output,
              "\n[" + kKey + "]\nlines=one\ntwo\x1b\n");
}

}  // namespace

namespace {

// The tool as its own process: lines of both streams end as the system's do.
std::string as_written(std::string_view text) { return qh_test::text_mode(text); }

TEST(ReasonsProcess, StandardErrorCarriesTheReasonAndStandardOutputIsUnchanged) {
    const std::string key = kKey + "\\process";
    const qh_test::ToolRun got =
        qh_test::run_tool({"-fail-exit", "-regk", "HKLM\\x", "+regk", key, "-no-refresh"});
    qh::platform::reg_delete_tree(qh_test::hkcu(), std::string(kSubkey) + "\\process");
    EXPECT_EQ(got.exit_code, 2);
    EXPECT_EQ(got.output, as_written(kFail + kOk));
    EXPECT_EQ(
        got.errors,
        as_written("quillhaven: -regk HKLM\\x: HKLM is not a registry root; name one in full, "
                   "such as HKEY_LOCAL_MACHINE\n"));
}

// On the 9x family adding and removing edit the startup batch file, which
// only runs started afterwards see; the file is put back afterwards.
class ReasonsNinex : public testing::Test {
  protected:
    void SetUp() override {
        saved_batch_ = qh_test::read_file(kBatch);
        qh_test::remove_file(kBatch);
        qh_test::set_windows_family_9x(true);
    }
    void TearDown() override {
        qh_test::set_windows_family_9x(false);
        qh_test::unset_env("QH_REASONS_NINEX");
        if (saved_batch_) qh_test::write_file(kBatch, *saved_batch_);
    }
    static constexpr std::string_view kBatch = "C:\\AUTOEXEC.BAT";
    std::optional<std::string> saved_batch_;
};

TEST_F(ReasonsNinex, BatchFileEdits) {
    qh_test::set_env("QH_REASONS_NINEX", "C:\\q9");
    const Case cases[] = {
        {{"+env", "A=B", "C:\\q9"}, "A=B has a '=' in it"},
        {{"+env", "QH_REASONS_NINEX", "C:\\q9"}, "C:\\q9 is already in QH_REASONS_NINEX"},
        {{"-path", "C:\\q9"}, "C:\\AUTOEXEC.BAT cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const qh_test::ToolRun got = qh_test::run_tool(join({c.args, {"-no-refresh"}}));
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, as_written(kFail));
        EXPECT_EQ(got.errors, as_written(stderr_line(c.args, c.reason)));
    }
    // The line end typed in the operand is shown, not written.
    const qh_test::ToolRun broken =
        qh_test::run_tool({"-env", "QH_REASONS_NINEX", "C:\\q9\nset X=y", "-no-refresh"});
    EXPECT_EQ(broken.output, as_written(kFail));
    EXPECT_EQ(broken.errors,
              as_written("quillhaven: -env QH_REASONS_NINEX C:\\q9\\nset X=y: a line end or "
                         "end-of-file character would break the set line in C:\\AUTOEXEC.BAT\n"));
}

}  // namespace
