// The detections on machines as current installers leave them: both
// registry views, the later key layouts, several versions side by side; and
// the old keys still giving their old answer when newer layouts are there too.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "detect/java_gs.h"
#include "detect/tex_tools.h"
#include "detect_fixture.h"

namespace {

using detect_test::EnvRestorer;
using detect_test::expand;
using detect_test::Root;
using detect_test::ScratchKey;
using qh::platform::View;
using qh_test::run_cli;

// One string value a fake installer wrote.
struct Entry {
    Root root;
    View view;
    std::string subkey;
    std::string name;
    std::string text;
};
Entry hklm(std::string subkey, std::string name, std::string text) {
    return {Root::local_machine, View::native, std::move(subkey), std::move(name), std::move(text)};
}
Entry hklm32(std::string subkey, std::string name, std::string text) {
    return {Root::local_machine, View::wow32, std::move(subkey), std::move(name), std::move(text)};
}
Entry hkcu(std::string subkey, std::string name, std::string text) {
    return {Root::current_user, View::native, std::move(subkey), std::move(name), std::move(text)};
}

// The product keys of one detection, in both views and under both roots, all
// deleted again at the end. A machine that has any of them already is left
// alone: the test skips.
class FakeInstallations {
  public:
    explicit FakeInstallations(const std::vector<std::string>& tops) {
        for (const std::string& top : tops) {
            keys_.push_back(std::make_unique<ScratchKey>(Root::local_machine, top));
            keys_.push_back(std::make_unique<ScratchKey>(
                Root::local_machine, "SOFTWARE\\WOW6432Node" + top.substr(top.find('\\'))));
            keys_.push_back(std::make_unique<ScratchKey>(Root::current_user, top));
        }
    }
    bool machine_has_its_own() const {
        for (const auto& key : keys_) {
            if (key->existed_before()) return true;
        }
        return false;
    }
    static void add(const Entry& e, std::string_view tree = "") {
        const std::string text = expand(e.text, tree);
        if (e.view == View::wow32) {
            ASSERT_TRUE(qh_test::write_32bit_view(e.subkey, e.name, text)) << e.subkey;
        } else {
            ASSERT_EQ(qh::reg_write_sz_at(text, qh::platform::root_key(e.root), e.subkey, e.name),
                      0);
        }
    }

