// The registry commands of the command line: resolve the path as typed, then
// one primitive.
#include "registry/reg_commands.h"

namespace qh {

int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    if (!root) return 10;
    return reg_read_value_at(out, root, subkey, name);
}

int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    if (!root) return 10;
    return reg_write_sz_at(text, root, subkey, name);
}

int reg_delete_path_value(std::string_view key_path, ValueName name) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    return reg_delete_value_at(root, subkey, name);
}

int reg_create_key_path(std::string_view key_path) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    return reg_create_key_at(root, subkey);
}

int reg_delete_key_path(std::string_view key_path) {
    std::string subkey;
    const Key root = reg_split_root(subkey, key_path);
    return reg_delete_key_at(root, subkey);
}

}  // namespace qh
