// Detection of the WinEdt editor and of a MiKTeX installation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "registry/reg_session.h"

namespace qh {

// A failure, when given, receives why nothing was found: what was missing
// and every place looked at, in the order looked.

// WinEdt's install root: the current user's setting before the machine's
// (native, then 32-bit view); when neither has one, the keys "WinEdt <N>" of
// WinEdt 6 and later, the greatest N, in the same order. 0 found, in
// `result`; 1 not found, `result` empty.
int detect_winedt(std::string& result, Failure* failure = nullptr,
                  ChangeSession* session = nullptr);

enum class MiktexOutcome {
    none,       // no usable installation; the two texts mean nothing then
    normal,     // texmf and local_texmf hold the two roots
    direct_cd,  // as normal, for an installation that runs from read-only media
};

// One registry setting as read: where it was looked for and what was there.
struct MiktexSetting {
    std::string place;
    std::optional<std::string> text;
    // The key of MiKTeX 2.4 in the native view: the one place the first
    // pass of the detection reads.
    bool classic = false;
};
// MiKTeX's registry settings, read at once before anything else, so that
// findtexmf, which may take its time, runs with the registry free for other
// runs of the tool.
struct MiktexRegistry {
    std::vector<MiktexSetting> main_trees;   // in the order they are tried
    std::vector<MiktexSetting> local_trees;  // in the order they are tried
    // The registry's own failure met while reading (PlacesTried); 0 when none.
    long registry_status = 0;
};
// Reads every setting the detection may use; reads nothing else.
MiktexRegistry read_miktex_registry(ChangeSession* session = nullptr);

// The main tree (TeXMF) and the local tree (LocalTeXMF) of MiKTeX, from the
// settings read where they tell and from MiKTeX's own findtexmf where they
// do not. A first pass looks as for MiKTeX 2.4 only; its answer stands
// whenever it finds an installation. Only when it finds none does a second
// pass look at every setting (later layouts, the 32-bit view) and accept the
// places of 64-bit and current releases too.
MiktexOutcome detect_miktex(const MiktexRegistry& registry, std::string& texmf,
                            std::string& local_texmf, Failure* failure = nullptr);

}  // namespace qh
