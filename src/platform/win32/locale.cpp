// Locale services through the C runtime: the locale chosen by setlocale
// decides the code page of lower-casing, comparison and conversion.
#include <locale.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <clocale>
#include <iterator>

#include "platform/platform.h"
#include "platform/win32/text_args.h"

namespace qh::platform {
namespace {

// The ANSI code page of the CRT locale; 0 under the "C" locale.
unsigned current_code_page() { return ___lc_codepage_func(); }

bool is_lead_byte(unsigned code_page, unsigned char byte) {
    // Code page 0 would make the system use its own ANSI code page instead.
    return code_page != 0 && IsDBCSLeadByteEx(code_page, byte);
}

// The code pages that keep 0x00-0x7F as ASCII: the ANSI ones and UTF-8.
// Not every code page that a locale may name does: EBCDIC 037 has "A" at
// 0xC1.
constexpr unsigned kAsciiCodePages[] = {874,  932,  936,  949,  950,  1250, 1251,   1252,
                                        1253, 1254, 1255, 1256, 1257, 1258, CP_UTF8};

bool keeps_ascii(unsigned code_page) {
    return std::find(std::begin(kAsciiCodePages), std::end(kAsciiCodePages), code_page) !=
           std::end(kAsciiCodePages);
}

}  // namespace

bool locale_select(std::string_view name) {
    // An empty name would pick the user's default locale, not a refusal.
    if (name.empty()) return false;
    const auto text = win32::whole_c_text(name);
    if (!text) return false;
    return std::setlocale(LC_ALL, text->c_str()) != nullptr;
}

std::string locale_lower(std::string_view text) {
    const unsigned code_page = current_code_page();
    std::string lowered(text);
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        const auto byte = static_cast<unsigned char>(lowered[i]);
        if (is_lead_byte(code_page, byte)) {
            // A lead byte stays as it is, with its trail byte; the CRT maps a
            // lone lead byte to nonsense.
            if (i + 1 < lowered.size() && lowered[i + 1] != '\0') ++i;
            continue;
        }
        lowered[i] = static_cast<char>(std::tolower(byte));
    }
    return lowered;
}

int locale_compare_nocase(std::string_view a, std::string_view b) {
    // Lowering keeps every double-byte character where it is, so comparing
    // the lowered texts byte by byte compares them character by character.
    return locale_lower(a).compare(locale_lower(b));
}

bool wide_to_multibyte(std::u16string_view text, std::string& out) {
    if (text.empty()) return true;
    const unsigned code_page = current_code_page();
    if (code_page == 0) {
        std::string bytes;
        bytes.reserve(text.size());
        for (const char16_t unit : text) {
            if (unit > 0xFF) return false;
            bytes.push_back(static_cast<char>(unit));
        }
        out += bytes;
        return true;
    }
    // Registry files are mostly ASCII; the system's exact conversion is the
    // dearest step of reading their lines.
    if (keeps_ascii(code_page) &&
        std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; })) {
        out.append(text.begin(), text.end());
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const auto* units = reinterpret_cast<const wchar_t*>(text.data());
    const int count = static_cast<int>(text.size());
    // UTF-8 refuses the used-default flag; a lone surrogate is its only
    // unrepresentable unit and is caught by the strict flag instead.
    const bool utf8 = code_page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* used = utf8 ? nullptr : &used_default;
    const int size = WideCharToMultiByte(code_page, flags, units, count, nullptr, 0, nullptr, used);
    if (size <= 0 || used_default) return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(code_page, flags, units, count, bytes.data(), size, nullptr, used) !=
            size ||
        used_default) {
        return false;
    }
    out += bytes;
    return true;
}

bool multibyte_to_wide(std::string_view text, std::u16string& out) {
    if (text.empty()) return true;
    const unsigned code_page = current_code_page();
    if (code_page == 0) {
        for (const char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int count = static_cast<int>(text.size());
    const int size =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), count, nullptr, 0);
    if (size <= 0) return false;
    std::wstring units(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), count, units.data(),
                            size) != size)
        return false;
    out.append(units.begin(), units.end());
    return true;
}

unsigned locale_code_page() { return current_code_page(); }

}  // namespace qh::platform
