// Detection of the Java runtime and of Ghostscript from their registry keys.
#pragma once

#include <string>
#include <string_view>

#include "common/run_context.h"

namespace qh {

int java_detect(std::string& result);
int java_set_command(RunContext& run, std::string_view variable);
int gs_detect(std::string& result);
int gs_add_to_path(RunContext& run, Scope scope, Position position);

}  // namespace qh
