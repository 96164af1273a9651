#include "regfile/regfile_export.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "platform/platform.h"
#include "registry/reg_reason.h"
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

// A name or a string between quotes, with the editor's escapes.
void append_quoted(std::u16string& out, std::u16string_view text) {
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
        append_quoted(out, name);
    out += u'=';
    if (type == platform::kRegSz) {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                    static_cast<unsigned char>(data[i + 1]) << 8);
            if (unit == u'\0') break;  // a string holding a zero is written up to it
            text += unit;
        }
        append_quoted(out, text);
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

namespace {

// The blocks of a tree, as regfile_append_tree; `drain`, when given, is
// called after each line and may take what `out` holds.
RegResult append_tree(std::u16string& out, Key key, std::u16string_view path,
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
    return reg_walk(key, true, visitor);
}

// Lines are gathered this far before they go into the file's bytes.
constexpr std::size_t kDrainUnits = 32 * 1024;

}  // namespace

RegResult regfile_append_tree(std::u16string& out, Key key, std::u16string_view path) {
    return append_tree(out, key, path, nullptr);
}

RegfileBytes::~RegfileBytes() { std::free(data_); }

bool RegfileBytes::append(std::u16string_view text) {
    // The byte-order mark goes in with the first text.
    const std::size_t mark = size_ == 0 ? 1 : 0;
    const std::size_t needed = size_ + 2 * (mark + text.size());
    if (needed > capacity_) {
        const std::size_t capacity = std::max(needed, 2 * capacity_ + (1 << 20));
        char* grown = static_cast<char*>(std::realloc(data_, capacity));
        if (!grown) return false;
        data_ = grown;
        capacity_ = capacity;
    }
    char* at = data_ + size_;
    if (mark) {
        *at++ = '\xff';
        *at++ = '\xfe';
    }
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, text.data(), 2 * text.size());
    } else {
        for (const char16_t unit : text) {
            *at++ = static_cast<char>(unit & 0xFF);
            *at++ = static_cast<char>(unit >> 8);
        }
    }
    size_ = needed;
    return true;
}

int regfile_export(std::string_view key_path, std::string_view file, Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kExportNoKey, reg_path_reason(key_path));
    // As reg export refuses it: it holds nothing a file could put back.
    if (path->root == platform::root_key(platform::Root::dyn_data))
        return fail(failure, kExportNoKey, "HKEY_DYN_DATA is not exported");
    const OwnedKey key = reg_open_for_reading(path->root, path->subkey);
    if (!key) return reg_fail(failure, kExportNoKey, key.result(), path->root, path->subkey);

    // The key's line: the root's full name and the subkey as typed, without
    // the backslashes it may end in.
    std::string_view subkey = path->subkey;
    while (!subkey.empty() && subkey.back() == '\\') subkey.remove_suffix(1);
    std::string name = reg_key_name(path->root, subkey);
    if (subkey.empty()) name.pop_back();
    std::u16string wide_name;
    if (!platform::multibyte_to_wide(name, wide_name))
        return fail(failure, kExportNoKey,
                    std::string(key_path) + " is not text in the current code page");

    std::u16string text;
    regfile_append_header(text);
    RegfileBytes bytes;
    bool out_of_memory = false;
    const RegResult read = append_tree(text, key.get(), wide_name, [&](std::u16string& lines) {
        if (lines.size() < kDrainUnits) return;
        out_of_memory = out_of_memory || !bytes.append(lines);
        lines.clear();
    });
    if (!read.ok())
        return fail(failure, kExportUnread,
                    reg_key_name(path->root, path->subkey) +
                        ": the key cannot be read to its end: " + reg_status_clause(read.status),
                    read.status);
    if (out_of_memory || !bytes.append(text))
        return fail(failure, kExportUnread, "the export is too large for memory",
                    platform::kErrorOutOfMemory);
    const long status = platform::file_replace(file, bytes.view(), false);
    if (status != platform::kErrorSuccess)
        return fail(failure, kExportNotWritten,
                    std::string(file) + " cannot be written: " + reg_status_clause(status), status);
    return 0;
}

}  // namespace qh
