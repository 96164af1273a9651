// What the path-list, environment and regp tests share beyond the common
// support: the current directory, put back as it was.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace env_test {

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
