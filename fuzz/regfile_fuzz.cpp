// Feeds arbitrary bytes to the registry-file reader's operations and, as a
// file, to the engine in both modes on a private emulated machine. After the
// import, a second read of the file says what must now be stored: the last
// text ("...") or dword:XXXXXXXX value that the file gives each value of a
// key. Forms this check does not decode make their value unchecked, and once
// a line may have continuation lines (a backslash in data it does not
// decode), later lines are no longer taken as certain.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_machine.h"
#include "platform/platform.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/text_conversion.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "regfile/utf8.h"
#include "registry/reg_path.h"

namespace {

namespace platform = qh::platform;

std::string machine_dir;

void check(bool condition) {
    if (!condition) std::abort();
}

// A text of the run's code page as the registry keeps it: UTF-16, a byte the
// code page lacks becoming '?'.
std::u16string stored_text(std::string_view text) {
    std::u16string units;
    platform::posix::to_utf16(static_cast<int>(platform::locale_code_page()), text,
                              platform::posix::Unmappable::default_char, units);
    return units;
}

// What a read in the run's code page gives back of a text written in it.
std::string read_back(std::string_view text) {
    std::string bytes;
    platform::posix::from_utf16(static_cast<int>(platform::locale_code_page()), stored_text(text),
                                platform::posix::Unmappable::default_char, bytes);
    return bytes;
}

// A UTF-16LE file's text (UTF-8 from the reader) as the W calls store it.
std::string wide_bytes(std::string_view utf8) {
    std::string bytes;
    for (const char16_t unit : qh::utf8_to_utf16(utf8))
        bytes += {static_cast<char>(unit & 0xff), static_cast<char>(unit >> 8)};
    return bytes;
}

// Names equal to the registry compare equal here.
std::string folded(std::string_view name, bool wide) {
    return platform::posix::folded_name(wide ? qh::utf8_to_utf16(name) : stored_text(name));
}

void exercise_reader(const std::string& bytes) {
    qh::RegfileReader reader(bytes);
    std::string line;
    std::string out;
    while (reader.read_line(line)) {
        qh::regfile_read_quoted(line, 0, out);
        if (const auto colon = line.find(':'); colon != std::string::npos) {
            qh::regfile_parse_hex(std::string_view(line).substr(colon + 1), reader, out);
        }
        std::string again;
        qh::utf8_append(qh::utf8_to_utf16(line), again);
    }
}

// One value that a line of the file gives.
struct Given {
    platform::Key root;
    std::string subkey;
    std::string name;
    // The type and bytes it must have; nothing when the form is not decoded
    // here.
    std::optional<std::pair<std::uint32_t, std::string>> stored;
};

struct Expectations {
    // A UTF-16LE file: names, paths and texts as UTF-8, written through the
    // W calls.
    bool wide = false;
    std::vector<Given> given;
    // Names given once lines were no longer certain: unchecked under any key.
    std::set<std::string> uncertain_names;
};

// "dword:" and exactly eight hex digits, then nothing but the line end.
std::optional<std::uint32_t> plain_dword(std::string_view data) {
    constexpr std::string_view prefix = "dword:";
    if (!data.starts_with(prefix)) return std::nullopt;
    data.remove_prefix(prefix.size());
    while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.remove_suffix(1);
    if (data.size() != 8) return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : data) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return number;
}

