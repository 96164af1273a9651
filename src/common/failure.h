// Why an operation failed, in words for the person who ran it. The step that
// fails writes it; the front end prints it beside the failure line. Kept
// apart from the layers, as every layer that fails writes one.
#pragma once

#include <string>

namespace qh {

struct Failure {
    // One line without its line end; empty while nothing has failed.
    std::string reason;
    // The platform's status behind the reason; 0 when the tool itself refused.
    long status = 0;
};

// Records the reason when the caller asked for one; returns `code`, so that
// a failing step can say why and return in one statement.
inline int fail(Failure* failure, int code, std::string reason, long status = 0) {
    if (failure) {
        failure->reason = std::move(reason);
        failure->status = status;
    }
    return code;
}

}  // namespace qh