  private:
    std::vector<std::unique_ptr<ScratchKey>> keys_;
};

// ------------------------------------------------------------------- Java

const std::vector<std::string> kJavaTops = {
    "SOFTWARE\\JavaSoft",     "SOFTWARE\\Eclipse Adoptium", "SOFTWARE\\Eclipse Foundation",
    "SOFTWARE\\AdoptOpenJDK", "SOFTWARE\\Microsoft\\JDK",   "SOFTWARE\\Microsoft\\JRE",
    "SOFTWARE\\Azul Systems",
};
const std::string kJre8 = "SOFTWARE\\JavaSoft\\Java Runtime Environment\\";
const std::string kJre = "SOFTWARE\\JavaSoft\\JRE\\";

// The MSI layout: the home directory in hotspot\\MSI of the version's key.
Entry msi(Entry e) {
    e.subkey += "\\hotspot\\MSI";
    e.name = "Path";
    return e;
}

struct DetectRow {
    const char* label;
    std::vector<Entry> entries;
    std::string report;  // empty: nothing found
};

TEST(JavaLayouts, NewestOfTheFirstPlaceThatHasOne) {
    const DetectRow rows[] = {
        {"nothing installed", {}, ""},
        {"Java 8 updates by number",
         {hklm(kJre8 + "1.8.0_45", "JavaHome", "C:\\jre45"),
          hklm(kJre8 + "1.8.0_301", "JavaHome", "C:\\jre301"),
          hklm(kJre8 + "1.8", "JavaHome", "C:\\jre18")},
         "C:\\jre301"},
        {"32-bit Java 8",
         {hklm32(kJre8 + "1.8.0_202", "JavaHome", "C:\\x86\\jre")},
         "C:\\x86\\jre"},
        {"the old key wins over a newer Java elsewhere",
         {hklm(kJre8 + "1.6.0_10", "JavaHome", "C:\\jre6"),
          hklm(kJre + "17.0.2", "JavaHome", "C:\\jre17")},
         "C:\\jre6"},
        {"the old key's 32-bit view before the next key",
         {hklm32(kJre8 + "1.8.0_202", "JavaHome", "C:\\x86\\jre"),
          hklm(kJre + "17.0.2", "JavaHome", "C:\\jre17")},
         "C:\\x86\\jre"},
        {"Java 9 and later",
         {hklm(kJre + "9.0.4", "JavaHome", "C:\\jre9"),
          hklm(kJre + "17.0.2", "JavaHome", "C:\\jre17")},
         "C:\\jre17"},
        {"JDK only",
         {hklm("SOFTWARE\\JavaSoft\\JDK\\21.0.1", "JavaHome", "C:\\jdk21")},
         "C:\\jdk21"},
        {"old JDK only, 32-bit",
         {hklm32("SOFTWARE\\JavaSoft\\Java Development Kit\\1.8.0_391", "JavaHome", "C:\\jdk8")},
         "C:\\jdk8"},
        {"Adoptium, several versions",
         {msi(hklm("SOFTWARE\\Eclipse Adoptium\\JDK\\8.0.392.8", "", "C:\\jdk8")),
          msi(hklm("SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9", "", "C:\\jdk17")),
          msi(hklm("SOFTWARE\\Eclipse Adoptium\\JDK\\11.0.21.9", "", "C:\\jdk11"))},
         "C:\\jdk17"},
        {"Adoptium JRE in the 32-bit view",
         {msi(hklm32("SOFTWARE\\Eclipse Adoptium\\JRE\\17.0.9.9", "", "C:\\x86\\Temurin"))},
         "C:\\x86\\Temurin"},
        {"a version without hotspot\\MSI gives nothing at that key",
         {hklm("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12", "Other", "x"),
          msi(hklm("SOFTWARE\\AdoptOpenJDK\\JDK\\8.0.292.10", "", "C:\\AdoptOpenJDK"))},
         "C:\\AdoptOpenJDK"},
        {"the machine's MSI layouts before the user's",
         {msi(hkcu("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12", "", "C:\\user\\Temurin")),
          msi(hklm("SOFTWARE\\Microsoft\\JDK\\11.0.16.101", "", "C:\\Microsoft\\jdk"))},
         "C:\\Microsoft\\jdk"},
        {"Eclipse Foundation, per user",
         {msi(hkcu("SOFTWARE\\Eclipse Foundation\\JDK\\16.0.2.7", "", "C:\\user\\jdk16"))},
         "C:\\user\\jdk16"},
        {"Zulu: the greatest major version",
         {hklm("SOFTWARE\\Azul Systems\\Zulu\\zulu-8", "InstallationPath", "C:\\zulu8"),
          hklm("SOFTWARE\\Azul Systems\\Zulu\\zulu-17", "InstallationPath", "C:\\zulu17"),
          hklm("SOFTWARE\\Azul Systems\\Zulu\\zulu-11", "InstallationPath", "C:\\zulu11")},
         "C:\\zulu17"},
        {"Zulu per user, 32-bit Zulu on the machine first",
         {hkcu("SOFTWARE\\Azul Systems\\Zulu\\zulu-21", "InstallationPath", "C:\\user\\zulu21"),
          hklm32("SOFTWARE\\Azul Systems\\Zulu\\zulu-8", "InstallationPath", "C:\\x86\\zulu8")},
         "C:\\x86\\zulu8"},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kJavaTops);
        if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Java";
        for (const Entry& e : row.entries) FakeInstallations::add(e);

        std::string home = "untouched";
        EXPECT_EQ(qh::java_detect(home), row.report.empty() ? 1 : 0);
        EXPECT_EQ(home, row.report);
        EXPECT_EQ(run_cli({"-javaw"}).output, row.report);
    }
}

// The places a reason names: "no X found (looked in A, B, ...)".
std::vector<std::string> places_of(const qh::Failure& failure, std::string_view what) {
    const std::string start = "no " + std::string(what) + " found (looked in ";
    std::vector<std::string> places;
    if (!failure.reason.starts_with(start) || !failure.reason.ends_with(")")) {
        ADD_FAILURE() << failure.reason;
        return places;
    }
    const std::string_view list =
        std::string_view(failure.reason)
            .substr(start.size(), failure.reason.size() - start.size() - 1);
    for (std::size_t from = 0; from <= list.size();) {
        const std::size_t comma = std::min(list.find(", ", from), list.size());
        places.emplace_back(list.substr(from, comma - from));
        from = comma + 2;
    }
    return places;
}

