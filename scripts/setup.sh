#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Sets up a Debian 12 machine for Vorlan2, builds it, and then optionally
#   demo   starts the workstation demo
#   test   runs every test through CTest
# Packages are installed only when missing, so a second run installs nothing.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VORLAN_BUILD_DIR:-$top/build}
action=${1:-build}
shift || true

packages=(
    g++ cmake ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
    libqt5svg5-dev qtmultimedia5-dev libqt5multimedia5-plugins zlib1g-dev
    fonts-dejavu-core
    pulseaudio pulseaudio-utils
    valgrind
    qttranslations5-l10n dpkg-dev file
    sumo sumo-tools
)

die() {
    echo "setup: $*" >&2
    exit 1
}

case $action in
    build|demo|test) ;;
    *) die "unknown action '$action' (use: build, demo or test)" ;;
esac

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    command -v apt-get >/dev/null || die "apt-get not found: this needs Debian 12 (missing: ${missing[*]})"
    if ((EUID == 0)); then
        sudo=()
    elif command -v sudo >/dev/null; then
        sudo=(sudo)
    else
        die "must run as root to install: ${missing[*]}"
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq || die "apt-get update failed"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || die "could not install: ${missing[*]}"
fi

# Extra configure arguments, e.g. VORLAN_CMAKE_ARGS="-DVORLAN_SANITIZE=ON".
read -ra extra <<<"${VORLAN_CMAKE_ARGS:-}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-Release}" "${extra[@]}" >/dev/null \
    || die "configuring failed"
cmake --build "$build" || die "building failed"

case $action in
    demo) exec "$build/demo/vorlan-workstation" "$@" ;;
    test) QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure "$@" ;;
esac
