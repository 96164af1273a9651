// The process locale of the emulated machine: a code page chosen by Windows
// locale name.
#include <algorithm>

#include "platform/platform.h"
#include "platform/posix/code_pages.h"
#include "platform/posix/machine.h"
#include "platform/posix/text_conversion.h"

namespace qh::platform {
namespace {

using posix::kCLocale;

// Like the C library, the process starts in the "C" locale.
int current_code_page = kCLocale;

// The lower-case form of a text; a double-byte character is copied as it is.
std::string lower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (posix::is_lead_byte(current_code_page, byte) && i + 1 < out.size()) {
            ++i;
            continue;
        }
        out[i] = static_cast<char>(posix::lower_byte(current_code_page, byte));
    }
    return out;
}

}  // namespace

bool locale_select(std::string_view name) {
    const auto page = posix::code_page_of_locale(posix::cut_at_zero(name));
    if (!page || !posix::converts(*page)) return false;
    current_code_page = *page;
    return true;
}

std::string locale_lower(std::string_view text) { return lower(text); }

int locale_compare_nocase(std::string_view a, std::string_view b) {
    const std::string left = lower(a);
    const std::string right = lower(b);
    // Bytes compare as unsigned numbers, as the C library does.
    const auto mismatch = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    if (mismatch.first == left.end()) return mismatch.second == right.end() ? 0 : -1;
    if (mismatch.second == right.end()) return 1;
    return static_cast<unsigned char>(*mismatch.first) -
           static_cast<unsigned char>(*mismatch.second);
}

bool wide_to_multibyte(std::u16string_view text, std::string& out) {
    return posix::from_utf16(current_code_page, text, posix::Unmappable::fail, out);
}

bool multibyte_to_wide(std::string_view text, std::u16string& out) {
    return posix::to_utf16(current_code_page, text, posix::Unmappable::fail, out);
}

unsigned locale_code_page() { return static_cast<unsigned>(current_code_page); }

}  // namespace qh::platform