// What a report of "nothing found" will list: every place in the order
// tried, the 32-bit view of a machine key right after its native view, the
// shared keys of the current user once.
void expect_places_in_view_order(const std::vector<std::string>& places) {
    const std::string kView = " (32-bit view)";
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string& place = places[i];
        const bool machine = place.starts_with("HKEY_LOCAL_MACHINE\\SOFTWARE");
        const bool in_view = place.ends_with(kView);
        EXPECT_TRUE(machine || !in_view) << place;
        if (machine && !in_view) {
            ASSERT_LT(i + 1, places.size()) << place;
            EXPECT_EQ(places[i + 1], place + kView);
        }
    }
}

TEST(JavaLayouts, PlacesTriedInOrder) {
    FakeInstallations machine(kJavaTops);
    if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Java";
    qh::Failure failure;
    std::string home;
    ASSERT_EQ(qh::java_detect(home, &failure), 1);
    const std::vector<std::string> places = places_of(failure, "Java runtime");
    ASSERT_EQ(places.size(), 8u + 2 * 9 + 9);
    EXPECT_EQ(places[0], "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment");
    EXPECT_EQ(places[3], "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE (32-bit view)");
    EXPECT_EQ(places[8], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium\\JRE");
    EXPECT_EQ(places.back(), "HKEY_CURRENT_USER\\SOFTWARE\\Azul Systems\\Zulu");
    expect_places_in_view_order(places);
}

TEST(JavaLayouts, JavaCommandOfA32BitRuntime) {
    FakeInstallations machine(kJavaTops);
    if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Java";
    qh_test::ValueRestorer system(Root::local_machine, std::string(qh_test::kSystemEnvironment),
                                  "javacommand");
    FakeInstallations::add(hklm32(kJre + "17.0.2", "JavaHome", "C:\\x86\\jre17\\"));
    EXPECT_EQ(run_cli({"+javaw"}).output, "");
    EXPECT_EQ(qh_test::read_text(Root::local_machine, qh_test::kSystemEnvironment, "javacommand"),
              "C:\\x86\\jre17\\bin\\javaw.exe");
}

// ------------------------------------------------------------ Ghostscript

const std::vector<std::string> kGhostscriptTops = {
    "SOFTWARE\\GNU Ghostscript", "SOFTWARE\\GPL Ghostscript", "SOFTWARE\\AFPL Ghostscript",
    "SOFTWARE\\Artifex Ghostscript"};

Entry gs(Entry e) {
    e.name = "GS_DLL";
    return e;
}

TEST(GhostscriptLayouts, NewestOfTheFirstChainThatHasOne) {
    const std::string gpl = "SOFTWARE\\GPL Ghostscript\\";
    const std::string artifex = "SOFTWARE\\Artifex Ghostscript\\";
    const DetectRow rows[] = {
        {"versions by number",
         {gs(hklm(gpl + "9.56.1", "", "C:\\gs\\gs9.56.1\\bin\\gsdll64.dll")),
          gs(hklm(gpl + "10.02.1", "", "C:\\gs\\gs10.02.1\\bin\\gsdll64.dll")),
          gs(hklm(gpl + "9.9", "", "C:\\gs\\gs9.9\\bin\\gsdll64.dll"))},
         "C:\\gs\\gs10.02.1\\bin"},
        {"32-bit Ghostscript",
         {gs(hklm32(gpl + "9.54.0", "", "C:\\x86\\gs\\gsdll32.dll"))},
         "C:\\x86\\gs"},
        {"the native chain wins over a newer 32-bit one",
         {gs(hklm(gpl + "9.50", "", "C:\\gs64\\gsdll64.dll")),
          gs(hklm32(gpl + "10.0.0", "", "C:\\gs32\\gsdll32.dll"))},
         "C:\\gs64"},
        {"the 32-bit view keeps the chaining: a tie goes to AFPL",
         {gs(hklm32("SOFTWARE\\GPL Ghostscript\\8.50", "", "C:\\gpl\\gsdll32.dll")),
          gs(hklm32("SOFTWARE\\AFPL Ghostscript\\8.50", "", "C:\\afpl\\gsdll32.dll"))},
         "C:\\afpl"},
        {"Artifex",
         {gs(hklm(artifex + "10.01.2", "", "C:\\Artifex\\bin\\gsdll64.dll"))},
         "C:\\Artifex\\bin"},
        {"32-bit Artifex",
         {gs(hklm32(artifex + "9.27", "", "C:\\x86\\Artifex\\gsdll32.dll"))},
         "C:\\x86\\Artifex"},
        {"the old keys win over a newer Artifex",
         {gs(hklm(gpl + "9.50", "", "C:\\gpl\\gsdll64.dll")),
          gs(hklm(artifex + "10.01.2", "", "C:\\Artifex\\gsdll64.dll"))},
         "C:\\gpl"},
        {"a version left without GS_DLL does not hide Artifex",
         {hklm(gpl + "9.50", "Other", "x"),
          gs(hklm(artifex + "9.20", "", "C:\\Artifex\\gsdll64.dll"))},
         "C:\\Artifex"},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kGhostscriptTops);
        if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Ghostscript";
        for (const Entry& e : row.entries) FakeInstallations::add(e);

        std::string directory;
        EXPECT_EQ(qh::gs_detect(directory), 0);
        EXPECT_EQ(directory, row.report);
        EXPECT_EQ(run_cli({"-gswin32c"}).output, row.report);
    }

    FakeInstallations machine(kGhostscriptTops);
    qh::Failure failure;
    std::string directory;
    EXPECT_EQ(qh::gs_detect(directory, &failure), 1);
    EXPECT_EQ(places_of(failure, "Ghostscript"),
              (std::vector<std::string>{
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript (32-bit view)",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript (32-bit view)",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript (32-bit view)",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Artifex Ghostscript",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Artifex Ghostscript (32-bit view)",
              }));
}

