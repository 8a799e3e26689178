// Test entry for the suites that need widgets: one QApplication for the whole run,
// on the offscreen platform unless another is named.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/HangingMount.h"

int main(int argc, char** argv)
{
    // Before any thread: the mounts a test makes stay private to this run.
    testsupport::EnterPrivateMountNamespace();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
