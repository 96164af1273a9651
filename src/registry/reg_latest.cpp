#include "registry/reg_latest.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>

#include "registry/reg_preview.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
#include "registry/reg_tree.h"

namespace qh {

namespace {

int compare_bytes(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

// ASCII digits only: in the double-byte code pages no trail byte is one.
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t digit_run_end(std::string_view text, std::size_t from) {
    while (from < text.size() && is_digit(text[from])) ++from;
    return from;
}

// Two runs of digits by value, then the shorter first.
int compare_digit_runs(std::string_view a, std::string_view b) {
    const std::string_view a_value = a.substr(std::min(a.find_first_not_of('0'), a.size()));
    const std::string_view b_value = b.substr(std::min(b.find_first_not_of('0'), b.size()));
    if (a_value.size() != b_value.size()) return a_value.size() < b_value.size() ? -1 : 1;
    if (const int by_value = compare_bytes(a_value, b_value)) return by_value;
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int compare_versions(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            const std::size_t a_end = digit_run_end(a, i);
            const std::size_t b_end = digit_run_end(b, j);
            if (const int runs = compare_digit_runs(a.substr(i, a_end - i), b.substr(j, b_end - j)))
                return runs;
            i = a_end;
            j = b_end;
            continue;
        }
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    const bool a_left = i < a.size();
    const bool b_left = j < b.size();
    if (a_left == b_left) return 0;
    return a_left ? 1 : -1;
}

// Raises `latest_name` to the greatest subkey name of `key` that the lookup
// accepts.
void raise_to_greatest_subkey(Key key, std::string& latest_name, const LatestLookup& lookup) {
    for (const std::string& name : reg_subkey_names(key, lookup.accepts)) {
        if (latest_name_greater(name, latest_name, lookup.order)) latest_name = name;
    }
}

int read_latest_previewed(RegValue& out, std::string& latest_name, const KeyPath& path,
                          ValueName name, Failure* failure, const LatestLookup& lookup,
                          ChangeSession* session) {
    const std::optional<std::vector<std::string>> names =
        reg_subkey_names_previewed(*session->preview(), path.root, path.subkey, lookup.accepts);
    if (!names)
        return reg_fail(failure, kLatestKeyNotReadable,
                        {RegStep::key, platform::kErrorFileNotFound}, path.root, path.subkey);
    for (const std::string& subkey_name : *names)
        if (latest_name_greater(subkey_name, latest_name, lookup.order)) latest_name = subkey_name;
    if (latest_name.empty())
        return fail(failure, kLatestNoSubkey,
                    reg_key_name(path.root, path.subkey) + ": the key has no subkey");
    std::string subkey_path = std::string(path.subkey) + "\\" + latest_name;
    // append(), not "\\" + std::string: GCC 12 at -O3 warns falsely of overlap there.
    if (!lookup.below.empty()) subkey_path.append("\\").append(lookup.below);
    const RegResult read = reg_read_value_at(out, path.root, subkey_path, name, session);
    if (read.ok()) return 0;
    if (read.failed == RegStep::key)
        return reg_fail(failure, kLatestSubkeyNotOpened, read, path.root, subkey_path);
    return reg_fail(failure, kLatestValueNotRead, read, path.root, subkey_path, name);
}

}  // namespace

std::vector<std::string> reg_subkey_names(Key key, bool (*accepts)(std::string_view name)) {
    std::vector<std::string> names;
    int failed_in_a_row = 0;
    for (std::uint32_t index = 0; failed_in_a_row < kMaxFailedEnumAnswers; ++index) {
        std::string name;
        const long answer = platform::reg_enum_key(key, index, name, kMaxSubkeyName);
        if (answer == platform::kErrorNoMoreItems) break;
        if (answer != platform::kErrorSuccess) {
            // One unreadable index does not hide the names after it.
            ++failed_in_a_row;
            continue;
        }
        failed_in_a_row = 0;
        if (!accepts || accepts(name)) names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::vector<std::string>> reg_subkey_names_previewed(
    const ChangePreview& preview, Key root, std::string_view subkey,
    bool (*accepts)(std::string_view name)) {
    std::u16string wide;
    if (!platform::multibyte_to_wide(subkey, wide)) return std::nullopt;
    std::vector<std::string> names;
    RegWalkVisitor visitor;
    visitor.key = [](std::u16string_view) {};
    visitor.value = [](const RegWideValue&) {};
    visitor.key_done = [&](std::u16string_view, const std::vector<std::u16string>& subkeys) {
        for (const std::u16string& subkey_name : subkeys) {
            std::string name;
            if (!platform::wide_to_multibyte(subkey_name, name) || name.size() > kMaxSubkeyName)
                continue;
            if (!accepts || accepts(name)) names.push_back(std::move(name));
        }
    };
    if (!reg_walk_at(root, wide, false, visitor, &preview).ok()) return std::nullopt;
    return names;
}

bool latest_name_greater(std::string_view candidate, std::string_view current, NameOrder order) {
    if (order == NameOrder::bytes) return compare_bytes(candidate, current) > 0;
    const int by_version = compare_versions(candidate, current);
    assert((by_version == 0) == (candidate == current));
    return by_version > 0;
}

int reg_read_latest(RegValue& out, std::string& latest_name, std::string_view key_path,
                    ValueName name, Failure* failure, const LatestLookup& lookup,
                    ChangeSession* session) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, kLatestKeyNotReadable, reg_path_reason(key_path));
    // The changes a preview keeps are of the native view.
    if (const ChangePreview* const preview = session ? session->preview() : nullptr;
        preview && lookup.view == View::native)
        return read_latest_previewed(out, latest_name, *path, name, failure, lookup, session);
    const OwnedKey key = reg_open_for_reading(path->root, path->subkey, lookup.view);
    if (!key)
        return reg_fail(failure, kLatestKeyNotReadable, key.result(), path->root, path->subkey);

    raise_to_greatest_subkey(key.get(), latest_name, lookup);
    if (latest_name.empty()) {
        return fail(failure, kLatestNoSubkey,
                    reg_key_name(path->root, path->subkey) + ": the key has no subkey");
    }

    const std::string latest =
        lookup.below.empty() ? latest_name : latest_name + "\\" + std::string(lookup.below);
    const std::string subkey_path = std::string(path->subkey) + "\\" + latest;
    // Opened from the key, so the subkey is in the key's view.
    const OwnedKey subkey = reg_open_for_reading(key.get(), latest);
    if (!subkey)
        return reg_fail(failure, kLatestSubkeyNotOpened, subkey.result(), path->root, subkey_path);
    const RegResult read = reg_read_value(out, subkey.get(), name);
    if (read.ok()) return 0;
    return reg_fail(failure, kLatestValueNotRead, read, path->root, subkey_path, name);
}

}  // namespace qh
