#!/usr/bin/env bash
# The test suite, as CI runs it (.ci/run runs this script without arguments). One function pair
# (build_STAGE, test_STAGE) per stage:
#   asan   the whole suite, GUI included, built with AddressSanitizer and UndefinedBehaviorSanitizer
#          (clang, unoptimised, in build/asan; the other builds of the suite use gcc, so both
#          compilers' warnings count)
#   tsan   the whole suite built with ThreadSanitizer (gcc, in build/tsan; clang 14's runtime
#          fails when Qt starts a process); what Qt's own libraries do across their own threads
#          is suppressed (tools/sanitizers/tsan.supp says what, and why)
#   fuzz   the fuzz targets (QUORIN_FUZZ_TARGETS in tools/fuzz/CMakeLists.txt) built with clang
#          (build/fuzz), each run for QUORIN_FUZZ_SECONDS (default 20) from its committed seed
#          corpus, then one line per target with its executions per second;
#          tools/fuzz/long-run.sh runs them for long
#   plain  the whole suite on the RelWithDebInfo build in build/ (gcc): the optimised build the
#          product and the demo come from, whose warnings gcc finds only when optimising
#   package  the Debian package made from the plain build (tools/package.sh): lintian (errors
#          fail the stage), then its desktop entry and AppStream metadata validated offline; the
#          Ansible collection's tarball is built beside it
#   ansible  the Ansible collection (ansible/): ansible-lint, ansible-doc, pylint, ansible-test
#          units, and a playbook against quorinctl and two simulators (ansible/tests/run.sh),
#          with Debian's ansible-core, ansible-lint, pylint and pytest
#
#   tools/run-tests.sh               plain, asan, tsan, fuzz and package
#   tools/run-tests.sh plain         the plain suite only (quickest while working)
#   tools/run-tests.sh asan fuzz     those stages, in that order
#
# It installs what is missing, builds every stage it was asked for (one build job per core), then
# runs their tests inside a private network namespace with only loopback up (as root with
# unshare --net, otherwise in an unprivileged user namespace where the machine allows it; where
# neither is possible it says so and runs them directly). A new stage is a build_ and a test_
# function and its name in KNOWN_STAGES.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUORIN_SETUP_ONLY_DEFINE=1 source "$ROOT/tools/setup.sh"

KNOWN_STAGES=(plain asan tsan fuzz package ansible)
DEFAULT_STAGES=(plain asan tsan fuzz package ansible)
ANSIBLE_PACKAGES=(ansible-core ansible-lint pylint python3-pytest python3-pytest-xdist
                  python3-pytest-forked python3-mock)
SANITIZERS="$ROOT/tools/sanitizers"

# What the sanitizers do on a finding: stop with a stack trace, so that the test fails. They apply
# to the test programs and to the test listing that runs at build time.
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$SANITIZERS/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$SANITIZERS/tsan.supp:halt_on_error=1:second_deadlock_stack=1:print_suppressions=0"

configure() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "${WERROR_ARGS[@]}" "$@" >/dev/null
}

compile() {
    cmake --build "$1" -j "$JOBS" "${@:2}"
}

suite() {
    local dir="$1"
    shift
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 300 "$@"
}

build_plain() {
    build  # tools/setup.sh
}

test_plain() {
    suite "$BUILD"
}

build_asan() {
    # Unoptimised: the sanitizers' checks are as thorough, and it builds twice as fast as -O1.
    configure "$BUILD/asan" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="-O0 -gline-tables-only" -DQUORIN_SANITIZE=address
    compile "$BUILD/asan"
}

test_asan() {
    suite "$BUILD/asan"
}

build_tsan() {
    configure "$BUILD/tsan" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DQUORIN_SANITIZE=thread
    compile "$BUILD/tsan"
}

test_tsan() {
    # Not the benchmarks: they start the simulator as a child process (QProcess), and once Qt has
    # started a child, gcc's ThreadSanitizer no longer sees this process's own locks on the main
    # thread (Qt starts children with vfork semantics), so every later hand-over between threads
    # looks like a race. The tests start their simulators in process, or run the instrumented
    # program (quorinctl) as the child, where the transfers' threads are checked.
    suite "$BUILD/tsan" -LE bench
}

build_fuzz() {
    configure "$BUILD/fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORIN_BUILD_GUI=OFF -DQUORIN_FUZZ=ON -DQUORIN_FUZZ_SECONDS="${QUORIN_FUZZ_SECONDS:-20}"
    compile "$BUILD/fuzz" --target quorin_fuzzers  # the targets listed in tools/fuzz/CMakeLists.txt
}

