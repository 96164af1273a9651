// Process entry: the whole run happens in the front end, which returns the
// exit code instead of ending the process itself.
#include <string>
#include <vector>

#include "cli/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return qh::cli_run(args, qh::platform::stdout_write, qh::platform::stderr_write);
}
