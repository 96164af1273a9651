// Registry path texts: "ROOT\subkey" into a root key and a subkey.
#include <array>
#include <cctype>

#include "registry/reg_value.h"

namespace qh {

namespace {

struct RootName {
    std::string_view name;
    platform::Root root;
};

constexpr std::array<RootName, 7> kRootNames{{
    {"HKEY_CLASSES_ROOT", platform::Root::classes_root},
    {"HKEY_CURRENT_USER", platform::Root::current_user},
    {"HKEY_LOCAL_MACHINE", platform::Root::local_machine},
    {"HKEY_USERS", platform::Root::users},
    {"HKEY_PERFORMANCE_DATA", platform::Root::performance_data},
    {"HKEY_CURRENT_CONFIG", platform::Root::current_config},
    {"HKEY_DYN_DATA", platform::Root::dyn_data},
}};

// The root names are plain ASCII, so the locale plays no part here: a
// double-byte character can never make a root name match.
bool equals_ascii_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) {
            if (ca != cb) return false;
        } else if (std::tolower(ca) != std::tolower(cb)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Key reg_split_root(std::string& subkey, std::string_view path) {
    const auto slash = path.find('\\');
    if (slash == std::string_view::npos) return Key{};
    const std::string_view root_name = path.substr(0, slash);
    for (const RootName& known : kRootNames) {
        if (equals_ascii_nocase(root_name, known.name)) {
            subkey.assign(path.substr(slash + 1));
            return platform::root_key(known.root);
        }
    }
    return Key{};
}

Key reg_open_path(std::string_view path, bool for_reading) {
    std::string subkey;
    const Key root = reg_split_root(subkey, path);
    if (!root) return Key{};
    Key key;
    const long status = for_reading ? platform::reg_open_key(root, subkey, key)
                                    : platform::reg_create_key_ex(root, subkey, key);
    if (status != platform::kErrorSuccess) return Key{};
    return key;
}

}  // namespace qh
