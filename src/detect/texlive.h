// Detection of TeX Live: its bin folder, the one that holds tex.exe.
#pragma once

#include <string>

#include "common/env_changes.h"
#include "common/failure.h"
#include "common/switches.h"
#include "registry/reg_session.h"

namespace qh {

// The bin folder of the newest TeX Live: first the installer's uninstall
// entries TeXLive<year> (the machine's, native then 32-bit view, and the
// current user's), newest year first across all of them; then tex.exe along
// the process's Path in a TeX Live tree; then C:\texlive\<year>, newest
// first. An entry whose tree is gone is passed over. 0 found, in `result`;
// 1 not found, `result` empty. A failure, when given, receives the places
// looked at.
int texlive_detect(std::string& result, Failure* failure = nullptr,
                   ChangeSession* session = nullptr);
// Adds that folder to Path in the scope at the position. 2 no TeX Live, or a
// bin folder that a path list cannot hold; else the code of env_add_to_path.
int texlive_add_to_path(EnvChanges& changes, Scope scope, Position position,
                        Failure* failure = nullptr, ChangeSession* session = nullptr);

}  // namespace qh
