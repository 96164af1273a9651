#include "envpath/env_store.h"

#include <optional>

#include "envpath/autoexec_batch.h"
#include "envpath/list_value.h"
#include "envpath/path_list.h"
#include "platform/platform.h"
#include "registry/reg_reason.h"

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

// A write or delete of one variable: a success is an environment change;
// code 1 failed at the key, 2 at the value.
int store_outcome(RunContext& run, const StoreKey& key, std::string_view name, int result,
                  long status, Failure* failure) {
    if (result == 0) {
        run.env_changed = true;
        return 0;
    }
    const std::string reason = result == 1 ? reg_key_reason(key.root, key.subkey, status)
                                           : reg_value_reason(key.root, key.subkey, name, status);
    return fail(failure, result, reason, status);
}

int edit_env_list(RunContext& run, std::string_view name, Scope scope, const ListEdit& edit,
                  Failure* failure) {
    const StoreKey key = store_key(scope);
    const int result = edit_list_value(key.root, key.subkey, name, edit, failure, name);
    if (result == 0) run.env_changed = true;
    return result;
}

// Neither family's store can be chosen without knowing the family.
constexpr std::string_view kNoFamily = "the Windows version cannot be determined";

}  // namespace

int env_write(RunContext& run, std::string_view value, std::string_view name, Scope scope,
              Failure* failure) {
    const StoreKey key = store_key(scope);
    long status;
    const int result = reg_write_sz_at(value, key.root, key.subkey, name, &status);
    return store_outcome(run, key, name, result, status, failure);
}

int env_delete(RunContext& run, std::string_view name, Scope scope, Failure* failure) {
    const StoreKey key = store_key(scope);
    long status;
    const int result = reg_delete_value_at(key.root, key.subkey, name, &status);
    return store_outcome(run, key, name, result, status, failure);
}

int env_add_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                 Position position, Failure* failure) {
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return fail(failure, 1, std::string(kNoFamily));
    if (*family == platform::Family::win9x) return autoexec_add_path(dirs, name, position, failure);
    return edit_env_list(
        run, name, scope,
        [&](std::string& list) { return pathlist_add(list, dirs, position, failure, name); },
        failure);
}

int env_remove_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                    Failure* failure) {
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return fail(failure, 1, std::string(kNoFamily));
    if (*family == platform::Family::win9x) return autoexec_remove_path(dirs, name, failure);
    return edit_env_list(
        run, name, scope,
        [&](std::string& list) { return pathlist_remove(list, dirs, failure, name); }, failure);
}

int env_add_to_path(RunContext& run, std::string_view dirs, Scope scope, Position position,
                    Failure* failure) {
    return env_add_path(run, dirs, "Path", scope, position, failure);
}

int env_remove_from_path(RunContext& run, std::string_view dirs, Scope scope, Failure* failure) {
    return env_remove_path(run, dirs, "Path", scope, failure);
}

void env_broadcast_change(const RunContext& run) {
    if (run.env_changed) platform::broadcast_environment_change();
}

}  // namespace qh
