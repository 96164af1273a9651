// The front end: walks the arguments left to right, performs each operation,
// prints its result line (and, after a failure, its reason on standard
// error), and returns the run's exit code.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qh {

// Receives every byte the run prints; returns whether all of them were
// written.
using Output = std::function<bool(std::string_view)>;

// args: the command-line arguments without the program name; `out` receives
// standard output, `err` standard error. Exit codes: 0, 1 after a syntax
// error, 2 after a failure from -fail-exit on; from -fail-exit on, output
// that cannot be written (standard output full or closed) ends the run
// with 2 after the operation that printed it.
int cli_run(const std::vector<std::string>& args, const Output& out, const Output& err);

}  // namespace qh
