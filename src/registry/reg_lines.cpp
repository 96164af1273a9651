// The lines of registry-editor files, as the editor's export writes them.
#include "registry/reg_lines.h"

#include <functional>

#include "registry/reg_tree.h"

namespace qh {

namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr char16_t kLowerDigits[] = u"0123456789abcdef";
// A hex list's line is broken after the pair that brings it to this many
// characters or more; the next line starts with two blanks.
constexpr std::size_t kHexLineWidth = 77;
constexpr std::u16string_view kHexIndent = u"  ";

void append_hex_number(std::u16string& out, std::uint32_t number, std::size_t min_digits) {
    char16_t digits[8];
    std::size_t count = 0;
    do {
        digits[count++] = kLowerDigits[number & 0xF];
        number >>= 4;
    } while (number != 0 || count < min_digits);
    while (count > 0) out += digits[--count];
}

}  // namespace

void regfile_append_quoted(std::u16string& out, std::u16string_view text) {
    out += u'"';
    for (const char16_t unit : text) {
        switch (unit) {
            case u'\\':
                out += u"\\\\";
                break;
            case u'"':
                out += u"\\\"";
                break;
            case u'\n':
                out += u"\\n";
                break;
            case u'\r':
                out += u"\\r";
                break;
            default:
                out += unit;
        }
    }
    out += u'"';
}

namespace {

// The pairs of a hex list; `line_start` is where the value's line began.
void append_hex_list(std::u16string& out, std::string_view data, std::size_t line_start) {
    std::size_t width = out.size() - line_start;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out += kLowerDigits[byte >> 4];
        out += kLowerDigits[byte & 0xF];
        if (i + 1 == data.size()) break;
        out += u',';
        width += 3;
        if (width >= kHexLineWidth) {
            out += u'\\';
            out += kLineEnd;
            out += kHexIndent;
            width = kHexIndent.size();
        }
    }
}

}  // namespace

void regfile_append_header(std::u16string& out) {
    out += u"Windows Registry Editor Version 5.00";
    out += kLineEnd;
    out += kLineEnd;
}

void regfile_append_key(std::u16string& out, std::u16string_view path) {
    out += u'[';
    out += path;
    out += u']';
    out += kLineEnd;
}

void regfile_append_value(std::u16string& out, std::u16string_view name, std::uint32_t type,
                          std::string_view data) {
    const std::size_t line_start = out.size();
    if (name.empty())
        out += u'@';
    else
        regfile_append_quoted(out, name);
    out += u'=';
    if (type == platform::kRegSz) {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                    static_cast<unsigned char>(data[i + 1]) << 8);
            if (unit == u'\0') break;  // a string holding a zero is written up to it
            text += unit;
        }
        regfile_append_quoted(out, text);
    } else if (type == platform::kRegDword && data.size() == 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4; ++i)
            number |= std::uint32_t{static_cast<unsigned char>(data[i])} << (8 * i);
        out += u"dword:";
        append_hex_number(out, number, 8);
    } else {
        if (type == platform::kRegBinary) {
            out += u"hex:";
        } else {
            out += u"hex(";
            append_hex_number(out, type, 1);
            out += u"):";
        }
        append_hex_list(out, data, line_start);
    }
    out += kLineEnd;
}

void regfile_append_key_end(std::u16string& out) { out += kLineEnd; }

RegResult regfile_append_tree_drained(std::u16string& out,
                                      const std::function<RegResult(const RegWalkVisitor&)>& walk,
                                      std::u16string_view path,
                                      const std::function<void(std::u16string&)>& drain) {
    const auto drained = [&] {
        if (drain) drain(out);
    };
    RegWalkVisitor visitor;
    visitor.key = [&](std::u16string_view below) {
        if (below.empty()) {
            regfile_append_key(out, path);
        } else {
            std::u16string full(path);
            full += u'\\';
            full += below;
            regfile_append_key(out, full);
        }
        drained();
    };
    visitor.value = [&](const RegWideValue& value) {
        regfile_append_value(out, value.name, value.type, value.data);
        drained();
    };
    visitor.key_done = [&](std::u16string_view, const std::vector<std::u16string>&) {
        regfile_append_key_end(out);
        drained();
    };
    return walk(visitor);
}

RegResult regfile_append_tree(std::u16string& out, Key key, std::u16string_view path) {
    return regfile_append_tree_drained(
        out, [key](const RegWalkVisitor& visitor) { return reg_walk(key, true, visitor); }, path,
        nullptr);
}

}  // namespace qh