TEST(GhostscriptLayouts, SixtyFourBitProgramOnThePathCountsAsFound) {
    for (const bool on_path : {true, false}) {
        SCOPED_TRACE(on_path ? "gswin64c.exe on Path" : "not on Path");
        FakeInstallations machine(kGhostscriptTops);
        if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own Ghostscript";
        const std::string bin = qh_test::scratch_dir("detect_gs64") + "\\bin";
        ASSERT_TRUE(qh_test::make_directory(bin));
        ASSERT_TRUE(qh_test::write_file(bin + "\\gswin64c.exe", "MZ"));
        FakeInstallations::add(
            gs(hklm32("SOFTWARE\\GPL Ghostscript\\9.54.0", "", bin + "\\gsdll32.dll")));
        qh_test::ValueRestorer system(Root::local_machine, std::string(qh_test::kSystemEnvironment),
                                      "Path");
        ASSERT_TRUE(system.saved());
        const std::string old_path = qh::reg_value_text(*system.saved());
        EnvRestorer process_path("PATH");
        if (on_path) process_path.set(bin + ";" + process_path.saved().value_or(""));

        qh::RunContext context;
        EXPECT_EQ(qh::gs_add_to_path(context, qh::Scope::system, qh::Position::start), 0);
        EXPECT_EQ(qh_test::read_text(Root::local_machine, qh_test::kSystemEnvironment, "Path"),
                  on_path ? old_path : bin + ";" + old_path);
    }
}

// ----------------------------------------------------------------- WinEdt

const std::vector<std::string> kWinEdtTops = {"SOFTWARE\\WinEdt",    "SOFTWARE\\WinEdt 5",
                                              "SOFTWARE\\WinEdt 9",  "SOFTWARE\\WinEdt 10",
                                              "SOFTWARE\\WinEdt 11", "SOFTWARE\\WinEdt "};

Entry winedt(Entry e) {
    e.name = "Install Root";
    return e;
}

