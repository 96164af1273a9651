#include "envpath/env_store.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "envpath/autoexec_batch.h"
#include "envpath/env_audit.h"
#include "envpath/list_value.h"
#include "envpath/path_list.h"
#include "platform/platform.h"
#include "registry/reg_reason.h"

namespace qh {

EnvKey env_key(Scope scope) {
    if (scope == Scope::system) {
        return {platform::root_key(platform::Root::local_machine),
                "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"};
    }
    return {platform::root_key(platform::Root::current_user), "Environment"};
}

namespace {

// The user's own environment is there for one who may not change the
// machine's.
int with_scope_advice(int code, Scope scope, Failure* failure) {
    if (code != 0 && scope == Scope::system && failure &&
        failure->status == platform::kErrorAccessDenied) {
        failure->reason += ", or use -user";
    }
    return code;
}

// A write or delete of one variable: a success is an environment change.
int store_outcome(EnvChanges& changes, const EnvKey& key, std::string_view name,
                  const RegResult& result, Failure* failure) {
    if (result.ok()) {
        changes.env_changed = true;
        return 0;
    }
    const int code = result.failed == RegStep::key ? kStoreKeyFailed : kStoreValueFailed;
    return reg_fail(failure, code, result, key.root, key.subkey, name);
}

// A variable that holds an expandable text keeps that type, so that its
// %SystemRoot% and the like still expand; a new one is a plain text.
std::uint32_t type_to_write(const EnvKey& key, std::string_view name) {
    RegValue current;
    if (reg_read_value_at(current, key.root, key.subkey, name).ok() &&
        current.type == platform::kRegExpandSz)
        return platform::kRegExpandSz;
    return platform::kRegSz;
}

int write_variable(EnvChanges& changes, std::string_view value, std::string_view name, Scope scope,
                   Failure* failure, ChangeSession* session) {
    const EnvKey key = env_key(scope);
    const std::uint32_t type = type_to_write(key, name);
    return store_outcome(changes, key, name,
                         reg_write_text_at(value, type, key.root, key.subkey, name, session),
                         failure);
}

// The machine's variables that Windows itself needs: deleting one breaks
// every program started afterwards, and a deleted Path cannot be rebuilt
// by +path.
constexpr std::string_view kVariablesWindowsNeeds[] = {
    "Path",
    "PATHEXT",
    "ComSpec",
    "SystemRoot",
    "windir",
    "OS",
    "TEMP",
    "TMP",
    "PSModulePath",
    "PROCESSOR_ARCHITECTURE",
    "NUMBER_OF_PROCESSORS",
    "DriverData",
};

bool windows_needs(std::string_view name) {
    for (const std::string_view needed : kVariablesWindowsNeeds)
        if (reg_same_name(name, needed)) return true;
    return false;
}

// Neither family's store can be chosen without knowing the family.
constexpr std::string_view kNoFamily = "the Windows version cannot be determined";

// A path-list edit of the variable: in the registry on the NT family, in
// the startup batch file on the 9x family (`on_9x`).
template <typename On9x>
int edit_variable_list(EnvChanges& changes, std::string_view name, Scope scope,
                       const ListEdit& edit, On9x on_9x, Failure* failure, ChangeSession* session,
                       ListType list_type = ListType::keep) {
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return fail(failure, 1, std::string(kNoFamily));
    if (*family == platform::Family::win9x) return on_9x();
    const EnvKey key = env_key(scope);
    bool written = false;
    const int result = edit_list_value(key.root, key.subkey, name, edit, failure, name, list_type,
                                       &written, session);
    if (written) changes.env_changed = true;
    return result;
}

int add_path(EnvChanges& changes, std::string_view dirs, std::string_view name, Scope scope,
             Position position, Failure* failure, ChangeSession* session) {
    return edit_variable_list(
        changes, name, scope,
        [&](std::string& list, std::string_view list_name, Failure* why) {
            return pathlist_add(list, dirs, position, why, list_name);
        },
        [&] { return autoexec_add_path(dirs, name, position, failure, session); }, failure,
        session);
}

}  // namespace

int env_write(EnvChanges& changes, std::string_view value, std::string_view name, Scope scope,
              Failure* failure, ChangeSession* session) {
    return with_scope_advice(write_variable(changes, value, name, scope, failure, session), scope,
                             failure);
}

int env_delete(EnvChanges& changes, std::string_view name, Scope scope, Failure* failure,
               ChangeSession* session) {
    if (scope == Scope::system && windows_needs(name))
        return fail(failure, kStoreVariableProtected,
                    std::string(name) +
                        " is a variable Windows itself needs, so it is not deleted from the "
                        "system environment; -regv on its key deletes it all the same");
    const EnvKey key = env_key(scope);
    const int code = store_outcome(
        changes, key, name, reg_delete_value_at(key.root, key.subkey, name, session), failure);
    return with_scope_advice(code, scope, failure);
}

int env_add_path(EnvChanges& changes, std::string_view dirs, std::string_view name, Scope scope,
                 Position position, Failure* failure, ChangeSession* session) {
    return with_scope_advice(add_path(changes, dirs, name, scope, position, failure, session),
                             scope, failure);
}

int env_remove_path(EnvChanges& changes, std::string_view dirs, std::string_view name, Scope scope,
                    Failure* failure, ChangeSession* session) {
    const int code = edit_variable_list(
        changes, name, scope,
        [&](std::string& list, std::string_view list_name, Failure* why) {
            return pathlist_remove(list, dirs, why, list_name);
        },
        [&] { return autoexec_remove_path(dirs, name, failure, session); }, failure, session);
    return with_scope_advice(code, scope, failure);
}

int env_tidy(EnvChanges& changes, std::string_view name, Scope scope, Failure* failure,
             ChangeSession* session) {
    const int code = edit_variable_list(
        changes, name, scope,
        [session](std::string& list, std::string_view, Failure*) {
            EnvVariables variables(true, session);
            pathlist_tidy(list, variables);
            return 0;
        },
        [&] {
            return fail(failure, kStoreNotOn9x,
                        "on the Windows 9x family C:\\AUTOEXEC.BAT sets the variables, and "
                        "only those in the registry can be tidied");
        },
        failure, session, ListType::expand_references);
    return with_scope_advice(code, scope, failure);
}

int env_add_to_path(EnvChanges& changes, std::string_view dirs, Scope scope, Position position,
                    Failure* failure, ChangeSession* session) {
    return env_add_path(changes, dirs, "Path", scope, position, failure, session);
}

int env_remove_from_path(EnvChanges& changes, std::string_view dirs, Scope scope, Failure* failure,
                         ChangeSession* session) {
    return env_remove_path(changes, dirs, "Path", scope, failure, session);
}

int env_write_machine(EnvChanges& changes, std::string_view value, std::string_view name,
                      Failure* failure, ChangeSession* session) {
    return write_variable(changes, value, name, Scope::system, failure, session);
}

int env_add_to_machine_path(EnvChanges& changes, std::string_view dirs, Failure* failure,
                            ChangeSession* session) {
    return add_path(changes, dirs, "Path", Scope::system, Position::start, failure, session);
}

bool env_is_store_key(Key root, std::string_view subkey) {
    // The key names of a path, empty components (doubled or trailing
    // backslashes) left out, as the registry reads them.
    const auto names = [](std::string_view path) {
        std::vector<std::string_view> parts;
        for (std::size_t start = 0; start <= path.size();) {
            std::size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            if (end > start) parts.push_back(path.substr(start, end - start));
            start = end + 1;
        }
        return parts;
    };
    for (const Scope scope : {Scope::system, Scope::user}) {
        const EnvKey key = env_key(scope);
        const auto want = names(key.subkey);
        const auto have = names(subkey);
        if (key.root == root && want.size() == have.size() &&
            std::equal(want.begin(), want.end(), have.begin(), reg_same_name))
            return true;
    }
    return false;
}

void env_broadcast_change(const EnvChanges& changes) {
    if (changes.env_changed) platform::broadcast_environment_change();
}

}  // namespace qh
