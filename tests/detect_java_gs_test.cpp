#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "detect/java_gs.h"
#include "detect_fixture.h"

namespace {

using detect_test::EnvRestorer;
using detect_test::Root;
using detect_test::ScratchKey;
using qh_test::kSystemEnvironment;
using qh_test::kUserEnvironment;
using qh_test::read_text;
using qh_test::read_value;
using qh_test::run_cli;
using qh_test::ValueRestorer;

constexpr const char* kJavaRuntime = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

std::optional<std::string> data_of(const std::optional<qh::RegValue>& value) {
    if (value) return value->data;
    return std::nullopt;
}

struct Version {
    std::string name;
    std::string value;
};

TEST(JavaDetection, ReportsTheHomeOfTheGreatestVersion) {
    ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft");
    if (java.existed_before()) GTEST_SKIP() << "the machine has its own Java";

    std::string home = "untouched";
    EXPECT_EQ(qh::java_detect(home), 1);
    EXPECT_EQ(home, "");
    EXPECT_EQ(run_cli({"-javaw", "-sys"}).output, "");

    for (const char* version : {"1.4", "1.5.0_02", "1.4.2_08"}) {
        java.set(std::string("Java Runtime Environment\\") + version, "JavaHome",
                 std::string("C:\\Java\\") + version);
    }
    const qh_test::CliRun run = run_cli({"-javaw", "-sys"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "C:\\Java\\1.5.0_02");
}

TEST(JavaCommand, WritesTheSystemVariableWhateverTheRunsScope) {
    ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft");
    if (java.existed_before()) GTEST_SKIP() << "the machine has its own Java";

    struct Case {
        std::string home;
        std::vector<std::string> args;
        std::string variable;
        std::string program;
    };
    const Case cases[] = {
        {"C:\\j2re1.4.2", {"+javaw"}, "javacommand", "C:\\j2re1.4.2\\bin\\javaw.exe"},
        {"C:\\j2re1.4.2\\",
         {"-user", "-end", "+javaw", "QhJavaCmd", "-user"},
         "QhJavaCmd",
         "C:\\j2re1.4.2\\bin\\javaw.exe"},
        // Longer than any fixed path buffer: written whole, never cut.
        {"C:\\" + std::string(300, 'j'),
         {"-user", "+javaw"},
         "javacommand",
         "C:\\" + std::string(300, 'j') + "\\bin\\javaw.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable + " " + c.home);
        ValueRestorer system(Root::local_machine, std::string(kSystemEnvironment), c.variable);
        ValueRestorer user(Root::current_user, std::string(kUserEnvironment), c.variable);
        java.set("Java Runtime Environment\\1.4.2", "JavaHome", c.home);

        const qh_test::CliRun run = run_cli(c.args);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(read_text(Root::local_machine, kSystemEnvironment, c.variable), c.program);
        EXPECT_EQ(data_of(read_value(Root::current_user, kUserEnvironment, c.variable)),
                  data_of(user.saved()));
    }
}

TEST(JavaCommand, WritesNothingWithoutJava) {
    ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft");
    if (java.existed_before()) GTEST_SKIP() << "the machine has its own Java";
    ValueRestorer system(Root::local_machine, std::string(kSystemEnvironment), "javacommand");
    java.create("Java Runtime Environment");  // the key without any version

    qh::EnvChanges changes;
    EXPECT_EQ(qh::java_set_command(changes, "javacommand"), 1);
    EXPECT_FALSE(changes.env_changed);
    EXPECT_EQ(data_of(read_value(Root::local_machine, kSystemEnvironment, "javacommand")),
              data_of(system.saved()));
}

// The three product keys, each deleted again by the test.
struct GhostscriptKeys {
    ScratchKey gnu{Root::local_machine, "SOFTWARE\\GNU Ghostscript"};
    ScratchKey gpl{Root::local_machine, "SOFTWARE\\GPL Ghostscript"};
    ScratchKey afpl{Root::local_machine, "SOFTWARE\\AFPL Ghostscript"};

    bool machine_has_its_own() const {
        return gnu.existed_before() || gpl.existed_before() || afpl.existed_before();
    }
};

// A version subkey; an empty library leaves GS_DLL out.
void add_version(const ScratchKey& product, const Version& version) {
    if (version.value.empty()) {
        product.create(version.name);
    } else {
        product.set(version.name, "GS_DLL", version.value);
    }
}

TEST(GhostscriptDetection, LatestVersionOverTheThreeKeysLaterKeyWinsATie) {
    struct Case {
        const char* label;
        std::vector<Version> gnu, gpl, afpl;
        int code;
        std::string report;
    };
    const Case cases[] = {
        {"nothing installed", {}, {}, {}, 1, ""},
        {"greatest of one key",
         {},
         {},
         {{"8.14", "C:\\gs\\gs8.14\\bin\\gsdll32.dll"},
          {"8.50", "C:\\gs\\gs8.50\\bin\\gsdll32.dll"}},
         0,
         "C:\\gs\\gs8.50\\bin"},
        {"greater version under a later key",
         {{"7.07", "C:\\gnu\\gsdll32.dll"}},
         {},
         {{"8.50", "C:\\afpl\\gsdll32.dll"}},
         0,
         "C:\\afpl"},
        {"later key lacks the greatest version",
         {},
         {{"8.54", "C:\\gpl\\gsdll32.dll"}},
         {{"8.50", "C:\\afpl\\gsdll32.dll"}},
         0,
         "C:\\gpl"},
        {"equal versions: the later key wins",
         {},
         {{"8.50", "C:\\gpl\\gsdll32.dll"}},
         {{"8.50", "C:\\afpl\\gsdll32.dll"}},
         0,
         "C:\\afpl"},
        {"greatest version without a library keeps the earlier one",
         {{"8.00", "C:\\gnu\\gsdll32.dll"}},
         {{"9.00", ""}},
         {},
         0,
         "C:\\gnu"},
        {"library in a root", {}, {}, {{"8.50", "C:\\gsdll32.dll"}}, 0, "C:"},
        {"library without a directory is shown uncut",
         {{"8.50", "gsdll32.dll"}},
         {},
         {},
         1,
         "gsdll32.dll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GhostscriptKeys keys;
        if (keys.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Ghostscript";
        for (const Version& v : c.gnu) add_version(keys.gnu, v);
        for (const Version& v : c.gpl) add_version(keys.gpl, v);
        for (const Version& v : c.afpl) add_version(keys.afpl, v);

        std::string directory = "untouched";
        EXPECT_EQ(qh::gs_detect(directory), c.code);
        EXPECT_EQ(directory, c.report);
        const qh_test::CliRun run = run_cli({"-gswin32c"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, c.report);
    }
}

// Ghostscript installed in a fresh directory of drive C:.
struct InstalledGhostscript {
    GhostscriptKeys keys;
    std::string bin = qh_test::scratch_dir("detect_gs") + "\\gs8.50\\bin";

    InstalledGhostscript() {
        if (keys.machine_has_its_own()) return;
        EXPECT_TRUE(qh_test::make_directory(bin));
        keys.afpl.set("8.50", "GS_DLL", bin + "\\gsdll32.dll");
    }
};

TEST(GhostscriptOnPath, AddsTheDirectoryToTheSystemPathAtTheStart) {
    InstalledGhostscript gs;
    if (gs.keys.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Ghostscript";
    ValueRestorer system(Root::local_machine, std::string(kSystemEnvironment), "Path");
    ValueRestorer user(Root::current_user, std::string(kUserEnvironment), "Path");
    ASSERT_TRUE(system.saved());
    const std::string old_path = qh::reg_value_text(*system.saved());

    const qh_test::CliRun run = run_cli({"-user", "-end", "+gswin32c", "-user"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(read_text(Root::local_machine, kSystemEnvironment, "Path"), gs.bin + ";" + old_path);
    EXPECT_EQ(data_of(read_value(Root::current_user, kUserEnvironment, "Path")),
              data_of(user.saved()));
}

TEST(GhostscriptOnPath, ChangesNothingWhenTheProgramIsFoundOrGhostscriptIsMissing) {
    enum class Where { current_directory, process_path, not_installed };
    for (const Where where :
         {Where::current_directory, Where::process_path, Where::not_installed}) {
        SCOPED_TRACE(static_cast<int>(where));
        GhostscriptKeys keys;
        if (keys.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Ghostscript";
        const std::string bin = qh_test::scratch_dir("detect_gs_found") + "\\bin";
        ASSERT_TRUE(qh_test::make_directory(bin));
        ValueRestorer system(Root::local_machine, std::string(kSystemEnvironment), "Path");
        detect_test::DirectoryRestorer directory;
        EnvRestorer process_path("PATH");

        if (where != Where::not_installed) {
            keys.gpl.set("8.54", "GS_DLL", bin + "\\gsdll32.dll");
            ASSERT_TRUE(qh_test::write_file(bin + "\\gswin32c.exe", "MZ"));
        }
        if (where == Where::current_directory) {
            ASSERT_TRUE(qh_test::change_directory(bin));
        }
        if (where == Where::process_path) {
            process_path.set(bin + ";" + process_path.saved().value_or(""));
        }

        qh::EnvChanges changes;
        EXPECT_EQ(qh::gs_add_to_path(changes), where == Where::not_installed ? 2 : 0);
        EXPECT_FALSE(changes.env_changed);
        EXPECT_EQ(data_of(read_value(Root::local_machine, kSystemEnvironment, "Path")),
                  data_of(system.saved()));
    }
}

}  // namespace
