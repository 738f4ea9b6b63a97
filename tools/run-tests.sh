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

run_suite() {
    local status=0
    echo "== Codec tests with AddressSanitizer and UndefinedBehaviorSanitizer"
    ctest --test-dir "$ASAN" -L codec --output-on-failure -j2 || status=1
    echo "== Whole suite"
    ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 300 || status=1
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
