// The persistent environment variables of the system or the current user,
// and the broadcast that tells running programs about a change. A failure,
// when given, receives the reason of a non-zero code; a refusal of the
// system's environment for lack of access adds that -user would do.
#pragma once

#include <string_view>

#include "common/env_changes.h"
#include "common/failure.h"
#include "common/switches.h"
#include "platform/platform.h"
#include "registry/reg_path.h"

namespace qh {

// Every write goes through the run's session, when given (reg_value.h).

// Where a scope's variables are stored: a key below the scope's root.
struct EnvKey {
    Key root;
    std::string_view subkey;
};
EnvKey env_key(Scope scope);

// Codes of a write or deletion of one variable.
inline constexpr int kStoreKeyFailed = 1;    // the scope's key not opened (or created)
inline constexpr int kStoreValueFailed = 2;  // the value not set, or not deleted
// A deletion from the system environment of a variable Windows itself needs
// (Path, PATHEXT, ComSpec, SystemRoot, windir, OS, TEMP, TMP, PSModulePath,
// PROCESSOR_ARCHITECTURE, NUMBER_OF_PROCESSORS, DriverData; letter case
// aside): refused, nothing touched.
inline constexpr int kStoreVariableProtected = 3;

// Sets the variable to `value`, creating it as a REG_SZ when missing; one
// stored as REG_EXPAND_SZ stays so. 0 written (sets changes.env_changed),
// kStoreKeyFailed, kStoreValueFailed.
int env_write(EnvChanges& changes, std::string_view value, std::string_view name, Scope scope,
              Failure* failure = nullptr, ChangeSession* session = nullptr);
// 0 deleted (sets changes.env_changed); kStoreKeyFailed (the scope's key does
// not exist); kStoreValueFailed (for instance the value does not exist);
// kStoreVariableProtected.
int env_delete(EnvChanges& changes, std::string_view name, Scope scope, Failure* failure = nullptr,
               ChangeSession* session = nullptr);

// Adds the directories DIRS to the path list in variable NAME. 1 when the
// Windows family cannot be asked. NT family: 0 written (sets
// changes.env_changed), else the codes of edit_list_value (list_value.h:
// the variable not there or holding no string, the path-list edit refused
// as pathlist_add says, the write failed). 9x family: the codes of
// autoexec_add_path.
int env_add_path(EnvChanges& changes, std::string_view dirs, std::string_view name, Scope scope,
                 Position position, Failure* failure = nullptr, ChangeSession* session = nullptr);
// Removes DIRS from the path list in NAME; codes as env_add_path, with
// pathlist_remove and autoexec_remove_path in place of the adding ones.
int env_remove_path(EnvChanges& changes, std::string_view dirs, std::string_view name, Scope scope,
                    Failure* failure = nullptr, ChangeSession* session = nullptr);
// env_add_path and env_remove_path on the variable Path.
int env_add_to_path(EnvChanges& changes, std::string_view dirs, Scope scope, Position position,
                    Failure* failure = nullptr, ChangeSession* session = nullptr);
int env_remove_from_path(EnvChanges& changes, std::string_view dirs, Scope scope,
                         Failure* failure = nullptr, ChangeSession* session = nullptr);

// Mends the path list in variable NAME of the scope as pathlist_tidy does,
// and stores it as REG_EXPAND_SZ when it holds a %NAME% reference. 0 mended
// (sets changes.env_changed when it wrote; nothing needed mending writes
// nothing); 1 when the Windows family cannot be asked; the codes of
// edit_list_value; kStoreNotOn9x on the 9x family, whose variables live in
// C:\AUTOEXEC.BAT.
inline constexpr int kStoreNotOn9x = 3;
int env_tidy(EnvChanges& changes, std::string_view name, Scope scope, Failure* failure = nullptr,
             ChangeSession* session = nullptr);

// The machine's environment, whatever -sys or -user chose: +javaw and
// +gswin32c record programs that every user's programs look up there, so
// their refusals carry no advice to use -user. Codes as env_write, and as
// env_add_to_path at the start of the list.
int env_write_machine(EnvChanges& changes, std::string_view value, std::string_view name,
                      Failure* failure = nullptr, ChangeSession* session = nullptr);
int env_add_to_machine_path(EnvChanges& changes, std::string_view dirs, Failure* failure = nullptr,
                            ChangeSession* session = nullptr);

// Whether `subkey` of `root` is the system's or the user's environment key
// (letter case and empty components aside): a value written there by other
// means is an environment change all the same.
bool env_is_store_key(platform::Key root, std::string_view subkey);

// Sends the environment-change broadcast when changes.env_changed is set;
// nothing otherwise.
void env_broadcast_change(const EnvChanges& changes);

}  // namespace qh
