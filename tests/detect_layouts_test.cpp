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
#include "detect/texlive.h"
#include "detect_fixture.h"
#include "quillhaven_version.h"

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
            ASSERT_TRUE(
                qh::reg_write_sz_at(text, qh::platform::root_key(e.root), e.subkey, e.name).ok());
        }
    }

  private:
    std::vector<std::unique_ptr<ScratchKey>> keys_;
};

// Files that fake installers put on the machine, removed again at the end
// with every folder made for them. A machine that has anything at one of
// `own` (wildcards allowed) is left alone: the test skips.
class FakeFiles {
  public:
    explicit FakeFiles(std::vector<std::string> own) : own_(std::move(own)) {}
    ~FakeFiles() {
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) {
            EXPECT_TRUE(qh_test::remove_tree(*folder)) << *folder;
        }
    }
    FakeFiles(const FakeFiles&) = delete;
    FakeFiles& operator=(const FakeFiles&) = delete;

    bool machine_has_its_own() const {
        return std::any_of(own_.begin(), own_.end(), [](const std::string& place) {
            return qh::platform::find_first_attributes(place).has_value();
        });
    }
    void add(std::string_view file) {
        const std::size_t last = file.rfind('\\');
        ASSERT_NE(last, std::string_view::npos) << file;
        // The outermost folder not there yet takes all the rest with it.
        for (std::size_t at = file.find('\\', 3); at != std::string_view::npos && at <= last;
             at = file.find('\\', at + 1)) {
            const std::string folder(file.substr(0, at));
            if (!qh_test::path_exists(folder)) {
                made_.push_back(folder);
                break;
            }
        }
        ASSERT_TRUE(qh_test::make_directory(file.substr(0, last))) << file;
        ASSERT_TRUE(qh_test::write_file(file, "MZ")) << file;
    }

  private:
    std::vector<std::string> own_;
    std::vector<std::string> made_;
};

// ------------------------------------------------------------------- Java

const std::vector<std::string> kJavaTops = {
    "SOFTWARE\\JavaSoft",     "SOFTWARE\\Eclipse Adoptium", "SOFTWARE\\Eclipse Foundation",
    "SOFTWARE\\AdoptOpenJDK", "SOFTWARE\\Microsoft\\JDK",   "SOFTWARE\\Microsoft\\JRE",
    "SOFTWARE\\Azul Systems", "SOFTWARE\\Semeru",
};
const std::vector<std::string> kJavaFolders = {
    "C:\\Program Files\\Amazon Corretto",
    "C:\\Program Files\\Eclipse Adoptium",
    "C:\\Program Files\\Zulu",
    "C:\\Program Files\\BellSoft",
    "C:\\Program Files\\Microsoft\\jdk-*",
};
// bin\javaw.exe in a home folder below C:\Program Files.
std::string javaw(std::string_view home) {
    return "C:\\Program Files\\" + std::string(home) + "\\bin\\javaw.exe";
}
const std::string kJre8 = "SOFTWARE\\JavaSoft\\Java Runtime Environment\\";
const std::string kJre = "SOFTWARE\\JavaSoft\\JRE\\";

// The MSI layout: the home directory in hotspot\\MSI of the version's key.
Entry msi(Entry e) {
    e.subkey += "\\hotspot\\MSI";
    e.name = "Path";
    return e;
}
// IBM Semeru's MSI layout: openj9 where the others have hotspot.
Entry semeru(Entry e) {
    e.subkey += "\\openj9\\MSI";
    e.name = "Path";
    return e;
}

