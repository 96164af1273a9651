// The run-wide state that operations share within one run of the tool.
#pragma once

#include <string>

namespace qh {

struct RunContext {
    // The value being edited: read from the store, edited in place by the
    // path-list operations, written back from here.
    std::string value_buffer;
    // Set by every successful write or delete of an environment variable;
    // the end of the run broadcasts the change when it is set.
    bool env_changed = false;
};

enum class Scope { system, user };
enum class Position { start, end };

}  // namespace qh
