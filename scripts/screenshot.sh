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

workdir=$(mktemp -d "${TMPDIR:-/tmp}/dekoder-shot.XXXXXX")
simulator_pid=""
cleanup() {
    if [[ -n "$simulator_pid" ]]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT

port="$workdir/ttyIR"
"$build/tools/irsim" --demo --every 1000 --seed 7 --quiet --link "$port" >"$workdir/irsim.log" 2>&1 &
simulator_pid=$!
for _ in $(seq 100); do
    [[ -e "$port" ]] && break
    sleep 0.05
done
[[ -e "$port" ]] || { echo "The device simulator did not start." >&2; cat "$workdir/irsim.log" >&2; exit 1; }

mkdir -p "$workdir/config/dekoder-ir" "$(dirname "$output")"
printf '[Software]\nFalquin\\Port%%20komunikacyjny=%s\n' "$port" \
    >"$workdir/config/dekoder-ir/registry.ini"

export XDG_CONFIG_HOME="$workdir/config"
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
        "$build/app/dekoder-screenshot" "$output" 30
else
    QT_QPA_PLATFORM=offscreen "$build/app/dekoder-screenshot" "$output" 30
fi
echo "Wrote $output"
