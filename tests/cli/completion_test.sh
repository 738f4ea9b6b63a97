#!/usr/bin/env bash
# quorinctl's bash completion as bash loads it: commands, options, option values and the field
# names of `set`, completed the way bash calls the function (COMP_WORDS, COMP_CWORD).
# Usage: completion_test.sh SCRIPT
set -uo pipefail
SCRIPT=$(realpath "$1")
failures=0

bash --norc --noprofile -n "$SCRIPT" || { echo "FAIL: $SCRIPT does not parse"; exit 1; }

# complete WORD... : what the completion offers for the last word, space-separated, sorted.
complete_words() {
    bash --norc --noprofile -c '
        source "$1" || exit 1
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _quorinctl
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$SCRIPT" "$@"
}

expect() {
    local want=$1
    shift
    local got
    got=$(complete_words "$@")
    got=${got% }
    if [ "$got" != "$want" ]; then
        echo "FAIL: '$*' completes to '$got', expected '$want'"
        failures=$((failures + 1))
    fi
}

expect_contains() {
    local want=$1
    shift
    local got
    got=" $(complete_words "$@")"
    if [[ $got != *" $want "* ]]; then
        echo "FAIL: '$*' completes to '$got', which lacks '$want'"
        failures=$((failures + 1))
    fi
}

# A file whose name a field name would match as a glob must not change anything.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/channel3.baud_rate" "$work/profile.json"
cd "$work" || exit 1

expect "search set" quorinctl se
for command in search show set export apply diagnose upload site plan rollback audit history; do
    expect_contains "$command" quorinctl ""
done
expect "search" quorinctl --wait 300 --port 34001 sea
expect "init" quorinctl site ""
expect "--format" quorinctl search --fo
expect "csv json table" quorinctl search --format ""
expect "--dry-run" quorinctl set 02:51:00:02:00:00 --dr
for option in --out --report --jobs --ip-from --format; do
    expect_contains "$option" quorinctl plan --
done
expect_contains "--broadcast" quorinctl show --b
expect "local_ip=" quorinctl set 02:51:00:02:00:00 loc
expect "channel[3].baud_rate=" quorinctl set 02:51:00:02:00:00 "channel[3].bau"
expect "channel[0].udp= channel[0].use_dns=" quorinctl set 127.0.1.1 "channel[0].u"
expect "" quorinctl set 02:51:00:02:00:00 mac_add
expect "" quorinctl set loc  # the board comes first
expect_contains "trigger_chars[2]=" quorinctl set 127.0.1.1 local_ip=1.2.3.4 trig
expect "profile.json" quorinctl apply pro

if [ "$failures" -ne 0 ]; then
    echo "$failures completion check(s) failed"
    exit 1
fi
echo "quorinctl completion: every check passed"
