#!/usr/bin/env bash
# Writes docs/screenshot.png: the main window with a frame from the simulated device, duration
# labels on. Runs under Xvfb (no desktop needed); falls back to Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=${BUILD_DIR:-build/run}
output=${1:-docs/screenshot.png}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEKODER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target dekoder-screenshot irsim

source scripts/simulated-device.sh

port="$workdir/ttyIR"
start_simulator "$build/tools/irsim" "$port" --demo --every 1000 --seed 7
mkdir -p "$(dirname "$output")"
preset_port "$port"
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
        "$build/app/dekoder-screenshot" "$output" 30
else
    QT_QPA_PLATFORM=offscreen "$build/app/dekoder-screenshot" "$output" 30
fi
echo "Wrote $output"
