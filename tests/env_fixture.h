// What the path-list, environment and regp tests share: registry values that
// are put back as they were, and the current directory likewise.
// Under Wine the registry and C:\ are the prefix's own: nothing may be left
// behind.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace env_test {

// Puts a value back (or removes it) at the end of a test.
class SavedValue {
  public:
    SavedValue(qh::Key root, std::string subkey, std::string name)
        : root_(root),
          subkey_(std::move(subkey)),
          name_(std::move(name)),
          before_(qh_test::read_value(root_, subkey_, name_)) {}
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

inline std::string repeat_line(std::string_view line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += line;
    return out;
}

}  // namespace env_test
