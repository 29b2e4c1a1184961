#!/usr/bin/env bash
# Builds the Debian package of the program: build/package/dekoder-ir_<version>_<arch>.deb, with the
# program, the device simulator, the desktop entry and the icon. Install it with
#   sudo apt install ./build/package/dekoder-ir_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

dir=${BUILD_ROOT:-build}/package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DDEKODER_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB)
ls "$dir"/*.deb
