#include "support/scope_holder.h"

#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "support/test_support.h"

namespace qh_test {

namespace {

// Long enough for a helper started under a loaded Wine server.
constexpr auto kStartLimit = std::chrono::seconds(20);

}  // namespace

ScopeHolder::ScopeHolder() {
    // The helper looks for a machine that exists: a first scope makes it.
    if (qh::platform::operation_begin() == qh::platform::kErrorSuccess)
        qh::platform::operation_end();
    const std::string dir = scratch_dir("scope-holder");
    const std::string held_file = dir + "\\held";
    release_file_ = dir + "\\release";
    helper_ = start_scope_holder(held_file, release_file_);
    if (helper_ < 0) return;
    const auto give_up = std::chrono::steady_clock::now() + kStartLimit;
    while (!(holds_ = read_file(held_file).has_value()) &&
           std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

ScopeHolder::~ScopeHolder() { release(); }

int ScopeHolder::release() {
    if (helper_ < 0) return -1;
    write_file(release_file_, "");
    const int exit_code = finish_scope_holder(helper_);
    helper_ = -1;
    holds_ = false;
    return exit_code;
}

}  // namespace qh_test
