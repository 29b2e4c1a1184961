#include <gmock/gmock.h>

#include "tests/support/ToolsDir.h"

int main(int argc, char** argv) {
    testsupport::SetDefaultToolsDir();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
