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

// Lines are gathered this far before they go into the file's bytes.
constexpr std::size_t kDrainUnits = 32 * 1024;

}  // namespace

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
    const RegResult read =
        regfile_append_tree_drained(text, key.get(), wide_name, [&](std::u16string& lines) {
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
