// Helpers many tests share: the result lines, the environment keys, reading,
// writing and restoring registry values, in-process runs of the command
// line, and the bytes of text files. Reads go to the platform directly, so
// that what a test sees does not depend on the code under test.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/run.h"
#include "platform/platform.h"
#include "registry/reg_value.h"
#include "support/test_support.h"

namespace qh_test {

inline constexpr std::string_view kSucceeded = "Succeeded in doing speicified operation(s)!\n";
inline constexpr std::string_view kFailed = "Error: Failed to do speicified operation(s)!\n";

inline constexpr std::string_view kSystemEnvironment =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr std::string_view kUserEnvironment = "Environment";

inline qh::Key hklm() { return qh::platform::root_key(qh::platform::Root::local_machine); }
inline qh::Key hkcu() { return qh::platform::root_key(qh::platform::Root::current_user); }

inline bool key_exists(qh::Key root, std::string_view subkey) {
    qh::Key key;
    if (qh::platform::reg_open_key(root, subkey, key) != qh::platform::kErrorSuccess) return false;
    qh::platform::reg_close_key(key);
    return true;
}
inline bool key_exists(qh::platform::Root root, std::string_view subkey) {
    return key_exists(qh::platform::root_key(root), subkey);
}
// A key named by a whole path text, "HKEY_CURRENT_USER\x".
inline bool key_exists(std::string_view path) {
    const std::optional<qh::KeyPath> key_path = qh::reg_parse_path(path);
    return key_path && key_exists(key_path->root, key_path->subkey);
}

// Imports write far more than a command-line read may fetch.
inline constexpr std::size_t kLargestValueRead = std::size_t{1} << 24;

// One value as raw type and bytes, of any size up to kLargestValueRead;
// nothing when absent.
inline std::optional<qh::RegValue> read_value(qh::Key root, std::string_view subkey,
                                              qh::ValueName name) {
    qh::Key key;
    if (qh::platform::reg_open_key(root, subkey, key) != qh::platform::kErrorSuccess) {
        return std::nullopt;
    }
    qh::RegValue value;
    const long status =
        qh::platform::reg_query_value(key, name, value.type, value.data, kLargestValueRead);
    qh::platform::reg_close_key(key);
    if (status != qh::platform::kErrorSuccess) return std::nullopt;
    return value;
}
inline std::optional<qh::RegValue> read_value(qh::platform::Root root, std::string_view subkey,
                                              qh::ValueName name) {
    return read_value(qh::platform::root_key(root), subkey, name);
}

inline std::optional<std::string> read_text(qh::platform::Root root, std::string_view subkey,
                                            qh::ValueName name) {
    if (auto value = read_value(root, subkey, name)) return qh::reg_value_text(*value);
    return std::nullopt;
}

// A string value as stored: its type and its text without the terminator.
struct Text {
    std::uint32_t type;
    std::string text;
    bool operator==(const Text&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Text& t) {
    return os << "{type " << t.type << ", \"" << t.text << "\"}";
}

inline std::optional<Text> read_typed_text(qh::Key root, std::string_view subkey,
                                           qh::ValueName name) {
    const std::optional<qh::RegValue> value = read_value(root, subkey, name);
    if (!value) return std::nullopt;
    return Text{value->type, qh::reg_value_text(*value)};
}

// Bytes of any type, bypassing the checks of the tool's own writers.
inline void put_raw(qh::Key root, std::string_view subkey, qh::ValueName name, std::uint32_t type,
                    std::string_view bytes) {
    qh::Key key;
    ASSERT_EQ(qh::platform::reg_create_key_ex(root, subkey, key), qh::platform::kErrorSuccess);
    EXPECT_EQ(qh::platform::reg_set_value(key, name, type, bytes), qh::platform::kErrorSuccess);
    qh::platform::reg_close_key(key);
}

inline void put_text(qh::Key root, std::string_view subkey, qh::ValueName name, std::uint32_t type,
                     std::string_view text) {
    ASSERT_TRUE(qh::reg_write_text_at(text, type, root, subkey, name).ok());
}

// Puts one value back exactly (type and bytes) at the end of a test, or
// removes it again when it did not exist. Under Wine the registry is the
// prefix's own, so nothing may be left behind.
class ValueRestorer {
  public:
    ValueRestorer(qh::Key root, std::string subkey, std::string name)
        : root_(root),
          subkey_(std::move(subkey)),
          name_(std::move(name)),
          saved_(read_value(root_, subkey_, name_)) {}
    ValueRestorer(qh::platform::Root root, std::string subkey, std::string name)
        : ValueRestorer(qh::platform::root_key(root), std::move(subkey), std::move(name)) {}
    ~ValueRestorer() {
        // A value that was absent under an absent key needs no key made for it.
        if (!saved_ && !key_exists(root_, subkey_)) return;
        qh::Key key;
        if (qh::platform::reg_create_key_ex(root_, subkey_, key) != qh::platform::kErrorSuccess) {
            return;
        }
        if (saved_) {
            qh::platform::reg_set_value(key, name_, saved_->type, saved_->data);
        } else {
            qh::platform::reg_delete_value(key, name_);
        }
        qh::platform::reg_close_key(key);
    }
    ValueRestorer(const ValueRestorer&) = delete;
    ValueRestorer& operator=(const ValueRestorer&) = delete;

