#include <gtest/gtest.h>

#include "support/test_support.h"

TEST(Smoke, BackendIsKnown) {
    const std::string name = qh_test::backend_name();
    EXPECT_TRUE(name == "posix" || name == "win32") << name;
}
