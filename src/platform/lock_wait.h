// How long a run waits for another run's operation before its own fails. The
// default suits people and installers; tests and scripts shorten it through
// the environment rather than wait half a minute for a lock they hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qh::platform {

inline constexpr std::string_view kLockWaitVariable = "QUILLHAVEN_LOCK_WAIT_MS";
inline constexpr std::uint32_t kDefaultLockWaitMs = 30000;
// A longer setting is taken as this: no run should hang for hours.
inline constexpr std::uint32_t kMaxLockWaitMs = 3600000;

// The wait in milliseconds given by the variable's text: decimal digits
// only; unset, empty or anything else gives the default, and more than the
// maximum gives the maximum.
constexpr std::uint32_t lock_wait_ms(std::optional<std::string_view> setting) {
    if (!setting || setting->empty()) return kDefaultLockWaitMs;
    std::uint64_t wait = 0;
    for (const char c : *setting) {
        if (c < '0' || c > '9') return kDefaultLockWaitMs;
        wait = wait * 10 + static_cast<std::uint64_t>(c - '0');
        if (wait > kMaxLockWaitMs) wait = kMaxLockWaitMs;
    }
    return static_cast<std::uint32_t>(wait);
}

}  // namespace qh::platform
