// The persistent environment variables of the system or the current user,
// and the broadcast that tells running programs about a change. A failure,
// when given, receives the reason of a non-zero code.
#pragma once

#include <string_view>

#include "common/failure.h"
#include "common/run_context.h"

namespace qh {

// Sets the variable to `value` as a REG_SZ, creating it when missing.
// 0 written (sets run.env_changed); 1 the scope's key not created or opened;
// 2 the value not set.
int env_write(RunContext& run, std::string_view value, std::string_view name, Scope scope,
              Failure* failure = nullptr);
// 0 deleted (sets run.env_changed); 1 the scope's key does not exist; 2 the
// value not deleted (for instance it does not exist).
int env_delete(RunContext& run, std::string_view name, Scope scope, Failure* failure = nullptr);

// Adds the directories DIRS to the path list in variable NAME. 1 when the
// Windows family cannot be asked. NT family: 0 written (sets
// run.env_changed); 1 the variable is not there or holds no string; 2 the
// path-list edit refused (see pathlist_add), the store untouched; else the
// code of env_write. 9x family: the codes of autoexec_add_path.
int env_add_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                 Position position, Failure* failure = nullptr);
// Removes DIRS from the path list in NAME; codes as env_add_path, with
// pathlist_remove and autoexec_remove_path in place of the adding ones.
int env_remove_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                    Failure* failure = nullptr);
// env_add_path and env_remove_path on the variable Path.
int env_add_to_path(RunContext& run, std::string_view dirs, Scope scope, Position position,
                    Failure* failure = nullptr);
int env_remove_from_path(RunContext& run, std::string_view dirs, Scope scope,
                         Failure* failure = nullptr);

// Sends the environment-change broadcast when run.env_changed is set;
// nothing otherwise.
void env_broadcast_change(const RunContext& run);

}  // namespace qh
