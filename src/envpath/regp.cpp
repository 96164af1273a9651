#include "envpath/regp.h"

#include <optional>
#include <string>

#include "envpath/list_value.h"
#include "envpath/path_list.h"

namespace qh {

namespace {

int edit_at_path(std::string_view key_path, ValueName name, const ListEdit& edit) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 1;
    return edit_list_value(path->root, path->subkey, name, edit);
}

}  // namespace

int regp_add(std::string_view dirs, std::string_view key_path, ValueName name, Position position) {
    return edit_at_path(key_path, name,
                        [&](std::string& list) { return pathlist_add(list, dirs, position); });
}

int regp_remove(std::string_view dirs, std::string_view key_path, ValueName name) {
    return edit_at_path(key_path, name,
                        [&](std::string& list) { return pathlist_remove(list, dirs); });
}

}  // namespace qh
