#include "detect/texlive.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "detect/file_search.h"
#include "detect/places.h"
#include "envpath/env_store.h"
#include "envpath/path_text.h"

namespace qh {

namespace {

using platform::Root;

constexpr std::string_view kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The installer's entry is TeXLive<year>; TeX Live 2008 wrote it without one.
constexpr std::string_view kEntryPrefix = "TeXLive";
constexpr int kYearWithoutName = 2008;
// The entry's UninstallString: "<root>\tlpkg\installer\uninst.bat", quoted.
constexpr std::string_view kUninstaller = "\\tlpkg\\installer\\uninst.bat";
// The installer's default place for each year's tree.
constexpr std::string_view kDefaultFolder = "C:\\texlive";
// Beside bin in every tree.
constexpr std::string_view kReleaseFile = "release-texlive.txt";
constexpr std::string_view kProgram = "tex.exe";
// The bin folders within a tree; TeX Live 2023 moved from 32-bit win32 to
// 64-bit windows.
constexpr std::string_view kBinWindows = "bin\\windows";
constexpr std::string_view kBinWin32 = "bin\\win32";
constexpr int kFirstYearOfBinWindows = 2023;

// Where an administrator's and a user's installs write their entries.
struct EntryPlace {
    Root root;
    View view;
};
constexpr EntryPlace kEntryPlaces[] = {
    {Root::local_machine, View::native},
    {Root::local_machine, View::wow32},
    {Root::current_user, View::native},
};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Letter case aside, and either separator for a backslash of `b`.
bool same_path_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((a[i] == '/' ? '\\' : ascii_lower(a[i])) != ascii_lower(b[i])) return false;
    }
    return true;
}

bool ends_with_path(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() &&
           same_path_text(text.substr(text.size() - tail.size()), tail);
}

bool is_year(std::string_view text) {
    return text.size() == 4 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The year of an entry name ("TeXLive2025"); nothing for any other name.
std::optional<int> entry_year(std::string_view name) {
    if (!same_path_text(name.substr(0, kEntryPrefix.size()), kEntryPrefix)) return std::nullopt;
    name.remove_prefix(kEntryPrefix.size());
    if (name.empty()) return kYearWithoutName;
    if (!is_year(name)) return std::nullopt;
    return std::stoi(std::string(name));
}

bool is_entry_name(std::string_view name) { return entry_year(name).has_value(); }

// The tree's bin folder that holds tex.exe, the year's own layout first.
std::optional<std::string> bin_folder(std::string_view tree, int year) {
    const bool windows_first = year >= kFirstYearOfBinWindows;
    for (const std::string_view bin :
         {windows_first ? kBinWindows : kBinWin32, windows_first ? kBinWin32 : kBinWindows}) {
        std::string folder = path_join(tree, bin);
        if (file_exists(path_join(folder, kProgram))) return folder;
    }
    return std::nullopt;
}

// The tree an UninstallString names; nothing when it is not TeX Live's.
std::optional<std::string> tree_of_uninstaller(std::string_view command) {
    if (command.starts_with('"')) {
        command.remove_prefix(1);
        command = command.substr(0, command.find('"'));
    }
    if (!ends_with_path(command, kUninstaller) || command.size() == kUninstaller.size())
        return std::nullopt;
    return std::string(command.substr(0, command.size() - kUninstaller.size()));
}

struct Entry {
    int year;
    RegistryPlace place;  // the entry's own key
};

std::optional<std::string> from_uninstall_entries(PlacesTried& tried) {
    std::vector<Entry> entries;
    for (const EntryPlace& at : kEntryPlaces) {
        const RegistryPlace uninstall{at.root, std::string(kUninstallKey), at.view};
        tried.add(RegistryPlace{at.root, uninstall.subkey + "\\TeXLive<year>", at.view}.text());
        for (const std::string& name : subkey_names_at(tried, uninstall, is_entry_name)) {
            entries.push_back({*entry_year(name),
                               RegistryPlace{at.root, uninstall.subkey + "\\" + name, at.view}});
        }
    }
    // On equal years the places keep their order.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.year > b.year; });
    for (const Entry& entry : entries) {
        const std::optional<std::string> command =
            read_text_at(tried, entry.place, "UninstallString");
        if (!command) continue;
        // A tree deleted by hand leaves its entry behind.
        if (const auto tree = tree_of_uninstaller(*command)) {
            if (auto bin = bin_folder(*tree, entry.year)) return bin;
        }
    }
    return std::nullopt;
}

// A bin folder of a TeX Live tree: <tree>\bin\windows or <tree>\bin\win32
// beside <tree>\release-texlive.txt. MiKTeX's tex.exe is not in one.
bool is_texlive_bin(std::string_view folder) {
    for (const std::string_view bin : {kBinWindows, kBinWin32}) {
        // append(), not "\\" + std::string: GCC 12 at -O3 warns falsely of overlap there.
        if (folder.size() > bin.size() + 1 &&
            ends_with_path(folder, std::string("\\").append(bin))) {
            const std::string_view tree = folder.substr(0, folder.size() - bin.size() - 1);
            return file_exists(path_join(tree, kReleaseFile));
        }
    }
    return false;
}

std::optional<std::string> from_default_folder(PlacesTried& tried) {
    tried.add(path_join(kDefaultFolder, "<year>"));
    for (const std::string& name : names_newest_first(kDefaultFolder, "*")) {
        if (!is_year(name)) continue;
        if (auto bin = bin_folder(path_join(kDefaultFolder, name), std::stoi(name))) return bin;
    }
    return std::nullopt;
}

}  // namespace

int texlive_detect(std::string& result, Failure* failure, ChangeSession* session) {
    result.clear();
    PlacesTried tried(session);
    std::optional<std::string> bin = from_uninstall_entries(tried);
    if (!bin) {
        tried.add(std::string(kProgram) + " along Path");
        bin = directory_on_search_path(kProgram, "Path", is_texlive_bin);
    }
    if (!bin) bin = from_default_folder(tried);
    if (!bin) return fail(failure, 1, tried.not_found("TeX Live"));
    result = std::move(*bin);
    return 0;
}

int texlive_add_to_path(EnvChanges& changes, Scope scope, Position position, Failure* failure,
                        ChangeSession* session) {
    std::string bin;
    if (texlive_detect(bin, failure, session) != 0) return 2;
    // Path's separator inside the folder's name would add two wrong entries.
    if (bin.find(';') != std::string::npos)
        return fail(failure, 2,
                    "TeX Live's bin folder " + bin + " cannot go into Path: it holds a ';'");
    return env_add_to_path(changes, bin, scope, position, failure, session);
}

}  // namespace qh
