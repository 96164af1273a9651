#include "registry/reg_protected.h"

#include <array>
#include <cstddef>
#include <vector>

#include "registry/reg_path.h"

namespace qh {

namespace {

using platform::Root;

// Where a row's keys lie.
enum class Under {
    users,                   // HKEY_USERS: its keys are the hives
    machine,                 // HKEY_LOCAL_MACHINE
    current_config,          // HKEY_CURRENT_CONFIG
    user_hives,              // HKEY_CURRENT_USER, and each hive below HKEY_USERS
    machine_and_user_hives,  // HKEY_LOCAL_MACHINE and each user hive
    class_registries,        // HKEY_CLASSES_ROOT and each Software\Classes behind it
};

// Paths are key names separated by backslashes. In a name, "|" separates
// alternatives, "#" is one digit and "?" one or more characters of any kind;
// every other character stands for itself, letter case aside.
struct Base {
    Under under;            // the row's place
    Root root;              // one root where it is
    std::string_view path;  // and the key there below which the row's paths lie
};

constexpr Base kBases[] = {
    {Under::users, Root::users, ""},
    {Under::machine, Root::local_machine, ""},
    {Under::current_config, Root::current_config, ""},
    {Under::user_hives, Root::current_user, ""},
    {Under::user_hives, Root::users, "?"},
    {Under::machine_and_user_hives, Root::local_machine, ""},
    {Under::machine_and_user_hives, Root::current_user, ""},
    {Under::machine_and_user_hives, Root::users, "?"},
    {Under::class_registries, Root::classes_root, ""},
    {Under::class_registries, Root::local_machine, "SOFTWARE\\Classes"},
    {Under::class_registries, Root::current_user, "Software\\Classes"},
    {Under::class_registries, Root::users, "?\\Software\\Classes"},
    {Under::class_registries, Root::users, "?_Classes"},  // a user's classes as a hive
};

struct Protected {
    Under under;            // where the keys lie (every base of that place)
    std::string_view path;  // the keys' paths there
};

constexpr Protected kProtected[] = {
    {Under::users, "?"},
    {Under::machine, "?"},
    {Under::current_config, "?"},
    // Windows' own keys of a profile; an application's HKEY_CURRENT_USER\App
    // stays deletable.
    {Under::user_hives,
     "AppEvents|Console|Control Panel|Environment|EUDC|Identities|Keyboard Layout|Network|"
     "Printers|Software|System|Volatile Environment"},
    {Under::class_registries, ""},
    {Under::class_registries,
     "CLSID|Interface|TypeLib|AppID|*|Directory|Drive|Folder|AllFilesystemObjects"},
    {Under::machine, "SOFTWARE\\WOW6432Node"},
    {Under::machine, "SYSTEM\\CurrentControlSet|ControlSet###|Select|Setup"},
    {Under::machine,
     "SYSTEM\\CurrentControlSet|ControlSet###\\Control|Services|Enum|Hardware Profiles"},
    {Under::machine, "SYSTEM\\CurrentControlSet|ControlSet###\\Control\\Session Manager"},
    {Under::machine,
     "SYSTEM\\CurrentControlSet|ControlSet###\\Control\\Session Manager\\Environment"},
    {Under::machine_and_user_hives, "Software\\Microsoft|Policies"},
    {Under::machine_and_user_hives, "Software\\Microsoft\\Windows|Windows NT"},
    {Under::machine_and_user_hives, "Software\\Microsoft\\Windows|Windows NT\\CurrentVersion"},
};

// The key names of a path. Empty components (doubled, leading or trailing
// backslashes) name nothing, so they cannot hide a protected key.
std::vector<std::string_view> key_names(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool matches_alternative(std::string_view pattern, std::string_view name) {
    if (pattern.empty()) return name.empty();
    if (pattern[0] == '?') {
        for (std::size_t taken = 1; taken <= name.size(); ++taken)
            if (matches_alternative(pattern.substr(1), name.substr(taken))) return true;
        return false;
    }
    if (name.empty()) return false;
    const bool same = pattern[0] == '#' ? name[0] >= '0' && name[0] <= '9'
                                        : reg_same_name(pattern.substr(0, 1), name.substr(0, 1));
    return same && matches_alternative(pattern.substr(1), name.substr(1));
}

bool matches_name(std::string_view pattern, std::string_view name) {
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = pattern.find('|', start);
        if (matches_alternative(pattern.substr(start, bar - start), name)) return true;
        if (bar == std::string_view::npos) return false;
        start = bar + 1;
    }
}

bool matches(const std::vector<std::string_view>& patterns,
             const std::vector<std::string_view>& names) {
    if (patterns.size() != names.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!matches_name(patterns[i], names[i])) return false;
    return true;
}

}  // namespace

bool reg_key_is_protected(platform::Key root, std::string_view subkey) {
    const std::vector<std::string_view> names = key_names(subkey);
    if (names.empty()) return true;
    for (const Protected& row : kProtected) {
        for (const Base& base : kBases) {
            if (base.under != row.under || root != platform::root_key(base.root)) continue;
            std::vector<std::string_view> patterns = key_names(base.path);
            for (const std::string_view name : key_names(row.path)) patterns.push_back(name);
            if (matches(patterns, names)) return true;
        }
    }
    return false;
}

}  // namespace qh
