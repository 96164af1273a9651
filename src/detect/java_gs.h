// Detection of the Java runtime and of Ghostscript from their registry keys.
// A failure, when given, receives the reason of a non-zero code: what was
// not found and where it was looked for.
#pragma once

#include <string>
#include <string_view>

#include "common/failure.h"
#include "common/run_context.h"

namespace qh {

// The home directory of the latest Java runtime (JavaHome of the subkey
// with the greatest version name). 0 found, in `result`; 1 not found,
// `result` empty.
int java_detect(std::string& result, Failure* failure = nullptr);
// Sets the system variable `variable` to that runtime's bin\javaw.exe,
// whatever scope the run has chosen. 0 set; 1 no runtime found, or the key
// not created; 2 the value not set.
int java_set_command(RunContext& run, std::string_view variable, Failure* failure = nullptr);
// The directory of the latest Ghostscript's library (GS_DLL) over the GNU,
// GPL and AFPL keys. 0 found, in `result`; 1 no library path with a
// directory part (`result` then holds what was read, if anything).
int gs_detect(std::string& result, Failure* failure = nullptr);
// Adds the Ghostscript directory to Path unless gswin32c.exe is found in the
// current directory or along the process's Path. 0 found there, or added;
// 2 no Ghostscript; else the code of env_add_to_path.
int gs_add_to_path(RunContext& run, Scope scope, Position position, Failure* failure = nullptr);

}  // namespace qh
