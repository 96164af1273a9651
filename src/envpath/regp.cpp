#include "envpath/regp.h"

#include <optional>
#include <string>

#include "envpath/list_value.h"
#include "envpath/path_list.h"
#include "registry/reg_reason.h"

namespace qh {

namespace {

int edit_at_path(std::string_view key_path, ValueName name, const ListEdit& edit, Failure* failure,
                 ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kListNotRead, reg_path_reason(key_path));
    const std::string list_name =
        reg_value_label(name) + " of " + reg_key_name(path->root, path->subkey);
    return edit_list_value(path->root, path->subkey, name, edit, failure, list_name, ListType::keep,
                           nullptr, session);
}

}  // namespace

int regp_add(std::string_view dirs, std::string_view key_path, ValueName name, Position position,
             Failure* failure, ChangeSession* session) {
    return edit_at_path(
        key_path, name,
        [&](std::string& list, std::string_view list_name, Failure* why) {
            return pathlist_add(list, dirs, position, why, list_name);
        },
        failure, session);
}

int regp_remove(std::string_view dirs, std::string_view key_path, ValueName name, Failure* failure,
                ChangeSession* session) {
    return edit_at_path(
        key_path, name,
        [&](std::string& list, std::string_view list_name, Failure* why) {
            return pathlist_remove(list, dirs, why, list_name);
        },
        failure, session);
}

}  // namespace qh
