#include "registry/reg_protected.h"

#include <array>
#include <cstddef>
#include <vector>

#include "registry/reg_path.h"

namespace qh {

namespace {

using platform::Root;

// Matches any one key name.
constexpr std::string_view kAny = "*";

struct Protected {
    Root root;                              // the root the path starts at
    std::array<std::string_view, 3> names;  // the path's key names; unused places empty
};

constexpr std::array<Protected, 9> kProtected{{
    {Root::users, {kAny}},
    {Root::users, {kAny, kAny}},
    {Root::users, {kAny, "Software", "Classes"}},
    {Root::local_machine, {kAny}},
    {Root::local_machine, {"SOFTWARE", "Classes"}},
    {Root::local_machine, {"SOFTWARE", "WOW6432Node"}},
    {Root::current_user, {kAny}},
    {Root::current_user, {"Software", "Classes"}},
    {Root::current_config, {kAny}},
}};

// The key names of a subkey. Empty components (doubled, leading or trailing
// backslashes) name nothing, so they cannot hide a protected key.
std::vector<std::string_view> key_names(std::string_view subkey) {
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start <= subkey.size()) {
        std::size_t end = subkey.find('\\', start);
        if (end == std::string_view::npos) end = subkey.size();
        if (end > start) names.push_back(subkey.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool matches(const Protected& row, const std::vector<std::string_view>& names) {
    std::size_t count = 0;
    while (count < row.names.size() && !row.names[count].empty()) ++count;
    if (names.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (row.names[i] != kAny && !reg_same_name(row.names[i], names[i])) return false;
    return true;
}

}  // namespace

bool reg_key_is_protected(platform::Key root, std::string_view subkey) {
    const std::vector<std::string_view> names = key_names(subkey);
    if (names.empty()) return true;
    for (const Protected& row : kProtected)
        if (root == platform::root_key(row.root) && matches(row, names)) return true;
    return false;
}

}  // namespace qh
