#include "detect/tex_tools.h"

#include <optional>
#include <string>
#include <string_view>

#include "envpath/path_text.h"
#include "platform/platform.h"
#include "registry/reg_value.h"

namespace qh {

namespace {

constexpr std::string_view kMiktexKey = "SOFTWARE\\MiK\\MiKTeX\\CurrentVersion\\MiKTeX";
constexpr std::string_view kDirectCdLocalRoot = "C:\\MiKTeXDirect";

// A string value under the root, at full length; nothing when not read.
std::optional<std::string> read_text_at(platform::Root root, std::string_view subkey,
                                        std::string_view name) {
    RegValue value;
    if (reg_read_value_at(value, platform::root_key(root), subkey, name) != 0) {
        return std::nullopt;
    }
    return reg_value_text(value);
}

// The current user's MiKTeX settings take precedence over the machine's.
std::optional<std::string> miktex_reg_query(std::string_view name) {
    if (auto text = read_text_at(platform::Root::current_user, kMiktexKey, name)) return text;
    return read_text_at(platform::Root::local_machine, kMiktexKey, name);
}

bool file_exists(std::string_view path) {
    return platform::find_first_attributes(path).has_value();
}

// Asks MiKTeX's own lookup program where `file` lives and cuts `marker` (the
// file's place inside the tree) off its answer, leaving the tree's root.
// The command lines are fixed texts: nothing read from the machine goes in.
std::optional<std::string> findtexmf_root(std::string_view command_line, std::string_view marker) {
    const platform::CommandResult run = platform::run_command(command_line);
    if (!run.started || run.output.empty()) return std::nullopt;

    std::string line = run.output.substr(0, run.output.find('\n'));
    if (line.find('.') != std::string::npos) path_normalize(line);
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) return std::nullopt;
    line.erase(at);
    return line;
}

// Where the MiKTeX settings were looked for, for the reasons.
std::string miktex_keys() {
    return "HKEY_CURRENT_USER\\" + std::string(kMiktexKey) + ", HKEY_LOCAL_MACHINE\\" +
           std::string(kMiktexKey);
}

MiktexOutcome none_found(Failure* failure, std::string reason) {
    fail(failure, 1, std::move(reason));
    return MiktexOutcome::none;
}

}  // namespace

int detect_winedt(std::string& result, Failure* failure) {
    auto root = read_text_at(platform::Root::current_user, "Software\\WinEdt", "Install Root");
    if (!root) {
        root = read_text_at(platform::Root::local_machine, "SOFTWARE\\WinEdt", "Install Root");
    }
    // Nothing stale may be reported as the editor's directory.
    result = root.value_or(std::string());
    if (root) return 0;
    return fail(failure, 1,
                "no WinEdt found (looked in HKEY_CURRENT_USER\\Software\\WinEdt, "
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\WinEdt)");
}

MiktexOutcome detect_miktex(std::string& texmf, std::string& local_texmf, Failure* failure) {
    // The registry's tree counts only when tex.exe really is in it.
    std::optional<std::string> main_tree = miktex_reg_query("Install Root");
    if (main_tree && !file_exists(path_join(*main_tree, "miktex\\bin\\tex.exe"))) {
        main_tree.reset();
    }
    if (!main_tree) {
        main_tree = findtexmf_root("findtexmf.exe tex.exe", "\\miktex\\bin\\tex.exe");
        if (!main_tree) {
            return none_found(failure, "no MiKTeX installation found (looked in " + miktex_keys() +
                                           ", findtexmf.exe tex.exe)");
        }
    }
    texmf = *main_tree;

    MiktexOutcome outcome = MiktexOutcome::normal;
    // A DirectCD installation runs from read-only media: its md.ini cannot be written.
    const auto md_ini = platform::find_first_attributes(path_join(texmf, "miktex\\config\\md.ini"));
    if (md_ini && (*md_ini & platform::kAttrReadOnly) != 0) {
        local_texmf =
            platform::env_lookup("MD_LOCALROOT").value_or(std::string(kDirectCdLocalRoot));
        outcome = MiktexOutcome::direct_cd;
    } else if (auto local_root = miktex_reg_query("Local Root")) {
        local_texmf = *local_root;
    } else if (auto found = findtexmf_root("findtexmf.exe psfonts_t1.map",
                                           "\\dvips\\config\\psfonts_t1.map")) {
        local_texmf = *found;
    } else {
        return none_found(failure, "no MiKTeX local tree found for " + texmf + " (looked in " +
                                       miktex_keys() + ", findtexmf.exe psfonts_t1.map)");
    }

    // One tree serving as both roots is not a usable installation.
    if (platform::locale_compare_nocase(texmf, local_texmf) == 0) {
        return none_found(failure, "MiKTeX's main tree and local tree are both " + texmf);
    }
    return outcome;
}

}  // namespace qh
