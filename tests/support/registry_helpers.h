// Helpers many tests share: the result lines, the environment keys, reading
// and writing registry values, in-process runs of the command line, and the
// bytes of text files.
#pragma once

#include <gtest/gtest.h>

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

// One value as raw type and bytes; nothing when absent.
inline std::optional<qh::RegValue> read_value(qh::Key root, std::string_view subkey,
                                              qh::ValueName name) {
    qh::RegValue value;
    if (qh::reg_read_value_at(value, root, subkey, name) != 0) return std::nullopt;
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
    ASSERT_EQ(qh::reg_write_text_at(text, type, root, subkey, name), 0);
}

struct CliRun {
    int exit_code = -1;
    std::string output;
};

// The command line run in process, its output collected as printed.
inline CliRun run_cli(const std::vector<std::string>& args) {
    CliRun run;
    run.exit_code = qh::cli_run(args, [&run](std::string_view bytes) { run.output += bytes; });
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

}  // namespace qh_test
