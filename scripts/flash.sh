#!/usr/bin/env bash
# Writes the device's firmware into an Arduino Uno or Nano through the board's own bootloader.
#
#   scripts/flash.sh [--old-bootloader | --baud N] [--hex FILE] [PORT]
#
#   PORT              ttyUSB0, /dev/ttyACM0, ...; without it, the only /dev/ttyUSB* or
#                     /dev/ttyACM* present
#   --old-bootloader  a Nano (or clone) with the old bootloader, which talks at 57600 baud
#   --baud N          the bootloader's speed (default 115200, the Uno's and the new Nano's)
#   --hex FILE        the image to write; default $DEKODER_FIRMWARE_HEX, else the newest
#                     dekoder-firmware.hex under build/, else one built now
#
# The port is checked first by the program's own check (tools/portcheck), so a missing, busy or
# forbidden port gets the cause the window gives, instead of avrdude's "not in sync".
# BUILD_DIR (default build/flash) is where missing pieces are built.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/flash}
# Where the ports are looked for; tests point it at a folder of their own.
dev_dir=${DEKODER_DEV_DIR:-/dev}
image_name=dekoder-firmware.hex

# usage [STATUS]: the lines above, to standard error when they answer a wrong call.
usage() {
    if [[ ${1:-2} == 0 ]]; then
        sed -n '4,11s/^# \{0,1\}//p' "$0"
    else
        sed -n '4,11s/^# \{0,1\}//p' "$0" >&2
    fi
    exit "${1:-2}"
}

baud=115200
hex=${DEKODER_FIRMWARE_HEX:-}
port=""
while (($# > 0)); do
    case $1 in
    --old-bootloader) baud=57600 ;;
    --baud)
        [[ $# -ge 2 && $2 =~ ^[0-9]+$ ]] || usage
        baud=$2
        shift
        ;;
    --hex)
        [[ $# -ge 2 ]] || usage
        hex=$2
        shift
        ;;
    -h | --help) usage 0 ;;
    -*) usage ;;
    *)
        [[ -z "$port" ]] || usage
        port=$1
        ;;
    esac
    shift
done

if ! command -v avrdude >/dev/null; then
    echo "avrdude is missing: sudo apt-get install avrdude (or scripts/setup.sh)" >&2
    exit 1
fi

if [[ -z "$port" ]]; then
    shopt -s nullglob
    found=("$dev_dir"/ttyUSB* "$dev_dir"/ttyACM*)
    shopt -u nullglob
    if ((${#found[@]} == 0)); then
        echo "No board found: no $dev_dir/ttyUSB* or $dev_dir/ttyACM* is present. Connect the" >&2
        echo "Arduino by USB, or name its port: scripts/flash.sh /dev/ttyUSB0" >&2
        exit 1
    fi
    if ((${#found[@]} > 1)); then
        echo "Several ports are present (${found[*]}); name the board's: scripts/flash.sh PORT" >&2
        exit 1
    fi
    port=${found[0]}
fi

# configure_build: the build folder for the pieces below, without the windows and the tests.
configure_build() {
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEKODER_BUILD_UI=OFF \
            -DDEKODER_BUILD_TESTS=OFF >/dev/null
    fi
}

portcheck=$build/tools/portcheck
if [[ ! -x "$portcheck" ]]; then
    configure_build
    cmake --build "$build" -j "$(nproc)" --target portcheck
fi

# The same open the window makes, before any long build; portcheck prints why it failed.
device=$("$portcheck" "$port") || exit 1

if [[ -z "$hex" ]]; then
    hex=$(find "$root/build" -name "$image_name" -printf '%T@ %p\n' 2>/dev/null |
        sort -n | tail -n 1 | cut -d ' ' -f 2- || true)
fi
if [[ -z "$hex" ]]; then
    configure_build
    # Without the AVR compiler the build has no firmware target.
    cmake --build "$build" -j "$(nproc)" --target dekoder_firmware || true
    hex=$(find "$build" -name "$image_name" | head -n 1)
    if [[ -z "$hex" ]]; then
        echo "The firmware was not built: the AVR compiler is missing. scripts/setup.sh installs" >&2
        echo "it (gcc-avr, avr-libc, avrdude); then run this again." >&2
        exit 1
    fi
fi
if [[ ! -f "$hex" ]]; then
    echo "No firmware image at $hex" >&2
    exit 1
fi

command=(avrdude -p atmega328p -c arduino -P "$device" -b "$baud" -D -U "flash:w:$hex:i")
echo "${command[*]}"
if ! "${command[@]}"; then
    if [[ $baud == 115200 ]]; then
        echo "A Nano with the old bootloader talks at 57600 baud: try --old-bootloader." >&2
    fi
    exit 1
fi
