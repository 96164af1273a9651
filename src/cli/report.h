// What the run prints about its operations: result lines, read results and
// detection reports. Texts from the registry are printed exactly as they are.
#pragma once

#include <string>
#include <string_view>

#include "cli/run.h"
#include "detect/tex_tools.h"
#include "envpath/env_audit.h"

namespace qh {

void print_result_line(const Output& out, int result);

// The text with its control characters shown as escapes (\n, \r, \t, and
// \xNN for the other C0 characters and DEL), so that a name or text taken
// from the registry or a file can neither forge a line of its own nor reach
// the terminal as a command. Every other byte stays as it is.
std::string escape_controls(std::string_view text);

// -read-reg KEY VALUE: framed as a registry file would show it, or the value
// text alone.
void print_read(const Output& out, bool bare, std::string_view key, std::string_view value_name,
                std::string_view value_text);
// -regl KEY VALUE: as the read, with the latest subkey name.
void print_latest(const Output& out, bool bare, std::string_view key, std::string_view latest_name,
                  std::string_view value_name, std::string_view value_text);

// -audit NAME: one line per entry (scope, position, the entry as stored,
// expanded, its findings), tab-separated; the hidden system value; then the
// counts and the joined length beside its limits.
void print_audit(const Output& out, const EnvAudit& audit);

void print_miktex_report(const Output& out, MiktexOutcome outcome, std::string_view texmf,
                         std::string_view local_texmf);

}  // namespace qh
