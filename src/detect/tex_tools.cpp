#include "detect/tex_tools.h"

#include <map>
#include <span>
#include <string_view>

#include "detect/places.h"
#include "envpath/path_text.h"
#include "platform/platform.h"

namespace qh {

namespace {

using platform::Root;

// ------------------------------------------------------------------ WinEdt

constexpr std::string_view kWinEdtVersioned = "WinEdt ";

// "WinEdt <N>", as WinEdt 6 and later name their keys.
bool is_winedt_version_key(std::string_view name) {
    if (!name.starts_with(kWinEdtVersioned) || name.size() == kWinEdtVersioned.size()) return false;
    name.remove_prefix(kWinEdtVersioned.size());
    return name.find_first_not_of("0123456789") == std::string_view::npos;
}

// The WinEdt keys in the order they are tried. A versioned key is found
// among the subkeys of `subkey`.
struct WinEdtKey {
    Root root;           // the setting's root
    const char* subkey;  // the key, or the parent of the versioned keys
    bool versioned;      // the newest "WinEdt <N>" below subkey
};
constexpr WinEdtKey kWinEdtKeys[] = {
    {Root::current_user, "Software\\WinEdt", false},
    {Root::local_machine, "SOFTWARE\\WinEdt", false},
    {Root::current_user, "Software", true},
    {Root::local_machine, "SOFTWARE", true},
};

// ------------------------------------------------------------------ MiKTeX

// MiKTeX 2.4.
constexpr std::string_view kMiktexKey = "SOFTWARE\\MiK\\MiKTeX\\CurrentVersion\\MiKTeX";
// MiKTeX 2.5 and later: SOFTWARE\MiKTeX.org\MiKTeX\<series>\Core.
constexpr std::string_view kMiktexOrgKey = "SOFTWARE\\MiKTeX.org\\MiKTeX";
constexpr std::string_view kMiktexOrgBelow = "Core";
// The main tree and the local tree of the per-user and the shared install.
constexpr std::string_view kMiktexOrgMainTrees[] = {"UserInstall", "CommonInstall"};
constexpr std::string_view kMiktexOrgLocalTrees[] = {"UserData", "CommonData"};

constexpr std::string_view kDirectCdLocalRoot = "C:\\MiKTeXDirect";

// tex.exe within a main tree, MiKTeX 2.4's place first, then 64-bit MiKTeX's.
constexpr std::string_view kTexPrograms[] = {"miktex\\bin\\tex.exe", "miktex\\bin\\x64\\tex.exe"};
// psfonts_t1.map within a local tree, MiKTeX 2.4's place first, then that of
// current releases.
constexpr std::string_view kFontMapMarkers[] = {"\\dvips\\config\\psfonts_t1.map",
                                                "\\fonts\\map\\dvips\\psfonts_t1.map"};

bool file_exists(std::string_view path) {
    return platform::find_first_attributes(path).has_value();
}

// What one pass of the MiKTeX detection accepts.
struct MiktexPass {
    bool classic_only;                               // only the first classic setting with a value
    std::span<const std::string_view> tex_programs;  // where tex.exe may be in a main tree
    std::span<const std::string_view> font_map_markers;  // cut from findtexmf's answer
};
constexpr MiktexPass kClassicPass{true, std::span(kTexPrograms).first(1),
                                  std::span(kFontMapMarkers).first(1)};
constexpr MiktexPass kFullPass{false, kTexPrograms, kFontMapMarkers};

// MiKTeX's own lookup program, each question asked at most once per
// detection: its answer does not change between the passes.
class Findtexmf {
  public:
    explicit Findtexmf(PlacesTried& tried) : tried_(tried) {}

    // The first line of the answer; nothing when the program cannot be
    // started or prints nothing. The command lines are fixed texts: nothing
    // read from the machine goes in.
    const std::optional<std::string>& first_line(const std::string& command_line) {
        tried_.add(command_line);
        const auto known = answers_.find(command_line);
        if (known != answers_.end()) return known->second;
        const platform::CommandResult run = platform::run_command(command_line);
        std::optional<std::string> line;
        if (run.started && !run.output.empty()) line = run.output.substr(0, run.output.find('\n'));
        return answers_.emplace(command_line, std::move(line)).first->second;
    }

    // Where `file` lives, with the first of `markers` (its place inside the
    // tree) that the answer holds cut off: the tree's root.
    std::optional<std::string> tree_root(std::string_view file,
                                         std::span<const std::string_view> markers) {
        std::optional<std::string> line = first_line("findtexmf.exe " + std::string(file));
        if (!line) return std::nullopt;
        if (line->find('.') != std::string::npos) path_normalize(*line);
        for (const std::string_view marker : markers) {
            const std::size_t at = line->find(marker);
            if (at != std::string::npos) return line->substr(0, at);
        }
        return std::nullopt;
    }

