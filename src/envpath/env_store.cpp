#include "envpath/env_store.h"

#include <optional>

#include "envpath/autoexec_batch.h"
#include "envpath/list_value.h"
#include "envpath/path_list.h"
#include "platform/platform.h"

namespace qh {

namespace {

struct StoreKey {
    Key root;
    std::string_view subkey;
};

StoreKey store_key(Scope scope) {
    if (scope == Scope::system) {
        return {platform::root_key(platform::Root::local_machine),
                "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"};
    }
    return {platform::root_key(platform::Root::current_user), "Environment"};
}

int edit_env_list(RunContext& run, std::string_view name, Scope scope, const ListEdit& edit) {
    const StoreKey key = store_key(scope);
    const int result = edit_list_value(key.root, key.subkey, name, edit);
    if (result == 0) run.env_changed = true;
    return result;
}

}  // namespace

int env_write(RunContext& run, std::string_view value, std::string_view name, Scope scope) {
    const StoreKey key = store_key(scope);
    const int result = reg_write_sz_at(value, key.root, key.subkey, name);
    if (result == 0) run.env_changed = true;
    return result;
}

int env_delete(RunContext& run, std::string_view name, Scope scope) {
    const StoreKey key = store_key(scope);
    const int result = reg_delete_value_at(key.root, key.subkey, name);
    if (result == 0) run.env_changed = true;
    return result;
}

int env_add_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                 Position position) {
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return 1;
    if (*family == platform::Family::win9x) return autoexec_add_path(dirs, name, position);
    return edit_env_list(run, name, scope,
                         [&](std::string& list) { return pathlist_add(list, dirs, position); });
}

int env_remove_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope) {
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return 1;
    if (*family == platform::Family::win9x) return autoexec_remove_path(dirs, name);
    return edit_env_list(run, name, scope,
                         [&](std::string& list) { return pathlist_remove(list, dirs); });
}

int env_add_to_path(RunContext& run, std::string_view dirs, Scope scope, Position position) {
    return env_add_path(run, dirs, "Path", scope, position);
}

int env_remove_from_path(RunContext& run, std::string_view dirs, Scope scope) {
    return env_remove_path(run, dirs, "Path", scope);
}

void env_broadcast_change(const RunContext& run) {
    if (run.env_changed) platform::broadcast_environment_change();
}

}  // namespace qh
