// What one registry operation came to. Every primitive answers with one of
// these, so that the step that failed and the system's status for it travel
// together, up to the one function that puts them into words (reg_reason).
#pragma once

namespace qh {

// The step of a registry operation that failed.
enum class RegStep {
    none,   // nothing failed
    key,    // opening, creating or deleting the key, or naming one at all
    value,  // reading, setting or deleting the value
};

struct RegResult {
    RegStep failed = RegStep::none;
    // The system's status of the call that failed; 0 when none failed, and
    // when the tool refused without asking the system.
    long status = 0;

    bool ok() const { return failed == RegStep::none; }
    bool operator==(const RegResult&) const = default;
};

// The result of one system call made in `step`: done when `status` is 0.
inline RegResult reg_step(RegStep step, long status) {
    return status == 0 ? RegResult{} : RegResult{step, status};
}

}  // namespace qh
