#include "tests/support/PinnedFonts.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/ToolsDir.h"

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    testsupport::SetDefaultToolsDir();
    testsupport::TempConfigHome configHome;
    testsupport::PinFonts();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
