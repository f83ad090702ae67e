// Test entry for suites that need a QApplication. The offscreen platform is
// used unless the test run sets QT_QPA_PLATFORM (the clipboard exchange
// between two programs needs a real X server, e.g. xvfb-run).
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv)
{
    zop::test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
