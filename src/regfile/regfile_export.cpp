#include "regfile/regfile_export.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "platform/platform.h"
#include "registry/reg_preview.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
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

int regfile_export(std::string_view key_path, std::string_view file, Failure* failure,
                   ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kExportNoKey, reg_path_reason(key_path));
    // As reg export refuses it: it holds nothing a file could put back.
    if (path->root == platform::root_key(platform::Root::dyn_data))
        return fail(failure, kExportNoKey, "HKEY_DYN_DATA is not exported");
    std::u16string wide_subkey;
    if (!platform::multibyte_to_wide(path->subkey, wide_subkey))
        return reg_fail(failure, kExportNoKey, {RegStep::key, platform::kErrorInvalidName},
                        path->root, path->subkey);

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

    ChangePreview* const preview = session ? session->preview() : nullptr;
    std::size_t keys = 0;
    std::size_t values = 0;
    const auto walk = [&](const RegWalkVisitor& lines) {
        RegWalkVisitor counted = lines;
        counted.key = [&](std::u16string_view below) {
            ++keys;
            lines.key(below);
        };
        counted.value = [&](const RegWideValue& value) {
            ++values;
            lines.value(value);
        };
        return reg_walk_at(path->root, wide_subkey, true, counted, preview);
    };
    std::u16string text;
    regfile_append_header(text);
    RegfileBytes bytes;
    bool out_of_memory = false;
    const RegResult read =
        regfile_append_tree_drained(text, walk, wide_name, [&](std::u16string& lines) {
            if (lines.size() < kDrainUnits) return;
            out_of_memory = out_of_memory || !bytes.append(lines);
            lines.clear();
        });
    if (keys == 0) return reg_fail(failure, kExportNoKey, read, path->root, path->subkey);
    if (!read.ok())
        return fail(failure, kExportUnread,
                    reg_key_name(path->root, path->subkey) +
                        ": the key cannot be read to its end: " + reg_status_clause(read.status),
                    read.status);
    if (out_of_memory || !bytes.append(text))
        return fail(failure, kExportUnread, "the export is too large for memory",
                    platform::kErrorOutOfMemory);
    // A dry run writes no file either: it tells what the file would hold.
    if (preview) {
        preview->line("would write " + std::string(file) + " (" + std::to_string(keys) +
                      (keys == 1 ? " key, " : " keys, ") + std::to_string(values) +
                      (values == 1 ? " value)" : " values)"));
        return 0;
    }
    const long status = platform::file_replace(file, bytes.view(), false);
    if (status != platform::kErrorSuccess)
        return fail(failure, kExportNotWritten,
                    std::string(file) + " cannot be written: " + reg_status_clause(status), status);
    return 0;
}

}  // namespace qh
