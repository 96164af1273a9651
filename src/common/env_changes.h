// The record of environment changes that a run keeps from one operation to
// the next: the end of the run broadcasts the change when there was one.
// Kept apart from all layers, as the environment store sets it and the front
// end reads it.
#pragma once

namespace qh {

struct EnvChanges {
    // Set by every successful write or delete of an environment variable;
    // never cleared within a run.
    bool env_changed = false;
};

}  // namespace qh