  private:
    PlacesTried& tried_;
    std::map<std::string, std::optional<std::string>> answers_;
};

// The settings of one pass in their order, each noted as tried.
std::vector<std::string> settings_of(const std::vector<MiktexSetting>& settings, bool classic_only,
                                     PlacesTried& tried) {
    std::vector<std::string> texts;
    for (const MiktexSetting& setting : settings) {
        if (classic_only && !setting.classic) continue;
        tried.add(setting.place);
        if (!setting.text) continue;
        texts.push_back(*setting.text);
        // MiKTeX 2.4's own lookup stops at the first value it finds.
        if (classic_only) break;
    }
    return texts;
}

std::optional<std::string> main_tree(const MiktexRegistry& registry, const MiktexPass& pass,
                                     Findtexmf& findtexmf, PlacesTried& tried) {
    // A registered tree counts only when tex.exe really is in it.
    for (const std::string& tree : settings_of(registry.main_trees, pass.classic_only, tried)) {
        for (const std::string_view program : pass.tex_programs) {
            if (file_exists(path_join(tree, program))) return tree;
        }
    }
    std::vector<std::string> markers;
    for (const std::string_view program : pass.tex_programs) {
        // Built by append: GCC 12 at -O3 warns falsely (-Wrestrict) on "\\" + string.
        std::string marker(1, '\\');
        marker.append(program);
        markers.push_back(std::move(marker));
    }
    const std::vector<std::string_view> marker_views(markers.begin(), markers.end());
    return findtexmf.tree_root("tex.exe", marker_views);
}

MiktexOutcome none_found(Failure* failure, std::string reason) {
    fail(failure, 1, std::move(reason));
    return MiktexOutcome::none;
}

MiktexOutcome miktex_pass(const MiktexRegistry& registry, const MiktexPass& pass,
                          Findtexmf& findtexmf, std::string& texmf, std::string& local_texmf,
                          PlacesTried& tried, Failure* failure) {
    const std::optional<std::string> main = main_tree(registry, pass, findtexmf, tried);
    if (!main) return none_found(failure, tried.not_found("MiKTeX installation"));
    texmf = *main;

    MiktexOutcome outcome = MiktexOutcome::normal;
    // A DirectCD installation runs from read-only media: its md.ini cannot be written.
    const auto md_ini = platform::find_first_attributes(path_join(texmf, "miktex\\config\\md.ini"));
    if (md_ini && (*md_ini & platform::kAttrReadOnly) != 0) {
        local_texmf =
            platform::env_lookup("MD_LOCALROOT").value_or(std::string(kDirectCdLocalRoot));
        outcome = MiktexOutcome::direct_cd;
    } else if (const auto local = settings_of(registry.local_trees, pass.classic_only, tried);
               !local.empty()) {
        local_texmf = local.front();
    } else if (auto found = findtexmf.tree_root("psfonts_t1.map", pass.font_map_markers)) {
        local_texmf = *found;
    } else {
        return none_found(failure, tried.not_found("MiKTeX local tree for " + texmf));
    }

    // One tree serving as both roots is not a usable installation.
    if (platform::locale_compare_nocase(texmf, local_texmf) == 0) {
        return none_found(failure, "MiKTeX's main tree and local tree are both " + texmf);
    }
    return outcome;
}

}  // namespace

int detect_winedt(std::string& result, Failure* failure, ChangeSession* session) {
    result.clear();
    PlacesTried tried(session);
    for (const WinEdtKey& key : kWinEdtKeys) {
        for (const View view : views_of(key.root, key.subkey)) {
            std::optional<std::string> root;
            if (key.versioned) {
                const RegistryPlace parent{key.root, key.subkey, view};
                tried.add(
                    RegistryPlace{key.root, std::string(key.subkey) + "\\WinEdt <N>", view}.text());
                root =
                    read_text_of_newest(tried, parent, "Install Root", {}, is_winedt_version_key);
            } else {
                const RegistryPlace place{key.root, key.subkey, view};
                tried.add(place.text());
                root = read_text_at(tried, place, "Install Root");
            }
            if (root) {
                result = std::move(*root);
                return 0;
            }
        }
    }
    return fail(failure, 1, tried.not_found("WinEdt"));
}

MiktexRegistry read_miktex_registry(ChangeSession* session) {
    MiktexRegistry registry;
    PlacesTried tried(session);
    // MiKTeX 2.4: the current user's settings before the machine's.
    for (const Root root : {Root::current_user, Root::local_machine}) {
        for (const View view : views_of(root, kMiktexKey)) {
            const RegistryPlace place{root, std::string(kMiktexKey), view};
            const bool classic = view == View::native;
            registry.main_trees.push_back(
                {place.text(), read_text_at(tried, place, "Install Root"), classic});
            registry.local_trees.push_back(
                {place.text(), read_text_at(tried, place, "Local Root"), classic});
        }
    }
    // Later releases, in the same order of roots and views.
    for (const Root root : {Root::current_user, Root::local_machine}) {
        for (const View view : views_of(root, kMiktexOrgKey)) {
            const RegistryPlace place{root, std::string(kMiktexOrgKey), view};
            const std::string text =
                RegistryPlace{root, std::string(kMiktexOrgKey) + "\\<series>\\Core", view}.text();
            for (const std::string_view name : kMiktexOrgMainTrees) {
                registry.main_trees.push_back(
                    {text, read_text_of_newest(tried, place, name, kMiktexOrgBelow)});
            }
            for (const std::string_view name : kMiktexOrgLocalTrees) {
                registry.local_trees.push_back(
                    {text, read_text_of_newest(tried, place, name, kMiktexOrgBelow)});
            }
        }
    }
    registry.registry_status = tried.registry_status();
    return registry;
}

MiktexOutcome detect_miktex(const MiktexRegistry& registry, std::string& texmf,
                            std::string& local_texmf, Failure* failure) {
    PlacesTried places;
    places.note_status(registry.registry_status);
    Findtexmf findtexmf(places);
    const MiktexOutcome classic =
        miktex_pass(registry, kClassicPass, findtexmf, texmf, local_texmf, places, failure);
    if (classic != MiktexOutcome::none) return classic;
    return miktex_pass(registry, kFullPass, findtexmf, texmf, local_texmf, places, failure);
}

}  // namespace qh
