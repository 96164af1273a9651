#include "envpath/regp.h"

#include <optional>
#include <string>

#include "envpath/list_value.h"
#include "envpath/path_list.h"
#include "registry/reg_reason.h"

namespace qh {

namespace {

// `edit` receives the name that the reasons give the list.
using NamedEdit = std::function<int(std::string& list, std::string_view list_name)>;

int edit_at_path(std::string_view key_path, ValueName name, Failure* failure,
                 const NamedEdit& edit) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 1, reg_path_reason(key_path));
    const std::string list_name =
        reg_value_label(name) + " of " + reg_key_name(path->root, path->subkey);
    return edit_list_value(
        path->root, path->subkey, name, [&](std::string& list) { return edit(list, list_name); },
        failure, list_name);
}

}  // namespace

int regp_add(std::string_view dirs, std::string_view key_path, ValueName name, Position position,
             Failure* failure) {
    return edit_at_path(key_path, name, failure,
                        [&](std::string& list, std::string_view list_name) {
                            return pathlist_add(list, dirs, position, failure, list_name);
                        });
}

int regp_remove(std::string_view dirs, std::string_view key_path, ValueName name,
                Failure* failure) {
    return edit_at_path(key_path, name, failure,
                        [&](std::string& list, std::string_view list_name) {
                            return pathlist_remove(list, dirs, failure, list_name);
                        });
}

}  // namespace qh
