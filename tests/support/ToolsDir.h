#pragma once

#include <cstdlib>

namespace testsupport {

// Tells the tests where the build put the device simulator, unless the caller said otherwise.
inline void SetDefaultToolsDir() {
#ifdef DEKODER_TOOLS_DIR_DEFAULT
    setenv("DEKODER_TOOLS_DIR", DEKODER_TOOLS_DIR_DEFAULT, /*overwrite=*/0);
#endif
}

} // namespace testsupport
