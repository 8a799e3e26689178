// Test entry for the suites without widgets.
#include <gtest/gtest.h>

#include "tests/support/HangingMount.h"

int main(int argc, char** argv)
{
    // Before any thread: the mounts a test makes stay private to this run.
    testsupport::EnterPrivateMountNamespace();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
