// The types every layer that runs operations shares: the run-wide state and
// the two switches that the environment operations take. Kept apart from all
// layers so that none of them has to reach up to another for them.
#pragma once

namespace qh {

// The state that outlives one operation within a run of the tool.
struct RunContext {
    // Set by every successful write or delete of an environment variable;
    // the end of the run broadcasts the change when it is set.
    bool env_changed = false;
};

// Which persistent environment an operation edits.
enum class Scope { system, user };
// Where an added directory goes in a path list.
enum class Position { start, end };

}  // namespace qh
