#include "registry/reg_typed.h"

#include <limits>

#include "platform/platform.h"
#include "registry/reg_path.h"

namespace qh {

namespace {

constexpr std::uint32_t kRegDwordBigEndian = 5;

// The names reg add takes after /t.
struct TypeName {
    std::string_view name;
    std::uint32_t type;
};
constexpr TypeName kTypeNames[] = {
    {"REG_SZ", platform::kRegSz},
    {"REG_EXPAND_SZ", platform::kRegExpandSz},
    {"REG_MULTI_SZ", platform::kRegMultiSz},
    {"REG_DWORD", platform::kRegDword},
    {"REG_QWORD", platform::kRegQword},
    {"REG_BINARY", platform::kRegBinary},
    {"REG_NONE", platform::kRegNone},
    {"REG_DWORD_LITTLE_ENDIAN", platform::kRegDword},
    // reg add stores the number's bytes little-endian all the same.
    {"REG_DWORD_BIG_ENDIAN", kRegDwordBigEndian},
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// reg add's number: "0x" or "0X" and hex digits when the second character
// is an x; else blanks, an optional sign and decimal digits (the empty text
// is 0). A minus is taken only where it may wrap (`negative_wraps`, the
// QWORD), as 2^64 - N. Nothing outside 0..max, so nothing is ever cut.
std::optional<std::uint64_t> parse_number(std::string_view text, std::uint64_t max,
                                          bool negative_wraps) {
    constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    const auto add_digit = [&value](std::uint64_t base, int digit) {
        if (value > (kAll - static_cast<std::uint64_t>(digit)) / base) return false;
        value = value * base + static_cast<std::uint64_t>(digit);
        return true;
    };
    if (text.size() >= 2 && (text[1] == 'x' || text[1] == 'X')) {
        if (text[0] != '0' || text.size() == 2) return std::nullopt;
        for (const char c : text.substr(2))
            if (hex_digit(c) < 0 || !add_digit(16, hex_digit(c))) return std::nullopt;
        return value <= max ? std::optional(value) : std::nullopt;
    }
    if (text.empty()) return 0;
    std::size_t pos = 0;
    while (pos < text.size() && is_space(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        if (negative && !negative_wraps) return std::nullopt;
        ++pos;
    }
    if (pos == text.size()) return std::nullopt;
    for (const char c : text.substr(pos))
        if (c < '0' || c > '9' || !add_digit(10, c - '0')) return std::nullopt;
    if (negative) return value == 0 ? 0 : kAll - value + 1;
    return value <= max ? std::optional(value) : std::nullopt;
}

std::string little_endian(std::uint64_t number, std::size_t width) {
    std::string bytes(width, '\0');
    for (std::size_t i = 0; i < width; ++i)
        bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return bytes;
}

std::optional<std::string> hex_bytes(std::string_view text) {
    std::string bytes;
    // An odd count is read with a 0 in front: "abc" is 0a,bc.
    std::size_t pos = text.size() % 2;
    if (pos == 1) {
        if (hex_digit(text[0]) < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(hex_digit(text[0])));
    }
    for (; pos < text.size(); pos += 2) {
        const int high = hex_digit(text[pos]);
        const int low = hex_digit(text[pos + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

// The texts of a list, split at each \0 from left to right, each with its
// terminator and one more closing the list; in UTF-16, or bytes of a
// single-byte code page.
template <typename Char>
std::optional<std::basic_string<Char>> multi_texts(std::basic_string_view<Char> text) {
    using Text = std::basic_string<Char>;
    constexpr Char kSeparator[] = {Char('\\'), Char('0')};
    const std::basic_string_view<Char> separator(kSeparator, 2);
    if (text.empty()) return Text(1, Char(0));
    // "\0" alone is one empty text.
    if (text == separator) return Text(2, Char(0));
    Text texts;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::basic_string_view<Char>::npos) end = text.size();
        if (end == start) return std::nullopt;  // an empty text before another
        texts.append(text.substr(start, end - start));
        texts.push_back(Char(0));
        start = end + separator.size();
    }
    texts.push_back(Char(0));
    return texts;
}

}  // namespace

std::optional<std::uint32_t> reg_type_from_name(std::string_view name) {
    for (const TypeName& known : kTypeNames)
        if (reg_same_name(known.name, name)) return known.type;
    return std::nullopt;
}

std::optional<std::string> reg_typed_bytes(std::uint32_t type, std::string_view data,
                                           std::string& why) {
    // append(), not "\"" + std::string: GCC 12 at -O3 warns falsely of overlap there.
    const std::string quoted = std::string("\"").append(data).append("\"");
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz:
            return std::string(data) + '\0';
        case platform::kRegDword:
        case kRegDwordBigEndian:
            if (const auto number = parse_number(data, 0xFFFFFFFFu, false))
                return little_endian(*number, 4);
            why = quoted + " is no number from 0 to 4294967295 (decimal, or hexadecimal after 0x)";
            return std::nullopt;
        case platform::kRegQword:
            if (const auto number =
                    parse_number(data, std::numeric_limits<std::uint64_t>::max(), true))
                return little_endian(*number, 8);
            why = quoted +
                  " is no number from 0 to 18446744073709551615 (decimal, or hexadecimal after "
                  "0x)";
            return std::nullopt;
        case platform::kRegBinary:
            if (auto bytes = hex_bytes(data)) return bytes;
            why = quoted + " is not a run of hexadecimal digits";
            return std::nullopt;
        default:
            break;
    }
    // The list is split, and REG_NONE stored, in UTF-16: a byte of a
    // double-byte character may be a backslash.
    std::u16string wide;
    const bool is_text = platform::multibyte_to_wide(data, wide);
    if (type == platform::kRegNone) {
        if (!is_text) {
            why = quoted + " is not text in the current code page";
            return std::nullopt;
        }
        std::string bytes;
        for (const char16_t unit : wide + u'\0') {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        return bytes;
    }
    // Bytes the code page cannot read (typed in another, as Windows' A
    // calls take them) are split as they stand, as REG_SZ takes them.
    std::optional<std::string> bytes;
    if (is_text) {
        if (const std::optional<std::u16string> units = multi_texts<char16_t>(wide)) {
            bytes.emplace();
            if (!platform::wide_to_multibyte(*units, *bytes)) bytes = multi_texts<char>(data);
        }
    } else {
        bytes = multi_texts<char>(data);
    }
    if (!bytes) why = quoted + " has an empty text before another (texts are separated by \\0)";
    return bytes;
}

}  // namespace qh
