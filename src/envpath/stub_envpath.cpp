// Placeholder until path lists and the environment store land.
#include "envpath/env_store.h"
namespace qh {
int env_read(RegValue&, std::string_view, Scope) { return 1; }
int env_write(RunContext&, std::string_view, std::string_view, Scope) { return 1; }
int env_delete(RunContext&, std::string_view, Scope) { return 1; }
int env_add_path(RunContext&, std::string_view, std::string_view, Scope, Position) { return 1; }
int env_remove_path(RunContext&, std::string_view, std::string_view, Scope) { return 1; }
int env_add_to_path(RunContext&, std::string_view, Scope, Position) { return 1; }
int env_remove_from_path(RunContext&, std::string_view, Scope) { return 1; }
void env_broadcast_change(const RunContext&) {}
}  // namespace qh