    const std::optional<qh::RegValue>& saved() const { return saved_; }

  private:
    qh::Key root_;
    std::string subkey_;
    std::string name_;
    std::optional<qh::RegValue> saved_;
};

}  // namespace qh_test

namespace qh {
// How a failing expectation shows a registry result.
inline std::ostream& operator<<(std::ostream& os, const RegResult& result) {
    constexpr const char* kSteps[] = {"none", "key", "value"};
    return os << "{failed " << kSteps[static_cast<int>(result.failed)] << ", status "
              << result.status << "}";
}
}  // namespace qh

namespace qh_test {

struct CliRun {
    int exit_code = -1;
    std::string output;
    std::string errors;  // standard error
};

// The command line run in process, its output collected as printed.
inline CliRun run_cli(const std::vector<std::string>& args) {
    CliRun run;
    run.exit_code = qh::cli_run(
        args,
        [&run](std::string_view bytes) {
            run.output += bytes;
            return true;
        },
        [&run](std::string_view bytes) {
            run.errors += bytes;
            return true;
        });
    return run;
}

inline std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The bytes a text written with "\n" line ends has in a text-mode file.
inline std::string text_mode(std::string_view text) {
    return on_emulated_machine() ? std::string(text) : crlf(text);
}

// UTF-16LE bytes, with the byte order mark, of a text whose characters are
// all below 256.
inline std::string utf16le(std::string_view text) {
    std::string bytes = "\xff\xfe";
    for (char c : text) bytes += {c, '\0'};
    return bytes;
}

// One value as the W calls read it, the string types in UTF-16LE; nothing
// when absent.
inline std::optional<qh::RegValue> read_value_wide(qh::Key root, std::u16string_view subkey,
                                                   std::u16string_view name) {
    qh::Key key;
    if (qh::platform::reg_open_key_wide(root, subkey, key) != qh::platform::kErrorSuccess)
        return std::nullopt;
    qh::RegValue value;
    const long status =
        qh::platform::reg_query_value_wide(key, name, value.type, value.data, kLargestValueRead);
    qh::platform::reg_close_key(key);
    if (status != qh::platform::kErrorSuccess) return std::nullopt;
    return value;
}
// ASCII key and value names, each byte a unit.
inline std::u16string widened(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }
inline std::optional<qh::RegValue> read_value_wide(qh::Key root, std::string_view subkey,
                                                   std::string_view name) {
    return read_value_wide(root, widened(subkey), widened(name));
}

// The UTF-16LE bytes of UTF-16 text, as the W calls store and files hold it
// (no byte order mark).
inline std::string le_bytes(std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units)
        bytes += {static_cast<char>(unit & 0xff), static_cast<char>(unit >> 8)};
    return bytes;
}

}  // namespace qh_test
