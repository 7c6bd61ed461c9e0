#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and
# `make package` (help2man for the manual pages, file for CPack) need.
# Run as root on Debian 12 or later; safe to run again.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh must run as root (try: sudo $0)" >&2
    exit 1
fi
packages=(
    build-essential cmake make pkg-config git clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libfftw3-dev libeigen3-dev libmatio-dev zlib1g-dev
    libasio-dev libtirpc-dev rpcsvc-proto
    libcli11-dev libfmt-dev
    qt6-base-dev qt6-tools-dev libqt6opengl6-dev qt6-svg-dev libqcustomplot-dev libgl-dev libxkbcommon-dev
    python3 python3-numpy python3-scipy python3-jsonschema
    pybind11-dev python3-dev python3-pytest
    xvfb xauth imagemagick socat
    help2man file
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "All build dependencies are installed."
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
