// Small helpers of the Windows backend for handing texts to the ANSI calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qh::platform::win32 {

// A zero-terminated copy for an ANSI call, or nothing when the text holds a
// zero byte: the call would silently act on a shorter name than was asked.
// (The emulated machine cuts such a text instead: see posix::cut_at_zero.)
inline std::optional<std::string> whole_c_text(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(text);
}

}  // namespace qh::platform::win32
