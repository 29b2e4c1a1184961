#!/usr/bin/env bash
# Brings a Debian 12 machine to a working build: installs the packages the project needs, only those
# that are missing, so a second run is quick and changes nothing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config git dpkg-dev file
    qt6-base-dev qt6-base-dev-tools libqcustomplot-dev libjpeg-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth fonts-dejavu-core
    clang libclang-rt-14-dev
    python3 python3-serial qt6-serialport-dev
    nlohmann-json3-dev libcli11-dev qt6-translations-l10n qt6-svg-dev
    gcc-avr avr-libc avrdude simavr libsimavr-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
