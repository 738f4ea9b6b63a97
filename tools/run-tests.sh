#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds into build/, builds the codec once more
# with AddressSanitizer and UndefinedBehaviorSanitizer into build/asan, then runs every test.
# The tests run inside a private network namespace with only loopback up, so that none can reach
# a real network; tests that need namespaces of their own create them inside it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/setup.sh"

ASAN="$BUILD/asan"
cmake -S "$ROOT" -B "$ASAN" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIN_SANITIZE=ON \
    -DQUORIN_BUILD_GUI=OFF "${WERROR_ARGS[@]}" >/dev/null
cmake --build "$ASAN"

# The Debian package as it ships: lintian (errors fail the stage), then the desktop entry and the
# AppStream metadata taken from the package, validated offline.
check_package() {
    echo "== Package: lintian, desktop entry and AppStream metadata"
    local deb unpacked status=0
    deb="$("$ROOT/tools/package.sh" | tail -n 1)" || return 1
    lintian --fail-on error "$deb" || status=1
    unpacked="$(mktemp -d)"
    dpkg-deb -x "$deb" "$unpacked"
    desktop-file-validate "$unpacked"/usr/share/applications/*.desktop || status=1
    appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml || status=1
    rm -rf "$unpacked"
    if [ $status -eq 0 ]; then echo "$(basename "$deb"): no errors"; fi
    return $status
}

run_suite() {
    local status=0
    echo "== Codec tests with AddressSanitizer and UndefinedBehaviorSanitizer"
    ctest --test-dir "$ASAN" -L codec --output-on-failure -j2 || status=1
    echo "== Whole suite"
    ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 300 || status=1
    check_package || status=1
    return $status
}

if [ "${QUORIN_IN_NETNS:-}" = 1 ]; then
    ip link set lo up 2>/dev/null || true
    run_suite
    exit $?
fi

export QUORIN_IN_NETNS=1
if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
    echo "Running the tests in a private network namespace (loopback only)."
    exec unshare --net "$0" "$@"
elif unshare --map-root-user --net true 2>/dev/null; then
    echo "Running the tests in a private user and network namespace (loopback only)."
    exec unshare --map-root-user --net "$0" "$@"
else
    echo "No private network namespace is possible here: running the tests directly."
    run_suite
fi
