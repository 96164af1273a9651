#include "detect/java_gs.h"

#include <vector>

#include "detect/file_search.h"
#include "detect/places.h"
#include "envpath/env_store.h"
#include "envpath/path_text.h"
#include "platform/platform.h"

namespace qh {

namespace {

using platform::Root;

// A key that holds one subkey per Java version.
struct JavaKey {
    Root root;
    std::string subkey;
    std::string_view below;  // the subkey of the version that holds the value
    std::string_view value;  // the home directory
};

// Oracle's keys: the runtimes of Java 8 and earlier first, then Java 9 and
// later, then JDK-only installations.
constexpr std::string_view kJavaSoftKeys[] = {
    "SOFTWARE\\JavaSoft\\Java Runtime Environment",
    "SOFTWARE\\JavaSoft\\JRE",
    "SOFTWARE\\JavaSoft\\JDK",
    "SOFTWARE\\JavaSoft\\Java Development Kit",
};
// The MSI installers of OpenJDK builds: SOFTWARE\<vendor>\<kind>\<version>,
// home directory in hotspot\MSI, value Path.
constexpr std::string_view kOpenJdkVendors[] = {
    "Eclipse Adoptium",
    "Eclipse Foundation",
    "AdoptOpenJDK",
    "Microsoft",
};
constexpr std::string_view kOpenJdkKinds[] = {"JRE", "JDK"};

// Every Java key in the order it is tried.
std::vector<JavaKey> java_keys() {
    std::vector<JavaKey> keys;
    for (const std::string_view key : kJavaSoftKeys) {
        keys.push_back({Root::local_machine, std::string(key), {}, "JavaHome"});
    }
    for (const Root root : {Root::local_machine, Root::current_user}) {
        for (const std::string_view vendor : kOpenJdkVendors) {
            for (const std::string_view kind : kOpenJdkKinds) {
                const std::string key =
                    "SOFTWARE\\" + std::string(vendor) + "\\" + std::string(kind);
                keys.push_back({root, key, "hotspot\\MSI", "Path"});
            }
        }
        // Azul's subkeys are named zulu-8, zulu-17, ...
        keys.push_back({root, "SOFTWARE\\Azul Systems\\Zulu", {}, "InstallationPath"});
    }
    // IBM Semeru after all of the above: a machine they find a runtime on
    // keeps its answer.
    for (const Root root : {Root::local_machine, Root::current_user}) {
        for (const std::string_view kind : kOpenJdkKinds) {
            keys.push_back({root, "SOFTWARE\\Semeru\\" + std::string(kind), "openj9\\MSI", "Path"});
        }
    }
    return keys;
}

// Installers that write no key at all, tried after every key for the same
// reason: where they put the home folders, each holding bin\javaw.exe.
struct JavaFolders {
    std::string_view folder;  // one folder per vendor
    std::string_view names;   // the home folders in it, one per version
};
constexpr JavaFolders kJavaFolders[] = {
    {"C:\\Program Files\\Amazon Corretto", "jdk*"},
    {"C:\\Program Files\\Eclipse Adoptium", "*"},
    {"C:\\Program Files\\Zulu", "*"},
    {"C:\\Program Files\\BellSoft", "*"},
    // Shared with every other Microsoft product.
    {"C:\\Program Files\\Microsoft", "jdk-*"},
};
constexpr std::string_view kJavaProgram = "bin\\javaw.exe";

// Searched in this order with one latest name: on equal version names the
// later key's library wins.
constexpr std::string_view kGhostscriptKeys[] = {
    "SOFTWARE\\GNU Ghostscript",
    "SOFTWARE\\GPL Ghostscript",
    "SOFTWARE\\AFPL Ghostscript",
};
// Commercial builds, searched after the chain above, as a chain of its own:
// a version left without GS_DLL under an older key cannot hide them then.
constexpr std::string_view kArtifexKeys[] = {"SOFTWARE\\Artifex Ghostscript"};

// The library path of one chain of keys in one view; each successful read
// replaces the text. Empty when nothing was read.
std::string gs_library(std::span<const std::string_view> keys, View view, PlacesTried& tried) {
    std::string latest_name;
    RegValue library;
    // A missing key or a missing version under it must not stop the walk;
    // only a successful read replaces the library path.
    for (const std::string_view key : keys) {
        const RegistryPlace place{Root::local_machine, std::string(key), view};
        tried.add(place.text());
        if (tried.registry_status() != 0) continue;
        Failure failure;
        if (reg_read_latest(library, latest_name, place.path(), "GS_DLL", &failure,
                            {NameOrder::version, view}) != 0)
            tried.note_status(failure.status);
    }
    return reg_value_text(library);
}

// Ghostscript without its registry entries (an unpacked copy, a key removed
// by a cleaner), tried after every key: gs<version>\bin in these folders,
// 64-bit first.
constexpr std::string_view kGhostscriptFolders[] = {
    "C:\\Program Files\\gs",
    "C:\\Program Files (x86)\\gs",
};
// The console program in a bin folder: either build's.
constexpr std::string_view kGhostscriptPrograms[] = {"gswin64c.exe", "gswin32c.exe"};

// "gs9.56.1", "gs10.02.1"; not "gsview".
bool is_ghostscript_folder(std::string_view name) {
    return name.size() > 2 && name.starts_with("gs") && name[2] >= '0' && name[2] <= '9';
}

// The bin folder of the newest Ghostscript in one of kGhostscriptFolders.
std::optional<std::string> gs_bin_folder(std::string_view folder) {
    for (const std::string& name : names_newest_first(folder, "gs*")) {
        if (!is_ghostscript_folder(name)) continue;
        const std::string bin = path_join(path_join(folder, name), "bin");
        for (const std::string_view program : kGhostscriptPrograms) {
            if (file_exists(path_join(bin, program))) return bin;
        }
    }
    return std::nullopt;
}

// The directory part of a library path; nothing when it has none.
std::optional<std::string> directory_of(const std::string& library) {
    const std::size_t last_backslash = library.rfind('\\');
    if (last_backslash == std::string::npos) return std::nullopt;
    return library.substr(0, last_backslash);
}

}  // namespace

int java_detect(std::string& result, Failure* failure, ChangeSession* session) {
    result.clear();
    PlacesTried tried(session);
    for (const JavaKey& key : java_keys()) {
        for (const View view : views_of(key.root, key.subkey)) {
            const RegistryPlace place{key.root, key.subkey, view};
            tried.add(place.text());
            if (auto home = read_text_of_newest(tried, place, key.value, key.below)) {
                result = std::move(*home);
                return 0;
            }
        }
    }
    for (const JavaFolders& vendor : kJavaFolders) {
        tried.add(path_join(vendor.folder, vendor.names));
        for (const std::string& name : names_newest_first(vendor.folder, vendor.names)) {
            const std::string home = path_join(vendor.folder, name);
            if (file_exists(path_join(home, kJavaProgram))) {
                result = home;
                return 0;
            }
        }
    }
    return fail(failure, 1, tried.not_found("Java runtime"));
}

int java_set_command(EnvChanges& changes, std::string_view variable, Failure* failure,
                     ChangeSession* session) {
    std::string program;
    if (java_detect(program, failure, session) != 0) return 1;
    path_append(program, kJavaProgram);
    return env_write_machine(changes, program, variable, failure, session);
}

int gs_detect(std::string& result, Failure* failure, ChangeSession* session) {
    PlacesTried tried(session);
    // What the first chain read is shown when no chain finds a directory.
    result = gs_library(kGhostscriptKeys, View::native, tried);
    if (auto directory = directory_of(result)) {
        result = std::move(*directory);
        return 0;
    }
    struct Chain {
        std::span<const std::string_view> keys;
        View view;
    };
    const Chain later_chains[] = {
        {kGhostscriptKeys, View::wow32},
        {kArtifexKeys, View::native},
        {kArtifexKeys, View::wow32},
    };
    for (const Chain& chain : later_chains) {
        if (auto directory = directory_of(gs_library(chain.keys, chain.view, tried))) {
            result = std::move(*directory);
            return 0;
        }
    }
    for (const std::string_view folder : kGhostscriptFolders) {
        tried.add(path_join(folder, "gs<version>\\bin"));
        if (auto bin = gs_bin_folder(folder)) {
            result = std::move(*bin);
            return 0;
        }
    }
    return fail(failure, 1, tried.not_found("Ghostscript"));
}

int gs_add_to_path(EnvChanges& changes, Failure* failure, ChangeSession* session) {
    // 64-bit Ghostscript comes with gswin64c.exe and no gswin32c.exe.
    if (file_on_search_path("gswin32c.exe", "Path") ||
        file_on_search_path("gswin64c.exe", "Path")) {
        return 0;
    }
    std::string directory;
    if (gs_detect(directory, failure, session) != 0) return 2;
    return env_add_to_machine_path(changes, directory, failure, session);
}

}  // namespace qh
