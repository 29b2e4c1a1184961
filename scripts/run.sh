#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
#
#   scripts/run.sh                          against the simulated device
#   DEKODER_PORT=/dev/ttyUSB0 scripts/run.sh against a real device on that port
#   DEKODER_DEVICE=firmware scripts/run.sh  against the device's own firmware (firmware/) running
#                                            in a simulated ATmega328P
#   DEKODER_DEVICE=flipper scripts/run.sh   against a simulated Flipper Zero (its USB command line)
#
# Either way the program keeps its settings in a throwaway folder, preset to the port, so the run
# never touches the user's own settings. Without DEKODER_PORT the device simulator runs in its demo
# mode (a varied frame every few seconds, loop-back on) on a pseudo-terminal; closing the window
# ends both. To use a device with your own settings, start build/run/app/dekoder-ir and pick the
# port in the window.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "No display: Dekoder IR is a desktop program and needs a graphical session" >&2
    echo "(DISPLAY or WAYLAND_DISPLAY is not set). Run it from a desktop terminal, or over" >&2
    echo "'ssh -X'. scripts/test.sh and scripts/screenshot.sh work without a display." >&2
    exit 1
fi

scripts/setup.sh

build=${BUILD_DIR:-build/run}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEKODER_BUILD_TESTS=OFF >/dev/null
device=${DEKODER_DEVICE:-irsim}
targets=(dekoder-ir irsim)
case "$device" in
    irsim | flipper) ;;
    firmware) targets+=(firmware-sim) ;;
    *)
        echo "DEKODER_DEVICE is 'irsim' (the default), 'firmware' or 'flipper', not '$device'." >&2
        exit 2
        ;;
esac
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

source scripts/simulated-device.sh
trap 'exit 130' INT TERM

port=${DEKODER_PORT:-}
if [[ -z "$port" ]]; then
    port="$workdir/ttyIR"
    case "$device" in
    firmware)
        start_simulator "$build/firmware/sim/firmware-sim" "$port"
        echo "The device's firmware in a simulated ATmega328P on $port (a remote's frame every few seconds)."
        ;;
    flipper)
        start_simulator "$build/tools/irsim" "$port" --flipper --every 3000
        echo "Simulated Flipper Zero on $port (a capture every few seconds)."
        ;;
    *)
        start_simulator "$build/tools/irsim" "$port" --demo
        echo "Simulated device on $port (a new frame every few seconds)."
        ;;
    esac
fi

# The program's settings file: the user part of its "registry".
preset_port "$port"
"$build/app/dekoder-ir"
