// Values as texts: for editing (the string itself) and for the console (the
// way the system's own registry tool shows each type).
#include "registry/reg_value.h"

namespace qh {

namespace {

// Little-endian number from at most `width` bytes; shorter data reads as if
// padded with zeros.
std::uint64_t little_endian(std::string_view data, std::size_t width) {
    std::uint64_t number = 0;
    const std::size_t count = data.size() < width ? data.size() : width;
    for (std::size_t i = 0; i < count; ++i)
        number |= std::uint64_t{static_cast<unsigned char>(data[i])} << (8 * i);
    return number;
}

std::string hex_number(std::uint64_t number) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    return "0x" + digits;
}

std::string hex_pairs(std::string_view data) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(data.size() * 2);
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0xF]);
    }
    return text;
}

// The texts of a list up to its closing pair of zeros (or the end of the
// data), each zero between two texts shown as the two characters \0.
std::string joined_list(std::string_view data) {
    using namespace std::string_view_literals;
    std::string_view list = data.substr(0, data.find("\0\0"sv));
    if (!list.empty() && list.back() == '\0') list.remove_suffix(1);
    std::string text;
    for (const char c : list) {
        if (c == '\0')
            text += "\\0";
        else
            text.push_back(c);
    }
    return text;
}

}  // namespace

std::string reg_value_text(const RegValue& value) {
    const std::string_view data = value.data;
    return std::string(data.substr(0, data.find('\0')));
}

std::string reg_value_display(const RegValue& value) {
    switch (value.type) {
        case platform::kRegSz:
        case platform::kRegExpandSz:
            return reg_value_text(value);
        case platform::kRegDword:
            return hex_number(little_endian(value.data, 4));
        case platform::kRegQword:
            return hex_number(little_endian(value.data, 8));
        case platform::kRegMultiSz:
            return joined_list(value.data);
        default:
            return hex_pairs(value.data);
    }
}

bool reg_value_is_text(const RegValue& value) {
    return value.type == platform::kRegSz || value.type == platform::kRegExpandSz;
}

}  // namespace qh
