#include <gtest/gtest.h>

#include "support/test_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qh_test::prepare_machine();
    return RUN_ALL_TESTS();
}
