// The process locale of the emulated machine: a code page chosen by Windows
// locale name, with one iconv descriptor kept for it.
#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/code_pages.h"
#include "platform/posix/machine.h"

namespace qh::platform {
namespace {

using posix::kCLocale;

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Like the C library, the process starts in the "C" locale.
struct Locale {
    int code_page = kCLocale;
    iconv_t from_utf16 = kNoConverter;
};
Locale current;

// The lower-case form of a text; a double-byte character is copied as it is.
std::string lower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (posix::is_lead_byte(current.code_page, byte) && i + 1 < out.size()) {
            ++i;
            continue;
        }
        out[i] = static_cast<char>(posix::lower_byte(current.code_page, byte));
    }
    return out;
}

bool latin1_to_bytes(std::u16string_view text, std::string& out) {
    for (char16_t unit : text) {
        if (unit > 0xFF) return false;
        out += static_cast<char>(unit);
    }
    return true;
}

}  // namespace

bool locale_select(std::string_view name) {
    const auto page = posix::code_page_of_locale(posix::cut_at_zero(name));
    if (!page) return false;
    iconv_t converter = kNoConverter;
    if (*page != kCLocale) {
        converter = iconv_open(posix::iconv_name(*page), "UTF-16LE");
        if (converter == kNoConverter) return false;
    }
    if (current.from_utf16 != kNoConverter) iconv_close(current.from_utf16);
    current = Locale{*page, converter};
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
    const std::size_t start = out.size();
    if (current.code_page == kCLocale) {
        if (latin1_to_bytes(text, out)) return true;
        out.resize(start);
        return false;
    }
    iconv(current.from_utf16, nullptr, nullptr, nullptr, nullptr);
    // Every supported code page needs at most two bytes per unit.
    out.resize(start + text.size() * 2 + 4);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t in_left = text.size() * sizeof(char16_t);
    char* to = out.data() + start;
    std::size_t to_left = out.size() - start;
    const bool ok = iconv(current.from_utf16, &in, &in_left, &to, &to_left) != std::size_t(-1) &&
                    iconv(current.from_utf16, nullptr, nullptr, &to, &to_left) != std::size_t(-1);
    out.resize(ok ? static_cast<std::size_t>(to - out.data()) : start);
    return ok;
}

unsigned locale_code_page() { return static_cast<unsigned>(current.code_page); }

}  // namespace qh::platform
