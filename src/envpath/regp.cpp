#include "envpath/regp.h"

#include <string>

#include "envpath/list_value.h"
#include "envpath/path_list.h"

namespace qh {

namespace {

int edit_at_path(std::string_view key_path, ValueName name, const ListEdit& edit) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    if (!root) return 1;
    return edit_list_value(root, subkey, name, edit);
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
