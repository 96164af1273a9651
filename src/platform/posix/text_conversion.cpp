#include "platform/posix/text_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/posix/code_pages.h"

namespace qh::platform::posix {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

enum class Direction { to_utf16, from_utf16 };

// The converters of a code page, opened on first use and kept for the
// process: opening one costs more than most conversions.
iconv_t converter(int code_page, Direction direction) {
    struct Pair {
        int code_page;
        iconv_t to_utf16;
        iconv_t from_utf16;
    };
    // Closed at exit, so that a leak check sees every converter given back.
    struct Opened : std::vector<Pair> {
        ~Opened() {
            for (const Pair& pair : *this) {
                if (pair.to_utf16 != kNoConverter) iconv_close(pair.to_utf16);
                if (pair.from_utf16 != kNoConverter) iconv_close(pair.from_utf16);
            }
        }
    };
    static Opened opened;
    for (const Pair& pair : opened)
        if (pair.code_page == code_page)
            return direction == Direction::to_utf16 ? pair.to_utf16 : pair.from_utf16;
    const char* name = iconv_name(code_page);
    if (!name) return kNoConverter;
    const Pair pair{code_page, iconv_open("UTF-16LE", name), iconv_open(name, "UTF-16LE")};
    opened.push_back(pair);
    return direction == Direction::to_utf16 ? pair.to_utf16 : pair.from_utf16;
}

void append_utf16le(std::u16string& out, std::string_view bytes) { out += units_of_utf16le(bytes); }

}  // namespace

bool converts(int code_page) {
    return code_page == kCLocale || (converter(code_page, Direction::to_utf16) != kNoConverter &&
                                     converter(code_page, Direction::from_utf16) != kNoConverter);
}

bool to_utf16(int code_page, std::string_view bytes, Unmappable unmappable, std::u16string& out) {
    if (code_page == kCLocale) {
        for (const char c : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(c));
        return true;
    }
    const iconv_t cd = converter(code_page, Direction::to_utf16);
    if (cd == kNoConverter) return false;
    const std::size_t start = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // One unit per byte at most: no character of these code pages lies
    // beyond the first plane.
    std::string buffer(bytes.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    while (in_left > 0) {
        char* to = buffer.data();
        std::size_t to_left = buffer.size();
        const std::size_t rc = iconv(cd, &in, &in_left, &to, &to_left);
        append_utf16le(out, std::string_view(buffer.data(), buffer.size() - to_left));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // `in` is at a byte with no character.
        const auto byte = static_cast<unsigned char>(*in);
        std::size_t skip = 1;
        if (!is_double_byte(code_page)) {
            out += static_cast<char16_t>(byte);
        } else if (unmappable == Unmappable::fail) {
            out.resize(start);
            return false;
        } else {
            out += u'?';
            // A lead byte takes its trail byte with it, unless that ends the text.
            if (is_lead_byte(code_page, byte) && in_left > 1 && in[1] != '\0') skip = 2;
        }
        in += skip;
        in_left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

bool from_utf16(int code_page, std::u16string_view units, Unmappable unmappable, std::string& out) {
    const std::size_t start = out.size();
    auto unmapped = [&](char16_t unit) {
        if (code_page != kCLocale && !is_double_byte(code_page) && unit < 0x100 &&
            is_undefined_byte(code_page, static_cast<unsigned char>(unit))) {
            out += static_cast<char>(unit);
            return true;
        }
        if (unmappable == Unmappable::fail) {
            out.resize(start);
            return false;
        }
        out += '?';
        return true;
    };
    if (code_page == kCLocale) {
        for (const char16_t unit : units) {
            if (unit < 0x100)
                out += static_cast<char>(unit);
            else if (!unmapped(unit))
                return false;
        }
        return true;
    }
    const iconv_t cd = converter(code_page, Direction::from_utf16);
    if (cd == kNoConverter) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string input = utf16le_bytes(units);
    std::string buffer(units.size() * 2 + 4, '\0');
    char* in = input.data();
    std::size_t in_left = input.size();
    while (in_left > 0) {
        char* to = buffer.data();
        std::size_t to_left = buffer.size();
        const std::size_t rc = iconv(cd, &in, &in_left, &to, &to_left);
        out.append(buffer.data(), buffer.size() - to_left);
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // `in` is at a unit with no representation; a surrogate pair is
        // taken one half at a time.
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                                static_cast<unsigned char>(in[1]) << 8);
        if (!unmapped(unit)) return false;
        in += 2;
        in_left -= 2;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

std::string utf16le_bytes(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::u16string units_of_utf16le(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    return units;
}

}  // namespace qh::platform::posix
