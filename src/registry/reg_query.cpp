#include "registry/reg_query.h"

#include <optional>

#include "registry/reg_preview.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
#include "registry/reg_tree.h"

namespace qh {

namespace {

// reg query names a type Windows gives no name so.
constexpr std::string_view kUnknownTypeLabel = "REG_UNKNOWN";
constexpr std::string_view kIndent = "    ";

std::u16string units_of(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return units;
}

std::u16string hex_number(std::string_view bytes, std::size_t width) {
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < bytes.size() && i < width; ++i)
        number |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string digits;
    do {
        digits.insert(digits.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    return u"0x" + digits;
}

// UTF-16 in the current code page, each character it lacks as '?'.
std::string printable(std::u16string_view text) {
    std::string out;
    if (platform::wide_to_multibyte(text, out)) return out;
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        const std::size_t length = pair ? 2 : 1;
        if (!platform::wide_to_multibyte(text.substr(i, length), out)) out.push_back('?');
        i += length;
    }
    return out;
}

void append_value(std::string& listing, const RegWideValue& value) {
    listing += kIndent;
    listing += value.name.empty() ? std::string("(Default)") : printable(value.name);
    listing += kIndent;
    listing += reg_known_type_name(value.type).value_or(kUnknownTypeLabel);
    listing += kIndent;
    listing += printable(reg_query_data(value.type, value.data));
    listing += '\n';
}

}  // namespace

std::u16string reg_query_data(std::uint32_t type, std::string_view bytes) {
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::u16string text = units_of(bytes);
            return text.substr(0, text.find(u'\0'));
        }
        case platform::kRegDword:
        case 5:  // REG_DWORD_BIG_ENDIAN, stored little-endian by reg add
            return hex_number(bytes, 4);
        case platform::kRegQword:
            return hex_number(bytes, 8);
        case platform::kRegMultiSz: {
            // The last text's terminator and the list's own are no part
            // of it; every zero before them parts two texts.
            std::u16string units = units_of(bytes);
            for (int closing = 0; closing < 2 && !units.empty() && units.back() == u'\0'; ++closing)
                units.pop_back();
            std::u16string text;
            for (const char16_t unit : units) {
                if (unit == u'\0')
                    text += u"\\0";
                else
                    text += unit;
            }
            return text;
        }
        default: {
            constexpr char16_t kDigits[] = u"0123456789ABCDEF";
            std::u16string text;
            for (const char c : bytes) {
                const auto byte = static_cast<unsigned char>(c);
                text += kDigits[byte >> 4];
                text += kDigits[byte & 0xF];
            }
            return text;
        }
    }
}

int reg_query_path(std::string& listing, std::string_view key_path, bool recurse, Failure* failure,
                   ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kQueryNoKey, reg_path_reason(key_path));
    const ChangePreview* const preview = session ? session->preview() : nullptr;
    std::u16string wide_subkey;
    if (!platform::multibyte_to_wide(path->subkey, wide_subkey))
        return reg_fail(failure, kQueryNoKey, {RegStep::key, platform::kErrorInvalidName},
                        path->root, path->subkey);

    std::string_view subkey = path->subkey;
    while (!subkey.empty() && subkey.back() == '\\') subkey.remove_suffix(1);
    std::string base = reg_key_name(path->root, subkey);
    if (subkey.empty()) base.pop_back();  // the root alone: no backslash behind it

    std::string text = "\n";
    std::string key_line;
    bool line_printed = false;
    const auto print_key_line = [&] {
        if (!line_printed) text += key_line + '\n';
        line_printed = true;
    };
    bool opened = false;
    RegWalkVisitor visitor;
    visitor.key = [&](std::u16string_view below) {
        opened = true;
        key_line = below.empty() ? base : base + '\\' + printable(below);
        line_printed = false;
    };
    // The key's own line only above its first value: a key without values
    // has none, unless a recursive listing reaches it below the first.
    visitor.value = [&](const RegWideValue& value) {
        print_key_line();
        append_value(text, value);
    };
    visitor.key_done = [&](std::u16string_view below, const std::vector<std::u16string>& subkeys) {
        if (!below.empty()) print_key_line();
        if (line_printed) text += '\n';
        if (!recurse)
            for (const std::u16string& name : subkeys)
                text += key_line + '\\' + printable(name) + '\n';
    };
    const RegResult walked = reg_walk_at(path->root, wide_subkey, recurse, visitor, preview);
    if (!opened) return reg_fail(failure, kQueryNoKey, walked, path->root, path->subkey);
    if (!walked.ok())
        return fail(failure, kQueryUnread,
                    reg_key_name(path->root, path->subkey) +
                        ": the key cannot be read to its end: " + reg_status_clause(walked.status),
                    walked.status);
    listing = std::move(text);
    return 0;
}

}  // namespace qh
