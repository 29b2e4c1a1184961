#include "tests/support/PinnedFonts.h"

#include <cstdlib>

namespace testsupport {

void PinFonts() {
    setenv("FONTCONFIG_FILE", DEKODER_TEST_FONTS_CONF, /*overwrite=*/1);
}

} // namespace testsupport
