#!/usr/bin/env bash
# Installs what the project needs (only what is missing) and builds it incrementally into build/.
# Sourced by the other scripts; usable alone: tools/setup.sh
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORIN_BUILD_DIR:-$ROOT/build}"
PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev libgmock-dev libcli11-dev libyaml-cpp-dev
          fonts-nanum iproute2 util-linux
          # clang, its sanitizer runtimes and llvm (the symbolizer) build and read the
          # ThreadSanitizer and fuzz builds of tools/run-tests.sh
          clang libclang-rt-14-dev llvm
          # the Debian package and its checks
          dpkg-dev file help2man lintian desktop-file-utils appstream
          qt6-qpa-plugins xvfb x11-utils
          # the start-up benchmark watches its Xvfb through xcb
          libxcb1-dev)
# Build jobs: one per core (ninja alone would run cores + 2).
JOBS="$(nproc)"

# install_missing [PACKAGE...]: those packages (default: PACKAGES) that are not installed yet.
install_missing() {
    local missing=() wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# CI treats warnings as errors; elsewhere the build keeps whatever it was configured with, so the
# demo and the tests share one build.
WERROR_ARGS=()
[ -n "${CI:-}" ] && WERROR_ARGS=(-DQUORIN_WERROR=ON)

build() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "${WERROR_ARGS[@]}" >/dev/null
    cmake --build "$BUILD" -j "$JOBS" -- -k 0
}

# Sourced with QUORIN_SETUP_ONLY_DEFINE=1, only the functions and settings above are defined.
if [ -z "${QUORIN_SETUP_ONLY_DEFINE:-}" ]; then
    install_missing
    build
fi
