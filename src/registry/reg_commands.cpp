// The registry commands of the command line: resolve the path as typed, then
// one primitive.
#include "registry/reg_commands.h"

#include <optional>

#include "registry/reg_reason.h"

namespace qh {

namespace {

// The reason for a primitive's code: 1 the key step, 2 the value step.
std::string step_reason(int code, const KeyPath& path, ValueName name, long status) {
    return code == 1 ? reg_key_reason(path.root, path.subkey, status)
                     : reg_value_reason(path.root, path.subkey, name, status);
}

// A primitive's code passed on, with the reason of the step that failed.
int step_outcome(int code, const KeyPath& path, ValueName name, long status, Failure* failure) {
    if (code == 0) return 0;
    return fail(failure, code, step_reason(code, path, name, status), status);
}

}  // namespace

int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name,
                        Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 10, reg_path_reason(key_path));
    long status;
    const int code = reg_read_value_at(out, path->root, path->subkey, name, &status);
    return step_outcome(code, *path, name, status, failure);
}

int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name,
                       Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 10, reg_path_reason(key_path));
    long status;
    const int code = reg_write_sz_at(text, path->root, path->subkey, name, &status);
    return step_outcome(code, *path, name, status, failure);
}

int reg_delete_path_value(std::string_view key_path, ValueName name, Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 1, reg_path_reason(key_path));
    long status;
    const int code = reg_delete_value_at(path->root, path->subkey, name, &status);
    return step_outcome(code, *path, name, status, failure);
}

int reg_create_key_path(std::string_view key_path, Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 1, reg_path_reason(key_path));
    long status;
    const int code = reg_create_key_at(path->root, path->subkey, &status);
    if (code == 0) return 0;
    return fail(failure, code, reg_key_reason(path->root, path->subkey, status), status);
}

int reg_delete_key_path(std::string_view key_path, Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 1, reg_path_reason(key_path));
    long status;
    const int code = reg_delete_key_at(path->root, path->subkey, &status);
    if (code == 0) return 0;
    if (code == 1) {
        if (path->subkey.find_first_not_of('\\') == std::string_view::npos)
            return fail(failure, 1,
                        std::string(key_path) + " names a whole root key, which is never deleted");
        return fail(failure, 1,
                    reg_key_name(path->root, path->subkey) +
                        " is a hive, or a key that holds a whole part of the registry, "
                        "which is never deleted");
    }
    return fail(failure, code, reg_key_reason(path->root, path->subkey, status), status);
}

}  // namespace qh
