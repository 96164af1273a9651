// Detection of the WinEdt editor and of a MiKTeX installation.
#pragma once

#include <string>

namespace qh {

int detect_winedt(std::string& result);

enum class MiktexOutcome { none, normal, direct_cd };
MiktexOutcome detect_miktex(std::string& texmf, std::string& local_texmf);

}  // namespace qh
