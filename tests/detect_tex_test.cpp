#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "detect/tex_tools.h"
#include "detect_fixture.h"

namespace {

using detect_test::EnvRestorer;
using detect_test::expand;
using detect_test::Root;
using detect_test::ScratchKey;
using qh_test::run_cli;

// Both registrations, each deleted again by the test.
struct TexKeys {
    ScratchKey user;
    ScratchKey machine;
    bool machine_has_its_own() const { return user.existed_before() || machine.existed_before(); }
};

// A value of a key under one root; "" makes the key without the value.
void add_setting(const ScratchKey& key, std::string_view relative, std::string_view name,
                 const std::optional<std::string>& value) {
    if (!value) return;
    if (value->empty()) {
        key.create(relative);
    } else {
        key.set(relative, name, *value);
    }
}

TEST(WinEdtDetection, CurrentUserFirstThenTheMachine) {
    struct Case {
        std::optional<std::string> user, machine;
        std::string report;
    };
    const Case cases[] = {
        {"C:\\User\\WinEdt", "C:\\Machine\\WinEdt", "C:\\User\\WinEdt"},
        {"", "C:\\Machine\\WinEdt", "C:\\Machine\\WinEdt"},
        {std::nullopt, "C:\\Machine\\WinEdt", "C:\\Machine\\WinEdt"},
        {"C:\\User\\WinEdt", std::nullopt, "C:\\User\\WinEdt"},
        {"", "", ""},
        {std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        TexKeys keys{{Root::current_user, "Software\\WinEdt"},
                     {Root::local_machine, "SOFTWARE\\WinEdt"}};
        if (keys.machine_has_its_own()) GTEST_SKIP() << "the machine has its own WinEdt";
        add_setting(keys.user, "", "Install Root", c.user);
        add_setting(keys.machine, "", "Install Root", c.machine);

        std::string directory;
        EXPECT_EQ(qh::detect_winedt(directory), c.report.empty() ? 1 : 0);
        const qh_test::CliRun run = run_cli({"-WinEdt"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, c.report);
    }
}

enum class MdIni { absent, writable, read_only };

struct MiktexCase {
    const char* label = "";
    // Registry settings; "{T}" stands for a fresh tree on drive C:.
    std::optional<std::string> user_install{}, machine_install{}, user_local{}, machine_local{};
    bool tex_exe = false;  // {T}\miktex\bin\tex.exe exists
    MdIni md_ini = MdIni::absent;
    std::optional<std::string> md_localroot{};
    // What the stand-in findtexmf prints for tex.exe and psfonts_t1.map.
    std::string find_tex{}, find_psfonts{};
    std::string report{};
};

const std::string kNone = "No MiKTeX installation is detected!\n";
const std::string kLong(300, 'x');

const MiktexCase kMiktexCases[] = {
    {.label = "registered tree with tex.exe: no program is run",
     .user_install = "{T}",
     .user_local = "C:\\localtexmf",
     .tex_exe = true,
     .find_tex = "D:\\wrong\\miktex\\bin\\tex.exe",
     .find_psfonts = "D:\\wrong\\dvips\\config\\psfonts_t1.map",
     .report = "Normal MiKTeX installation:\nTeXMF={T}\nLocalTeXMF=C:\\localtexmf\n"},
    {.label = "the user's settings before the machine's",
     .user_install = "{T}",
     .machine_install = "C:\\machine",
     .user_local = "C:\\userlocal",
     .machine_local = "C:\\machinelocal",
     .tex_exe = true,
     .report = "Normal MiKTeX installation:\nTeXMF={T}\nLocalTeXMF=C:\\userlocal\n"},
    {.label = "registered tree without tex.exe: findtexmf's answer replaces it",
     .user_install = "{T}",
     .machine_local = "C:\\localtexmf",
     .find_tex = "C:\\texmf\\miktex\\bin\\tex.exe",
     .report = "Normal MiKTeX installation:\nTeXMF=C:\\texmf\nLocalTeXMF=C:\\localtexmf\n"},
    {.label = "findtexmf's answer is normalised",
     .user_local = "C:\\localtexmf",
     .find_tex = "C:\\texmf\\doc\\..\\.\\miktex\\bin\\tex.exe",
     .report = "Normal MiKTeX installation:\nTeXMF=C:\\texmf\nLocalTeXMF=C:\\localtexmf\n"},
    {.label = "answer in other letter case lacks the marker",
     .user_local = "C:\\localtexmf",
     .find_tex = "C:\\TEXMF\\MIKTEX\\BIN\\TEX.EXE",
     .report = kNone},
    {.label = "only the first line of the answer counts",
     .user_local = "C:\\localtexmf",
     .find_tex = "C:\\first\nC:\\texmf\\miktex\\bin\\tex.exe",
     .report = kNone},
    {.label = "findtexmf prints nothing", .user_local = "C:\\localtexmf", .report = kNone},
    {.label = "read-only md.ini: DirectCD with its fixed local tree",
     .machine_install = "{T}",
     .user_local = "C:\\localtexmf",
     .tex_exe = true,
     .md_ini = MdIni::read_only,
     .report = "MiKTeX DirectCD:\nTeXMF={T}\nLocalTeXMF=C:\\MiKTeXDirect\n"},
    {.label = "DirectCD with MD_LOCALROOT",
     .machine_install = "{T}",
     .tex_exe = true,
     .md_ini = MdIni::read_only,
     .md_localroot = "D:\\local",
     .report = "MiKTeX DirectCD:\nTeXMF={T}\nLocalTeXMF=D:\\local\n"},
    {.label = "long MD_LOCALROOT is taken whole",
     .machine_install = "{T}",
     .tex_exe = true,
     .md_ini = MdIni::read_only,
     .md_localroot = "D:\\" + kLong,
     .report = "MiKTeX DirectCD:\nTeXMF={T}\nLocalTeXMF=D:\\" + kLong + "\n"},
    {.label = "writable md.ini: normal installation",
     .user_install = "{T}",
     .user_local = "C:\\localtexmf",
     .tex_exe = true,
     .md_ini = MdIni::writable,
     .md_localroot = "D:\\local",
     .report = "Normal MiKTeX installation:\nTeXMF={T}\nLocalTeXMF=C:\\localtexmf\n"},
    {.label = "long Local Root is taken whole",
     .user_install = "{T}",
     .user_local = "C:\\" + kLong,
     .tex_exe = true,
     .report = "Normal MiKTeX installation:\nTeXMF={T}\nLocalTeXMF=C:\\" + kLong + "\n"},
    {.label = "local tree from findtexmf",
     .user_install = "{T}",
     .tex_exe = true,
     .find_psfonts = "C:\\localtexmf\\dvips\\config\\psfonts_t1.map",
     .report = "Normal MiKTeX installation:\nTeXMF={T}\nLocalTeXMF=C:\\localtexmf\n"},
    {.label = "local answer without the marker",
     .user_install = "{T}",
     .tex_exe = true,
     .find_psfonts = "C:\\localtexmf\\psfonts_t1.map",
     .report = kNone},
    {.label = "one tree as both, letter case aside",
     .user_local = "C:\\TEXMF",
     .find_tex = "C:\\texmf\\miktex\\bin\\tex.exe",
     .report = kNone},
};

// Gives the file back its write permission, so that the tree can go.
struct ReadOnlyFile {
    std::string path;
    ~ReadOnlyFile() {
        if (!path.empty()) qh_test::set_read_only(path, false);
    }
};

// A findtexmf that is not there adds nothing to standard error: only the
// tool's own reason is there.
TEST(MiktexDetection, MissingFindtexmfLeavesOnlyTheReason) {
    TexKeys keys{{Root::current_user, "SOFTWARE\\MiK"}, {Root::local_machine, "SOFTWARE\\MiK"}};
    TexKeys org{{Root::current_user, "SOFTWARE\\MiKTeX.org"},
                {Root::local_machine, "SOFTWARE\\MiKTeX.org"}};
    if (keys.machine_has_its_own() || org.machine_has_its_own())
        GTEST_SKIP() << "the machine has its own MiKTeX";
    const EnvRestorer path("PATH");
    path.set(qh_test::scratch_dir("detect_no_findtexmf"));
    const qh_test::ToolRun run = qh_test::run_tool({"-miktex"});
    EXPECT_EQ(run.output, qh_test::text_mode(kNone));
    EXPECT_TRUE(run.errors.starts_with("quillhaven: -miktex: no MiKTeX installation found"))
        << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
}

TEST(MiktexDetection, ReportsTheTreesFromRegistryFindtexmfAndMdIni) {
    const detect_test::FindtexmfStandIn findtexmf;
    const EnvRestorer md_localroot("MD_LOCALROOT");
    int index = 0;
    for (const MiktexCase& c : kMiktexCases) {
        SCOPED_TRACE(c.label);
        TexKeys keys{{Root::current_user, "SOFTWARE\\MiK"}, {Root::local_machine, "SOFTWARE\\MiK"}};
        if (keys.machine_has_its_own()) GTEST_SKIP() << "the machine has its own MiKTeX";
        const std::string tree =
            qh_test::scratch_dir("detect_miktex_" + std::to_string(index++)) + "\\texmf";
        const auto setting = [&tree](const std::optional<std::string>& value) {
            return value ? std::optional<std::string>(expand(*value, tree)) : std::nullopt;
        };
        const std::string key = "MiKTeX\\CurrentVersion\\MiKTeX";
        add_setting(keys.user, key, "Install Root", setting(c.user_install));
        add_setting(keys.machine, key, "Install Root", setting(c.machine_install));
        add_setting(keys.user, key, "Local Root", setting(c.user_local));
        add_setting(keys.machine, key, "Local Root", setting(c.machine_local));

        ASSERT_TRUE(qh_test::make_directory(tree + "\\miktex\\bin"));
        ASSERT_TRUE(qh_test::make_directory(tree + "\\miktex\\config"));
        if (c.tex_exe) {
            ASSERT_TRUE(qh_test::write_file(tree + "\\miktex\\bin\\tex.exe", "MZ"));
        }
        ReadOnlyFile md_ini;
        if (c.md_ini != MdIni::absent) {
            const std::string path = tree + "\\miktex\\config\\md.ini";
            ASSERT_TRUE(qh_test::write_file(path, "[MiKTeX]\n"));
            if (c.md_ini == MdIni::read_only) {
                ASSERT_TRUE(qh_test::set_read_only(path, true));
                md_ini.path = path;
            }
        }
        if (c.md_localroot) {
            md_localroot.set(*c.md_localroot);
        } else {
            md_localroot.unset();
        }
        findtexmf.answer_tex(c.find_tex);
        findtexmf.answer_psfonts(c.find_psfonts);

        const qh_test::CliRun run = run_cli({"-miktex"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, expand(c.report, tree));
    }
}

}  // namespace
