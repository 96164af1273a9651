// -backout: taking back the newest run that is not yet taken back, by its
// journal (reg_session.h), as far as nothing changed its work since.
#pragma once

#include <string>
#include <vector>

#include "common/failure.h"
#include "registry/reg_session.h"

namespace qh {

// Codes of -backout.
inline constexpr int kBackoutNothing = 1;  // no run left to take back, or journals are off
inline constexpr int kBackoutPartly = 2;   // something changed since: left as it is, named

// Takes back the newest run whose journal is in the session's folder, that
// is neither taken back already nor itself a take-back, and marks its
// journal as taken back. Each value and key is first compared with what
// that run left; what differs is left alone (and named in the reason),
// everything else is put back through `session`, whose journal then redoes
// the run. 0, one of the codes above, or those of regfile_apply.
// `restored_keys` receives the full names of the keys whose values were
// put back.
int regfile_backout(ChangeSession& session, std::vector<std::string>& restored_keys,
                    Failure* failure = nullptr);

// The heading of a take-back's journal, before the name of the journal it
// takes back: -backout passes over such journals.
inline constexpr std::u16string_view kBackoutHeading = u"Quillhaven journal taking back ";

}  // namespace qh
