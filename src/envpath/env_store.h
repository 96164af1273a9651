// The persistent environment variables of the system or the current user,
// and the broadcast that tells running programs about a change.
#pragma once

#include <string_view>

#include "common/run_context.h"
#include "registry/reg_value.h"

namespace qh {

int env_write(RunContext& run, std::string_view value, std::string_view name, Scope scope);
int env_delete(RunContext& run, std::string_view name, Scope scope);
int env_add_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope,
                 Position position);
int env_remove_path(RunContext& run, std::string_view dirs, std::string_view name, Scope scope);
int env_add_to_path(RunContext& run, std::string_view dirs, Scope scope, Position position);
int env_remove_from_path(RunContext& run, std::string_view dirs, Scope scope);
void env_broadcast_change(const RunContext& run);

}  // namespace qh
