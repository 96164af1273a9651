// The texts the tool prints about itself. The three that end the run return
// the exit code the run ends with.
#pragma once

#include "cli/run.h"

namespace qh {

// Banner and help text.
int show_help(const Output& out, int exit_code);
// Banner and examples; 0.
int show_examples(const Output& out);
// "Quillhaven <release version>" and a line feed; 0.
int show_version(const Output& out);
// The message, then banner and help; 1.
int report_syntax_error(const Output& out);

}  // namespace qh
