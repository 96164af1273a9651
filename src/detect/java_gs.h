// Detection of the Java runtime and of Ghostscript from their registry keys.
#pragma once

#include <string>
#include <string_view>

#include "common/env_changes.h"
#include "common/failure.h"
#include "registry/reg_session.h"

namespace qh {

// The home directory of the newest Java runtime: first JavaHome of the
// newest version under JavaSoft\Java Runtime Environment; when that finds
// nothing, the keys of later Java releases and of the OpenJDK builds (see
// the README), each in the native view, then in the 32-bit view; then the
// home folders of installers that write no key. 0 found, in `result`; 1 not
// found, `result` empty.
//
// A failure, when given, receives why nothing was found: every place looked
// at, in the order looked.
int java_detect(std::string& result, Failure* failure = nullptr, ChangeSession* session = nullptr);
// Sets the variable `variable` of the machine's environment to that
// runtime's bin\javaw.exe (env_write_machine). 0 set; 1 no runtime found,
// or the key not created; 2 the value not set.
int java_set_command(EnvChanges& changes, std::string_view variable, Failure* failure = nullptr,
                     ChangeSession* session = nullptr);
// The directory of the newest Ghostscript's library (GS_DLL): over the GNU,
// GPL and AFPL keys as one chain; when that finds nothing, the same in the
// 32-bit view, then the Artifex key in both views; then the newest
// gs<version>\bin folder under C:\Program Files\gs, then under
// C:\Program Files (x86)\gs. 0 found, in `result`; 1 none found (`result`
// then holds what the first chain read, if anything).
int gs_detect(std::string& result, Failure* failure = nullptr, ChangeSession* session = nullptr);
// Adds the Ghostscript directory at the start of the machine's Path
// (env_add_to_machine_path) unless gswin32c.exe or gswin64c.exe is found in
// the current directory or along the process's Path. 0 found there, or
// added; 2 no Ghostscript; else the code of env_add_to_machine_path.
int gs_add_to_path(EnvChanges& changes, Failure* failure = nullptr,
                   ChangeSession* session = nullptr);

}  // namespace qh