TEST(WinEdtLayouts, OldKeysThenTheGreatestVersionedKey) {
    const DetectRow rows[] = {
        {"nothing installed", {}, ""},
        {"old key, 32-bit view",
         {winedt(hklm32("SOFTWARE\\WinEdt", "", "C:\\x86\\WinEdt"))},
         "C:\\x86\\WinEdt"},
        {"the user's versioned keys, greatest number",
         {winedt(hkcu("Software\\WinEdt 9", "", "C:\\WinEdt9")),
          winedt(hkcu("Software\\WinEdt 10", "", "C:\\WinEdt10")),
          winedt(hkcu("Software\\WinEdt 5", "", "C:\\WinEdt5"))},
         "C:\\WinEdt10"},
        {"the machine's versioned key",
         {winedt(hklm("SOFTWARE\\WinEdt 11", "", "C:\\WinEdt11"))},
         "C:\\WinEdt11"},
        {"\"WinEdt \" without a number is no versioned key",
         {winedt(hkcu("Software\\WinEdt ", "", "C:\\WinEdtNone"))},
         ""},
        {"the machine's versioned key, 32-bit view",
         {winedt(hklm32("SOFTWARE\\WinEdt 10", "", "C:\\x86\\WinEdt10"))},
         "C:\\x86\\WinEdt10"},
        {"the greatest user key without Install Root falls through to the machine",
         {hkcu("Software\\WinEdt 11", "Other", "x"),
          winedt(hkcu("Software\\WinEdt 10", "", "C:\\user\\WinEdt10")),
          winedt(hklm("SOFTWARE\\WinEdt 9", "", "C:\\WinEdt9"))},
         "C:\\WinEdt9"},
        {"the old keys win over a newer versioned one",
         {winedt(hklm("SOFTWARE\\WinEdt", "", "C:\\WinEdt")),
          winedt(hkcu("Software\\WinEdt 11", "", "C:\\WinEdt11"))},
         "C:\\WinEdt"},
        {"the old key's 32-bit view before the versioned keys",
         {winedt(hklm32("SOFTWARE\\WinEdt", "", "C:\\x86\\WinEdt")),
          winedt(hkcu("Software\\WinEdt 11", "", "C:\\WinEdt11"))},
         "C:\\x86\\WinEdt"},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kWinEdtTops);
        if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own WinEdt";
        for (const Entry& e : row.entries) FakeInstallations::add(e);

        std::string directory;
        EXPECT_EQ(qh::detect_winedt(directory), row.report.empty() ? 1 : 0);
        EXPECT_EQ(run_cli({"-WinEdt"}).output, row.report);
    }

    FakeInstallations machine(kWinEdtTops);
    qh::Failure failure;
    std::string directory;
    EXPECT_EQ(qh::detect_winedt(directory, &failure), 1);
    EXPECT_EQ(places_of(failure, "WinEdt"),
              (std::vector<std::string>{
                  "HKEY_CURRENT_USER\\Software\\WinEdt",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\WinEdt",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\WinEdt (32-bit view)",
                  "HKEY_CURRENT_USER\\Software\\WinEdt <N>",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\WinEdt <N>",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\WinEdt <N> (32-bit view)",
              }));
}

// ----------------------------------------------------------------- MiKTeX

const std::vector<std::string> kMiktexTops = {"SOFTWARE\\MiK", "SOFTWARE\\MiKTeX.org"};
const std::string kClassic = "SOFTWARE\\MiK\\MiKTeX\\CurrentVersion\\MiKTeX";
const std::string kOrg = "SOFTWARE\\MiKTeX.org\\MiKTeX\\";
const std::string kNone = "No MiKTeX installation is detected!\n";

enum class TexAt { none, bin, x64 };

struct MiktexRow {
    const char* label;
    std::vector<Entry> entries;  // "{T}" stands for a fresh tree on drive C:
    TexAt tex_at;
    std::string find_tex, find_psfonts;  // what the stand-in findtexmf prints
    std::string report;
};

std::string normal(std::string_view texmf, std::string_view local) {
    return "Normal MiKTeX installation:\nTeXMF=" + std::string(texmf) +
           "\nLocalTeXMF=" + std::string(local) + "\n";
}