struct DetectRow {
    const char* label;
    std::vector<Entry> entries;
    std::string report;                // empty: nothing found
    std::vector<std::string> files{};  // made on drive C: besides the entries
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
        {"Semeru JDKs, several versions",
         {semeru(hklm("SOFTWARE\\Semeru\\JDK\\11.0.21.9", "", "C:\\semeru11")),
          semeru(hklm("SOFTWARE\\Semeru\\JDK\\17.0.9.9", "", "C:\\semeru17"))},
         "C:\\semeru17"},
        {"Semeru JRE in the 32-bit view before the JDK",
         {semeru(hklm32("SOFTWARE\\Semeru\\JRE\\8.0.392.8", "", "C:\\x86\\semeru8")),
          semeru(hklm("SOFTWARE\\Semeru\\JDK\\21.0.1.12", "", "C:\\semeru21"))},
         "C:\\x86\\semeru8"},
        {"Semeru per user, after every key read before",
         {semeru(hkcu("SOFTWARE\\Semeru\\JDK\\21.0.1.12", "", "C:\\user\\semeru21")),
          hkcu("SOFTWARE\\Azul Systems\\Zulu\\zulu-8", "InstallationPath", "C:\\user\\zulu8")},
         "C:\\user\\zulu8"},
        {"Corretto folders, several versions",
         {},
         "C:\\Program Files\\Amazon Corretto\\jdk21.0.1_12",
         {javaw("Amazon Corretto\\jdk1.8.0_392"), javaw("Amazon Corretto\\jdk21.0.1_12"),
          javaw("Amazon Corretto\\jdk17.0.9_8")}},
        {"Adoptium folders: the version decides, not jdk or jre",
         {},
         "C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot",
         {javaw("Eclipse Adoptium\\jre-8.0.392.8-hotspot"),
          javaw("Eclipse Adoptium\\jdk-21.0.1.12-hotspot"),
          javaw("Eclipse Adoptium\\jre-17.0.9.9-hotspot")}},
        {"a newer folder without bin\\javaw.exe is passed over",
         {},
         "C:\\Program Files\\Zulu\\zulu-17",
         {"C:\\Program Files\\Zulu\\zulu-21\\bin\\java.exe", javaw("Zulu\\zulu-17"),
          javaw("Zulu\\zulu-11")}},
        {"BellSoft",
         {},
         "C:\\Program Files\\BellSoft\\LibericaJDK-21-Full",
         {javaw("BellSoft\\LibericaJDK-17"), javaw("BellSoft\\LibericaJDK-21-Full")}},
        {"Microsoft's folder: only jdk-*",
         {},
         "C:\\Program Files\\Microsoft\\jdk-11.0.21.9-hotspot",
         {javaw("Microsoft\\jdk-11.0.21.9-hotspot"), javaw("Microsoft\\zdk-17")}},
        {"the vendors' folders in their order, not the newest of all",
         {},
         "C:\\Program Files\\Amazon Corretto\\jdk1.8.0_392",
         {javaw("Microsoft\\jdk-21.0.1.12-hotspot"), javaw("Amazon Corretto\\jdk1.8.0_392")}},
        {"any key wins over the folders",
         {semeru(hkcu("SOFTWARE\\Semeru\\JRE\\8.0.392.8", "", "C:\\user\\semeru8"))},
         "C:\\user\\semeru8",
         {javaw("Amazon Corretto\\jdk21.0.1_12")}},
        {"a machine that today's places find gives today's answer",
         {hklm(kJre8 + "1.6.0_10", "JavaHome", "C:\\jre6"),
          semeru(hklm("SOFTWARE\\Semeru\\JDK\\21.0.1.12", "", "C:\\semeru21"))},
         "C:\\jre6",
         {javaw("Eclipse Adoptium\\jdk-21.0.1.12-hotspot")}},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kJavaTops);
        FakeFiles folders(kJavaFolders);
        if (machine.machine_has_its_own() || folders.machine_has_its_own())
            GTEST_SKIP() << "the machine has its own Java";
        for (const Entry& e : row.entries) FakeInstallations::add(e);
        for (const std::string& file : row.files) folders.add(file);

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
    // The keys read before the Semeru keys and the folders came, then those.
    const std::size_t earlier = 8u + 2 * 9 + 9;
    ASSERT_EQ(places.size(), earlier + 6 + 5);
    EXPECT_EQ(places[0], "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment");
    EXPECT_EQ(places[3], "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JRE (32-bit view)");
    EXPECT_EQ(places[8], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium\\JRE");
    EXPECT_EQ(places[earlier - 1], "HKEY_CURRENT_USER\\SOFTWARE\\Azul Systems\\Zulu");
    EXPECT_EQ(places[earlier], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Semeru\\JRE");
    EXPECT_EQ(places[earlier + 5], "HKEY_CURRENT_USER\\SOFTWARE\\Semeru\\JDK");
    EXPECT_EQ(places[earlier + 6], "C:\\Program Files\\Amazon Corretto\\jdk*");
    EXPECT_EQ(places.back(), "C:\\Program Files\\Microsoft\\jdk-*");
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
const std::string kGs64 = "C:\\Program Files\\gs\\";
const std::string kGs32 = "C:\\Program Files (x86)\\gs\\";
const std::vector<std::string> kGhostscriptFolders = {kGs64 + "gs*", kGs32 + "gs*"};

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
        {"folders, several versions",
         {},
         kGs64 + "gs10.02.1\\bin",
         {kGs64 + "gs9.56.1\\bin\\gswin64c.exe", kGs64 + "gs10.02.1\\bin\\gswin64c.exe",
          kGs64 + "gs10.0.0\\bin\\gswin64c.exe"}},
        {"a newer folder without the console program is passed over",
         {},
         kGs64 + "gs9.56.1\\bin",
         {kGs64 + "gs10.03.0\\bin\\gsdll64.dll", kGs64 + "gs9.56.1\\bin\\gswin64c.exe",
          kGs64 + "gsview\\bin\\gswin64c.exe"}},
        {"32-bit Ghostscript in its own folder",
         {},
         kGs32 + "gs9.27\\bin",
         {kGs32 + "gs9.27\\bin\\gswin32c.exe", kGs32 + "gs9.5\\bin\\gswin32c.exe"}},
        {"Program Files before Program Files (x86)",
         {},
         kGs64 + "gs9.05\\bin",
         {kGs32 + "gs10.03.0\\bin\\gswin32c.exe", kGs64 + "gs9.05\\bin\\gswin32c.exe"}},
        {"a library path without a folder does not hide the folders",
         {gs(hklm(gpl + "9.50", "", "gsdll64.dll"))},
         kGs64 + "gs10.02.1\\bin",
         {kGs64 + "gs10.02.1\\bin\\gswin64c.exe"}},
        {"a machine that today's places find gives today's answer",
         {gs(hklm32(artifex + "9.27", "", "C:\\x86\\Artifex\\gsdll32.dll"))},
         "C:\\x86\\Artifex",
         {kGs64 + "gs10.02.1\\bin\\gswin64c.exe"}},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kGhostscriptTops);
        FakeFiles folders(kGhostscriptFolders);
        if (machine.machine_has_its_own() || folders.machine_has_its_own())
            GTEST_SKIP() << "the machine has its own Ghostscript";
        for (const Entry& e : row.entries) FakeInstallations::add(e);
        for (const std::string& file : row.files) folders.add(file);

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
                  kGs64 + "gs<version>\\bin",
                  kGs32 + "gs<version>\\bin",
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

        qh::EnvChanges changes;
        EXPECT_EQ(qh::gs_add_to_path(changes), 0);
        EXPECT_EQ(qh_test::read_text(Root::local_machine, qh_test::kSystemEnvironment, "Path"),
                  on_path ? old_path : bin + ";" + old_path);
    }
}