test_fuzz() {
    local status=0
    suite "$BUILD/fuzz" -L fuzz || status=$?
    fuzz_rates "$BUILD/fuzz/Testing/Temporary/LastTest.log"
    return $status
}

# One line per fuzz target's short run, from libFuzzer's closing lines in the ctest log:
#   fuzz_config_core: 130000 executions in 21 s = 6190 exec/s, coverage 669, peak RSS 354 MB
fuzz_rates() {
    [ -f "$1" ] || return 0
    awk '
        match($0, /Test: fuzz_[A-Za-z0-9_]+_short_run/) {
            name = substr($0, RSTART + 6, RLENGTH - 6); sub(/_short_run$/, "", name)
            if (!(name in runs)) order[++n] = name
            runs[name] = "?"; secs[name] = "?"; cov[name] = "?"; rss[name] = "?"; avg[name] = "?"
        }
        /^Done [0-9]+ runs in [0-9]+ second/ { runs[name] = $2; secs[name] = $5 }
        /stat::number_of_executed_units:/ { runs[name] = $2 }
        /stat::peak_rss_mb:/ { rss[name] = $2 }
        /stat::average_exec_per_sec:/ { avg[name] = $2 }
        /DONE +cov: / { for (i = 1; i < NF; i++) if ($i == "cov:") cov[name] = $(i + 1) }
        END {
            for (k = 1; k <= n; k++) {
                t = order[k]
                # A run stopped by a finding has no Done line: its own average stands in.
                rate = (runs[t] ~ /^[0-9]+$/ && secs[t] ~ /^[0-9]+$/ && secs[t] > 0) \
                    ? int(runs[t] / secs[t]) : avg[t]
                printf "%s: %s executions in %s s = %s exec/s, coverage %s, peak RSS %s MB\n",
                       t, runs[t], secs[t], rate, cov[t], rss[t]
            }
        }' "$1"
}

build_ansible() {
    install_missing "${ANSIBLE_PACKAGES[@]}"
    build  # the quorinctl and simulator its playbook runs (incrementally)
}

test_ansible() {
    bash "$ROOT/ansible/tests/run.sh" "$BUILD"
}

build_package() {
    "$ROOT/tools/package.sh"  # from the plain build (built first, incrementally)
}

test_package() {
    local deb unpacked status=0
    deb="$(ls "$BUILD"/packages/*.deb)" || return 1
    lintian --fail-on error "$deb" || status=1
    unpacked="$(mktemp -d)"
    dpkg-deb -x "$deb" "$unpacked"
    desktop-file-validate "$unpacked"/usr/share/applications/*.desktop || status=1
    appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml || status=1
    rm -rf "$unpacked"
    if [ $status -eq 0 ]; then echo "$(basename "$deb"): no errors"; fi
    ls "$BUILD"/packages/quorin-boards-*.tar.gz || status=1
    return $status
}

# Runs `what` for each stage, timing each; returns non-zero when any failed, naming them.
each_stage() {
    local what="$1" failed=() start
    shift
    for stage in "$@"; do
        echo "== $what $stage"
        start=$SECONDS
        if ! "${what}_$stage"; then failed+=("$stage"); fi
        echo "== $what $stage: $((SECONDS - start)) s"
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "== $what failed: ${failed[*]}"
        return 1
    fi
}

STAGES=("$@")
[ ${#STAGES[@]} -eq 0 ] && STAGES=("${DEFAULT_STAGES[@]}")
for stage in "${STAGES[@]}"; do
    if [[ ! " ${KNOWN_STAGES[*]} " == *" $stage "* ]]; then
        echo "unknown stage: $stage (known: ${KNOWN_STAGES[*]})" >&2
        exit 2
    fi
done

if [ "${QUORIN_IN_NETNS:-}" = 1 ]; then
    ip link set lo up 2>/dev/null || true
    each_stage test "${STAGES[@]}"
    exit $?
fi

install_missing
each_stage build "${STAGES[@]}"

export QUORIN_IN_NETNS=1
if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
    echo "Running the tests in a private network namespace (loopback only)."
    exec unshare --net "$0" "${STAGES[@]}"
elif unshare --map-root-user --net true 2>/dev/null; then
    echo "Running the tests in a private user and network namespace (loopback only)."
    exec unshare --map-root-user --net "$0" "${STAGES[@]}"
else
    echo "No private network namespace is possible here: running the tests directly."
    each_stage test "${STAGES[@]}"
fi