TEST(MiktexLayouts, LaterReleasesAfterMiktex24) {
    const std::string psfonts_new = "C:\\data\\fonts\\map\\dvips\\psfonts_t1.map";
    const MiktexRow rows[] = {
        {"per-user install of a current release",
         {hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}"),
          hkcu(kOrg + "2.9\\Core", "UserData", "C:\\userdata")},
         TexAt::x64,
         "",
         "",
         normal("{T}", "C:\\userdata")},
        {"shared install, the greatest series",
         {hklm(kOrg + "2.9\\Core", "CommonInstall", "C:\\old"),
          hklm(kOrg + "2.10\\Core", "CommonInstall", "{T}"),
          hklm(kOrg + "2.10\\Core", "CommonData", "C:\\commondata")},
         TexAt::x64,
         "",
         "",
         normal("{T}", "C:\\commondata")},
        {"UserInstall before CommonInstall (one tree, told apart by the backslash)",
         {hkcu(kOrg + "2.9\\Core", "CommonInstall", "{T}"),
          hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}\\"),
          hkcu(kOrg + "2.9\\Core", "UserData", "C:\\userdata")},
         TexAt::x64,
         "",
         "",
         normal("{T}\\", "C:\\userdata")},
        {"32-bit install",
         {hklm32(kOrg + "2.8\\Core", "CommonInstall", "{T}"),
          hklm32(kOrg + "2.8\\Core", "CommonData", "C:\\x86data")},
         TexAt::bin,
         "",
         "",
         normal("{T}", "C:\\x86data")},
        {"data root at its default: findtexmf tells, with the current font map place",
         {hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}")},
         TexAt::x64,
         "",
         psfonts_new,
         normal("{T}", "C:\\data")},
        {"registered tree without tex.exe is passed over",
         {hkcu(kOrg + "2.9\\Core", "UserInstall", "C:\\missing"),
          hklm(kOrg + "2.9\\Core", "CommonInstall", "{T}")},
         TexAt::x64,
         "",
         psfonts_new,
         normal("{T}", "C:\\data")},
        {"64-bit tree found by findtexmf",
         {},
         TexAt::none,
         "C:\\texmf\\miktex\\bin\\x64\\tex.exe",
         psfonts_new,
         normal("C:\\texmf", "C:\\data")},
        {"MiKTeX 2.4 knows only bin\\tex.exe: findtexmf's answer before its 64-bit tree",
         {hkcu(kClassic, "Install Root", "{T}"), hkcu(kClassic, "Local Root", "C:\\local")},
         TexAt::x64,
         "C:\\texmf\\miktex\\bin\\tex.exe",
         "",
         normal("C:\\texmf", "C:\\local")},
        {"MiKTeX 2.4 key with a 64-bit tree",
         {hkcu(kClassic, "Install Root", "{T}"), hkcu(kClassic, "Local Root", "C:\\local")},
         TexAt::x64,
         "",
         "",
         normal("{T}", "C:\\local")},
        {"MiKTeX 2.4 key wins over the later layout",
         {hklm(kClassic, "Install Root", "{T}"), hklm(kClassic, "Local Root", "C:\\local"),
          hkcu(kOrg + "2.9\\Core", "UserInstall", "C:\\other"),
          hkcu(kOrg + "2.9\\Core", "UserData", "C:\\otherdata")},
         TexAt::bin,
         "",
         "",
         normal("{T}", "C:\\local")},
        {"MiKTeX 2.4 through findtexmf wins over the later layout",
         {hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}"),
          hkcu(kOrg + "2.9\\Core", "UserData", "C:\\userdata")},
         TexAt::bin,
         "C:\\texmf\\miktex\\bin\\tex.exe",
         "C:\\localtexmf\\dvips\\config\\psfonts_t1.map",
         normal("C:\\texmf", "C:\\localtexmf")},
        {"the 2.4 local tree before the later one",
         {hklm32(kClassic, "Local Root", "C:\\local"),
          hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}"),
          hkcu(kOrg + "2.9\\Core", "UserData", "C:\\userdata")},
         TexAt::x64,
         "",
         "",
         normal("{T}", "C:\\local")},
        {"one tree as both is still none",
         {hkcu(kOrg + "2.9\\Core", "UserInstall", "{T}"),
          hkcu(kOrg + "2.9\\Core", "UserData", "{T}")},
         TexAt::x64,
         "",
         "",
         kNone},
        {"nothing anywhere", {}, TexAt::none, "", "", kNone},
    };
    const detect_test::FindtexmfStandIn findtexmf;
    const EnvRestorer md_localroot("MD_LOCALROOT");
    int index = 0;
    for (const MiktexRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kMiktexTops);
        if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own MiKTeX";
        const std::string tree =
            qh_test::scratch_dir("detect_miktex_layout_" + std::to_string(index++)) + "\\texmf";
        ASSERT_TRUE(qh_test::make_directory(tree + "\\miktex\\bin\\x64"));
        if (row.tex_at != TexAt::none) {
            const std::string bin =
                row.tex_at == TexAt::x64 ? "\\miktex\\bin\\x64" : "\\miktex\\bin";
            ASSERT_TRUE(qh_test::write_file(tree + bin + "\\tex.exe", "MZ"));
        }
        for (const Entry& e : row.entries) FakeInstallations::add(e, tree);
        findtexmf.answer_tex(row.find_tex);
        findtexmf.answer_psfonts(row.find_psfonts);

        const qh_test::CliRun run = run_cli({"-miktex"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, expand(row.report, tree));
    }
}

