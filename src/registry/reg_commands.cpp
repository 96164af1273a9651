// The registry commands of the command line: resolve the path as typed, then
// one primitive.
#include "registry/reg_commands.h"

#include <optional>

namespace qh {

int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 10;
    return reg_read_value_at(out, path->root, path->subkey, name);
}

int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 10;
    return reg_write_sz_at(text, path->root, path->subkey, name);
}

int reg_delete_path_value(std::string_view key_path, ValueName name) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 1;
    return reg_delete_value_at(path->root, path->subkey, name);
}

int reg_create_key_path(std::string_view key_path) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 1;
    return reg_create_key_at(path->root, path->subkey);
}

int reg_delete_key_path(std::string_view key_path) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return 1;
    return reg_delete_key_at(path->root, path->subkey);
}

}  // namespace qh
