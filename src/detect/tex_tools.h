// Detection of the WinEdt editor and of a MiKTeX installation.
#pragma once

#include <string>

#include "common/failure.h"

namespace qh {

// A failure, when given, receives why nothing was found: what was missing
// and where it was looked for.

// WinEdt's install root, the current user's setting before the machine's.
// 0 found, in `result`; 1 not found, `result` empty.
int detect_winedt(std::string& result, Failure* failure = nullptr);

enum class MiktexOutcome {
    none,       // no usable installation; the two texts mean nothing then
    normal,     // texmf and local_texmf hold the two roots
    direct_cd,  // as normal, for an installation that runs from read-only media
};
// The main tree (TeXMF) and the local tree (LocalTeXMF) of MiKTeX, from the
// registry where it tells and from MiKTeX's own findtexmf where it does not.
MiktexOutcome detect_miktex(std::string& texmf, std::string& local_texmf,
                            Failure* failure = nullptr);

}  // namespace qh