// --------------------------------------------------------------- TeX Live

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::vector<std::string> kTexLiveTops = {
    kUninstall + "TeXLive",     kUninstall + "TeXLive2021", kUninstall + "TeXLive2022",
    kUninstall + "TeXLive2023", kUninstall + "TeXLive2024", kUninstall + "TeXLive2025",
};

// The uninstall entry that TeX Live's installer writes for the tree in
// `e.text`: its key name in `e.subkey`.
Entry tl(Entry e) {
    e.subkey = kUninstall + e.subkey;
    e.name = "UninstallString";
    e.text = "\"" + e.text + "\\tlpkg\\installer\\uninst.bat\"";
    return e;
}

struct TexLiveRow {
    const char* label;
    std::vector<Entry> entries;      // "{T}" stands for a fresh folder on drive C:
    std::vector<std::string> files;  // made, each with "{T}" too
    std::string path;                // the process's Path, when given
    std::string report;              // empty: nothing found
};

TEST(TexLiveLayouts, EntriesThenPathThenTheDefaultFolder) {
    const std::string w = "\\bin\\windows";
    const std::string w32 = "\\bin\\win32";
    const std::string tex = "\\tex.exe";
    const std::string release = "\\release-texlive.txt";
    const TexLiveRow rows[] = {
        {"nothing installed", {}, {}, "", ""},
        {"machine entry, 2023 and later in bin\\windows",
         {tl(hklm("TeXLive2025", "", "{T}\\2025"))},
         {"{T}\\2025" + w + tex},
         "",
         "{T}\\2025" + w},
        {"32-bit view entry, 2022 and earlier in bin\\win32",
         {tl(hklm32("TeXLive2022", "", "{T}\\2022"))},
         {"{T}\\2022" + w32 + tex},
         "",
         "{T}\\2022" + w32},
        {"user install",
         {tl(hkcu("TeXLive2024", "", "{T}\\2024"))},
         {"{T}\\2024" + w + tex},
         "",
         "{T}\\2024" + w},
        {"TeX Live 2008: the entry without a year, written without quotes",
         {hklm(kUninstall + "TeXLive", "UninstallString",
               "{T}\\2008\\tlpkg\\installer\\uninst.bat")},
         {"{T}\\2008" + w32 + tex},
         "",
         "{T}\\2008" + w32},
        {"the other layout than the year's, when that is where tex.exe is",
         {tl(hklm("TeXLive2023", "", "{T}\\2023"))},
         {"{T}\\2023" + w32 + tex},
         "",
         "{T}\\2023" + w32},
        {"several years: the newest across machine, 32-bit view and user",
         {tl(hklm("TeXLive2022", "", "{T}\\2022")), tl(hklm32("TeXLive2023", "", "{T}\\2023")),
          tl(hkcu("TeXLive2025", "", "{T}\\2025")), tl(hklm("TeXLive2021", "", "{T}\\2021"))},
         {"{T}\\2022" + w32 + tex, "{T}\\2023" + w + tex, "{T}\\2025" + w + tex,
          "{T}\\2021" + w32 + tex},
         "",
         "{T}\\2025" + w},
        {"a leftover entry whose tree is gone does not win over an older install",
         {tl(hklm("TeXLive2025", "", "{T}\\gone")), tl(hkcu("TeXLive2024", "", "{T}\\2024"))},
         {"{T}\\2024" + w + tex},
         "",
         "{T}\\2024" + w},
        {"a leftover entry does not win over the default folder either",
         {tl(hklm("TeXLive2025", "", "{T}\\gone"))},
         {"C:\\texlive\\2023" + w + tex},
         "",
         "C:\\texlive\\2023" + w},
        {"Path: tex.exe in a TeX Live tree",
         {},
         {"{T}\\2024" + w + tex, "{T}\\2024" + release},
         "{T}\\2024" + w,
         "{T}\\2024" + w},
        {"Path: MiKTeX's tex.exe before it is passed over; quotes and a trailing \\ dropped",
         {},
         {"{T}\\miktex\\bin\\x64" + tex, "{T}\\2021" + w32 + tex, "{T}\\2021" + release},
         "{T}\\miktex\\bin\\x64;;\"{T}\\2021" + w32 + "\\\"",
         "{T}\\2021" + w32},
        {"Path: bin\\windows without release-texlive.txt is not TeX Live",
         {},
         {"{T}\\2024" + w + tex},
         "{T}\\2024" + w,
         ""},
        {"default folder: the newest year",
         {},
         {"C:\\texlive\\2023" + w + tex, "C:\\texlive\\2024" + w + tex,
          "C:\\texlive\\texmf-local" + w + tex},
         "",
         "C:\\texlive\\2024" + w},
        {"default folder: an unfinished newer year is passed over",
         {},
         {"C:\\texlive\\2025" + release, "C:\\texlive\\2022" + w32 + tex},
         "",
         "C:\\texlive\\2022" + w32},
        {"the entries before Path, Path before the default folder",
         {tl(hklm32("TeXLive2021", "", "{T}\\2021"))},
         {"{T}\\2021" + w32 + tex, "{T}\\2024" + w + tex, "{T}\\2024" + release,
          "C:\\texlive\\2025" + w + tex},
         "{T}\\2024" + w,
         "{T}\\2021" + w32},
        {"Path before the default folder",
         {},
         {"{T}\\2023" + w + tex, "{T}\\2023" + release, "C:\\texlive\\2025" + w + tex},
         "{T}\\2023" + w,
         "{T}\\2023" + w},
    };
    const std::string user_path = "C:\\Windows";
    int index = 0;
    for (const TexLiveRow& row : rows) {
        SCOPED_TRACE(row.label);
        FakeInstallations machine(kTexLiveTops);
        FakeFiles folders({"C:\\texlive"});
        if (machine.machine_has_its_own() || folders.machine_has_its_own())
            GTEST_SKIP() << "the machine has its own TeX Live";
        const std::string tree = qh_test::scratch_dir("detect_texlive_" + std::to_string(index++));
        for (const Entry& e : row.entries) FakeInstallations::add(e, tree);
        for (const std::string& file : row.files) folders.add(expand(file, tree));
        const EnvRestorer process_path("PATH");
        // A Path without TeX Live when the row gives none.
        process_path.set(row.path.empty() ? tree : expand(row.path, tree));
        const std::string report = expand(row.report, tree);

        std::string bin = "untouched";
        EXPECT_EQ(qh::texlive_detect(bin), report.empty() ? 1 : 0);
        EXPECT_EQ(bin, report);
        const qh_test::CliRun shown = run_cli({"-texlive", "+path", "C:\\never"});
        EXPECT_EQ(shown.exit_code, 0);
        EXPECT_EQ(shown.output, report);

        // +texlive as +path: in the scope and at the position chosen, and on.
        qh_test::ValueRestorer user(Root::current_user, std::string(qh_test::kUserEnvironment),
                                    "Path");
        ASSERT_TRUE(qh::reg_write_sz_at(user_path, qh::platform::root_key(Root::current_user),
                                        qh_test::kUserEnvironment, "Path")
                        .ok());
        const qh_test::CliRun added = run_cli({"-user", "-end", "+texlive", "-version"});
        EXPECT_EQ(added.exit_code, 0);
        const std::string result(report.empty() ? qh_test::kFailed : qh_test::kSucceeded);
        EXPECT_EQ(added.output, result + "Quillhaven " + std::string(QH_RELEASE_VERSION) + "\n");
        EXPECT_EQ(qh_test::read_text(Root::current_user, qh_test::kUserEnvironment, "Path"),
                  report.empty() ? user_path : user_path + ";" + report);
    }

    FakeInstallations machine(kTexLiveTops);
    const FakeFiles folders({"C:\\texlive"});
    if (machine.machine_has_its_own() || folders.machine_has_its_own())
        GTEST_SKIP() << "the machine has its own TeX Live";
    const EnvRestorer process_path("PATH");
    process_path.set(qh_test::scratch_dir("detect_texlive_places"));
    qh::Failure failure;
    std::string bin;
    EXPECT_EQ(qh::texlive_detect(bin, &failure), 1);
    const std::string entries =
        "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TeXLive<year>";
    EXPECT_EQ(places_of(failure, "TeX Live"), (std::vector<std::string>{
                                                  "HKEY_LOCAL_MACHINE" + entries,
                                                  "HKEY_LOCAL_MACHINE" + entries + " (32-bit view)",
                                                  "HKEY_CURRENT_USER" + entries,
                                                  "tex.exe along Path",
                                                  "C:\\texlive\\<year>",
                                              }));
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
