// The registry commands of the command line: resolve the path as typed, then
// one primitive.
#include "registry/reg_commands.h"

#include <optional>

#include "registry/reg_protected.h"
#include "registry/reg_reason.h"
#include "registry/reg_typed.h"

namespace qh {

namespace {

// The code of a value command for the step that failed.
int value_code(const RegResult& result) {
    return result.failed == RegStep::key ? kValueKeyFailed : kValueFailed;
}

// A path whose subkey is empty or only backslashes.
bool names_root_alone(const KeyPath& path) {
    return path.subkey.find_first_not_of('\\') == std::string_view::npos;
}

}  // namespace

int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name, Failure* failure,
                        ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kValuePathRootUnknown, reg_path_reason(key_path));
    const RegResult result = reg_read_value_at(out, path->root, path->subkey, name, session);
    if (result.ok()) return 0;
    return reg_fail(failure, value_code(result), result, path->root, path->subkey, name);
}

int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name,
                       Failure* failure, ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kValuePathRootUnknown, reg_path_reason(key_path));
    const RegResult result = reg_write_sz_at(text, path->root, path->subkey, name, session);
    if (result.ok()) return 0;
    return reg_fail(failure, value_code(result), result, path->root, path->subkey, name);
}

int reg_set_typed_path_value(std::string_view key_path, ValueName name, std::string_view type,
                             std::string_view data, Failure* failure, ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kValuePathRootUnknown, reg_path_reason(key_path));
    if (names_root_alone(*path))
        return fail(failure, kValueKeyFailed,
                    std::string(key_path) + " names a whole root key; name a key below it");
    const std::optional<std::uint32_t> type_number = reg_type_from_name(type);
    if (!type_number)
        return fail(failure, kValueDataRefused,
                    std::string(type) +
                        " is no value type: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, "
                        "REG_QWORD, REG_BINARY or REG_NONE");
    std::string why;
    const std::optional<std::string> bytes = reg_typed_bytes(*type_number, data, why);
    if (!bytes) return fail(failure, kValueDataRefused, why);
    const OwnedKey key = reg_create(path->root, path->subkey, session);
    RegResult result = key.result();
    if (key) result = reg_write_raw(*bytes, *type_number, key, name);
    if (result.ok()) return 0;
    return reg_fail(failure, value_code(result), result, path->root, path->subkey, name);
}

int reg_delete_path_value(std::string_view key_path, ValueName name, Failure* failure,
                          ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kValueKeyFailed, reg_path_reason(key_path));
    const RegResult result = reg_delete_value_at(path->root, path->subkey, name, session);
    if (result.ok()) return 0;
    return reg_fail(failure, value_code(result), result, path->root, path->subkey, name);
}

int reg_create_key_path(std::string_view key_path, Failure* failure, ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kKeyRefused, reg_path_reason(key_path));
    const RegResult result = reg_create_key_at(path->root, path->subkey, session);
    if (result.ok()) return 0;
    return reg_fail(failure, kKeyNotDone, result, path->root, path->subkey);
}

int reg_delete_key_path(std::string_view key_path, Failure* failure, ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kKeyRefused, reg_path_reason(key_path));
    if (names_root_alone(*path))
        return fail(failure, kKeyRefused,
                    std::string(key_path) + " names a whole root key, which is never deleted");
    if (reg_key_is_protected(path->root, path->subkey))
        return fail(failure, kKeyRefused,
                    reg_key_name(path->root, path->subkey) +
                        " is a hive, or a key that holds a whole part of the registry, "
                        "which is never deleted");
    const RegResult result = reg_delete_key_at(path->root, path->subkey, session);
    if (result.ok()) return 0;
    return reg_fail(failure, kKeyNotDone, result, path->root, path->subkey);
}

}  // namespace qh
