#include "tests/support/TempConfigHome.h"
#include "tests/support/ToolsDir.h"

#include <QCoreApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    testsupport::SetDefaultToolsDir();
    testsupport::TempConfigHome configHome;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
