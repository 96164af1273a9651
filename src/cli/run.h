// The front end: walks the arguments left to right, performs each operation,
// prints its result line, and returns the run's exit code.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qh {

// Receives every byte the run prints.
using Output = std::function<void(std::string_view)>;

// args: the command-line arguments without the program name.
int cli_run(const std::vector<std::string>& args, const Output& out);

}  // namespace qh