TEST(MiktexLayouts, PlacesTriedEachOnceInOrder) {
    FakeInstallations machine(kMiktexTops);
    if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own MiKTeX";
    const detect_test::FindtexmfStandIn findtexmf;
    qh::Failure failure;
    std::string texmf, local_texmf;
    EXPECT_EQ(qh::detect_miktex(qh::read_miktex_registry(), texmf, local_texmf, &failure),
              qh::MiktexOutcome::none);
    const std::string classic = "SOFTWARE\\MiK\\MiKTeX\\CurrentVersion\\MiKTeX";
    const std::string org = "SOFTWARE\\MiKTeX.org\\MiKTeX\\<series>\\Core";
    EXPECT_EQ(places_of(failure, "MiKTeX installation"),
              (std::vector<std::string>{
                  "HKEY_CURRENT_USER\\" + classic,
                  "HKEY_LOCAL_MACHINE\\" + classic,
                  "findtexmf.exe tex.exe",
                  "HKEY_LOCAL_MACHINE\\" + classic + " (32-bit view)",
                  "HKEY_CURRENT_USER\\" + org,
                  "HKEY_LOCAL_MACHINE\\" + org,
                  "HKEY_LOCAL_MACHINE\\" + org + " (32-bit view)",
              }));
}

// findtexmf runs while the detection holds nothing: an edit that another run
// makes meanwhile (here started by the stand-in itself) goes through at once
// instead of waiting for the lock.
TEST(MiktexLayouts, FindtexmfRunsOutsideTheOperationScope) {
    FakeInstallations machine(kMiktexTops);
    if (machine.machine_has_its_own()) GTEST_SKIP() << "the machine has its own MiKTeX";
    ScratchKey edited(Root::current_user, "Software\\QuillhavenDetectScope");
    if (edited.existed_before()) GTEST_SKIP() << "the machine has its own test key";
    const detect_test::FindtexmfStandIn findtexmf;
    findtexmf.answer_tex("C:\\texmf\\miktex\\bin\\tex.exe");
    findtexmf.answer_psfonts("C:\\localtexmf\\dvips\\config\\psfonts_t1.map");

    std::string tool = QH_TOOL_EXE;
    if (!qh_test::on_emulated_machine()) {
        std::replace(tool.begin(), tool.end(), '/', '\\');
        tool = "Z:" + tool;
    }
    const EnvRestorer first_run("QH_FINDTEXMF_FIRST_RUN");
    // Quoted alike for sh and cmd, so that the backslashes stay.
    first_run.set(tool + " +regv \"HKEY_CURRENT_USER\\Software\\QuillhavenDetectScope\" v edited");

    const auto start = std::chrono::steady_clock::now();
    const qh_test::CliRun run = run_cli({"-miktex"});
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(run.output, normal("C:\\texmf", "C:\\localtexmf"));
    EXPECT_EQ(qh_test::read_text(Root::current_user, "Software\\QuillhavenDetectScope", "v"),
              "edited");
    // A run that waits for the lock waits 30 seconds before it gives up.
    EXPECT_LT(seconds, 20);
}

}  // namespace