Expectations read_expectations(const std::string& bytes) {
    Expectations out;
    qh::RegfileReader reader(bytes);
    out.wide = reader.wide();
    std::optional<std::pair<platform::Key, std::string>> key;
    bool certain = true;
    std::string line;
    std::string name;
    std::string text;
    while (reader.read_line(line)) {
        if (line.empty()) continue;
        if (line[0] == '[') {
            key.reset();
            const std::size_t bracket = line.find(']');
            if (bracket == std::string::npos) continue;
            const std::string_view path = std::string_view(line).substr(1, bracket - 1);
            // The registry editor's form of a key deletion: whatever it does
            // to the keys before it, they are not checked.
            if (path.starts_with('-')) out.given.clear();
            if (const auto parsed = qh::reg_parse_path(path))
                key.emplace(parsed->root, std::string(parsed->subkey));
            continue;
        }
        if (line[0] != '"' && line[0] != '@') continue;
        std::size_t data_pos;
        if (line[0] == '@') {
            if (line.size() < 2 || line[1] != '=') continue;
            name.clear();
            data_pos = 2;
        } else {
            const auto end = qh::regfile_read_quoted(line, 0, name);
            if (!end || *end >= line.size() || line[*end] != '=') continue;
            data_pos = *end + 1;
        }
        // Once uncertain, a key line here may have been a continuation line
        // to the engine: the value may have gone to the key before it.
        if (!certain) {
            out.uncertain_names.insert(folded(name, out.wide));
            continue;
        }
        if (!key || data_pos >= line.size()) continue;
        const std::string_view data = std::string_view(line).substr(data_pos);
        Given given{key->first, key->second, name, std::nullopt};
        if (data[0] == '"') {
            qh::regfile_read_quoted(data, 0, text);
            given.stored.emplace(platform::kRegSz, out.wide
                                                       ? wide_bytes(text) + std::string(2, '\0')
                                                       : read_back(text + '\0'));
        } else if (const auto number = plain_dword(data)) {
            std::string le(4, '\0');
            for (int i = 0; i < 4; ++i) le[i] = static_cast<char>((*number >> (8 * i)) & 0xff);
            given.stored.emplace(platform::kRegDword, le);
        } else if (data.find('\\') != std::string_view::npos) {
            certain = false;
        }
        out.given.push_back(std::move(given));
    }
    return out;
}

// Compares the registry with what the file gives, the last line for each
// value deciding.
void check_stored(const Expectations& expected) {
    std::map<std::pair<std::uintptr_t, std::string>, const Given*> last;
    const bool wide = expected.wide;
    for (const Given& given : expected.given) {
        platform::Key key;
        const std::u16string subkey = qh::utf8_to_utf16(given.subkey);
        if ((wide ? platform::reg_open_key_wide(given.root, subkey, key)
                  : platform::reg_open_key(given.root, given.subkey, key)) !=
            platform::kErrorSuccess) {
            // Only a key that cannot be made may be missing.
            platform::Key made;
            check(!given.stored ||
                  (wide ? platform::reg_create_key_wide(given.root, subkey, made)
                        : platform::reg_create_key_ex(given.root, given.subkey, made)) !=
                      platform::kErrorSuccess);
            continue;
        }
        last[{key.handle, folded(given.name, wide)}] = &given;
        platform::reg_close_key(key);
    }
    for (const auto& [where, given] : last) {
        if (!given->stored || expected.uncertain_names.contains(where.second)) continue;
        std::uint32_t type = 0;
        std::string data;
        const platform::Key key{where.first};
        check((wide ? platform::reg_query_value_wide(key, qh::utf8_to_utf16(given->name), type,
                                                     data, 1 << 24)
                    : platform::reg_query_value(key, given->name, type, data, 1 << 24)) ==
              platform::kErrorSuccess);
        check(type == given->stored->first && data == given->stored->second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    machine_dir = qh_fuzz::make_machine();
    qh::platform::locale_select("chinese-simplified");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    exercise_reader(bytes);

    const std::string path = machine_dir + "/input.reg";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    check(file != nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    for (const bool applying : {true, false}) {
        platform::OperationScope scope;
        check(scope.begun() == platform::kErrorSuccess);
        const int result =
            applying ? qh::regfile_apply("Z:" + path) : qh::regfile_remove("Z:" + path);
        check(result == 0 || result == 2);  // the file exists: never 1
        check(scope.end() == platform::kErrorSuccess);
        if (applying) check_stored(read_expectations(bytes));
    }
    return 0;
}
