// What the path-list, environment and regp tests share: registry values that
// are put back as they were, the current directory likewise, runs of the
// command line in process, and the bytes a text-mode file holds.
// Under Wine the registry and C:\ are the prefix's own: nothing may be left
// behind.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/run.h"
#include "platform/platform.h"
#include "registry/reg_value.h"
#include "support/test_support.h"

namespace env_test {

using qh::platform::kRegExpandSz;
using qh::platform::kRegSz;

inline constexpr std::string_view kSucceeded = "Succeeded in doing speicified operation(s)!\n";
inline constexpr std::string_view kFailed = "Error: Failed to do speicified operation(s)!\n";

inline constexpr std::string_view kSystemEnvironment =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr std::string_view kUserEnvironment = "Environment";

inline qh::Key hklm() { return qh::platform::root_key(qh::platform::Root::local_machine); }
inline qh::Key hkcu() { return qh::platform::root_key(qh::platform::Root::current_user); }

inline std::optional<qh::RegValue> read_value(qh::Key root, std::string_view subkey,
                                              qh::ValueName name) {
    qh::RegValue value;
    if (qh::reg_read_value_at(value, root, subkey, name) != 0) return std::nullopt;
    return value;
}

// A string value as stored: its text without the terminator.
struct Text {
    std::uint32_t type;
    std::string text;
    bool operator==(const Text&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Text& t) {
    return os << "{type " << t.type << ", \"" << t.text << "\"}";
}

inline std::optional<Text> read_text(qh::Key root, std::string_view subkey, qh::ValueName name) {
    const std::optional<qh::RegValue> value = read_value(root, subkey, name);
    if (!value) return std::nullopt;
    return Text{value->type, qh::reg_value_text(*value)};
}

inline void put_raw(qh::Key root, std::string_view subkey, qh::ValueName name, std::uint32_t type,
                    std::string_view bytes) {
    qh::Key key;
    ASSERT_EQ(qh::platform::reg_create_key_ex(root, subkey, key), 0);
    ASSERT_EQ(qh::platform::reg_set_value(key, name, type, bytes), 0);
    qh::platform::reg_close_key(key);
}

inline void put_text(qh::Key root, std::string_view subkey, qh::ValueName name, std::uint32_t type,
                     std::string_view text) {
    ASSERT_EQ(qh::reg_write_text_at(text, type, root, subkey, name), 0);
}

// Puts a value back (or removes it) at the end of a test.
class SavedValue {
  public:
    SavedValue(qh::Key root, std::string subkey, std::string name)
        : root_(root),
          subkey_(std::move(subkey)),
          name_(std::move(name)),
          before_(read_value(root_, subkey_, name_)) {}
    ~SavedValue() {
        if (before_) {
            qh::Key key;
            if (qh::platform::reg_create_key_ex(root_, subkey_, key) == 0) {
                qh::platform::reg_set_value(key, name_, before_->type, before_->data);
                qh::platform::reg_close_key(key);
            }
        } else {
            qh::reg_delete_value_at(root_, subkey_, name_);
        }
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

  private:
    qh::Key root_;
    std::string subkey_;
    std::string name_;
    std::optional<qh::RegValue> before_;
};

// Changes the current directory for one test.
class InDirectory {
  public:
    explicit InDirectory(std::string_view dir)
        : before_(qh::platform::current_directory().value_or("C:\\")) {
        EXPECT_TRUE(qh_test::change_directory(dir)) << dir;
    }
    ~InDirectory() { qh_test::change_directory(before_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

  private:
    std::string before_;
};

struct CliRun {
    int exit_code;
    std::string output;
};

inline CliRun cli(const std::vector<std::string>& args) {
    CliRun run{0, {}};
    run.exit_code = qh::cli_run(args, [&run](std::string_view bytes) { run.output += bytes; });
    return run;
}

// The bytes a text written with "\n" line ends has in a text-mode file.
inline std::string text_mode(std::string_view text) {
    if (qh_test::on_emulated_machine()) return std::string(text);
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

inline std::string repeat_line(std::string_view line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += line;
    return out;
}

}  // namespace env_test
