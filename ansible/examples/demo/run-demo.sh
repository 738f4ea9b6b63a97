#!/bin/sh
# The two-site example (examples/two_sites.yml) against two board simulators
# on loopback: the commission in check mode with diff, the commission, the
# audit and the upgrade, each printed as it runs.
#
# Usage: run-demo.sh [BUILD_DIR]   (default: build/ beside ansible/; needs root)
#
# Everything runs inside a private network namespace this script creates
# ('unshare --net', only lo, brought up here), and quorinctl is always given
# --broadcast 127.255.255.255 (through the agents' quorin_options), so
# nothing leaves the machine. The simulators stop by themselves (--duration)
# and are killed by their PIDs at the end; the temporary folder (inventory,
# site files, firmware, quorinctl state, a copy of the collection) is removed.
# Exits non-zero when any of the four runs fails.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tests/simulator.sh"

if [ "${1:-}" != "--in-namespace" ]; then
    build=$(cd "${1:-$here/../../../build}" && pwd)
    # shellcheck disable=SC2016  # $0 and $1 are expanded by the inner sh
    exec unshare --net sh -c 'ip link set lo up && exec sh "$0" --in-namespace "$1"' "$here/run-demo.sh" "$build"
fi

build=$2
collection_root=$(cd "$here/../.." && pwd)
sim=$build/sim/quorin-board-sim
quorinctl=$build/cli/quorinctl

# Only loopback here, or stop.
if ip -o link show | grep -v ': lo:' | grep -q .; then
    echo "demo: not in a private network namespace (interfaces other than lo); refusing" >&2
    exit 1
fi
for binary in "$sim" "$quorinctl"; do
    [ -x "$binary" ] || { echo "demo: $binary is missing (build the project first)" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorin-demo.XXXXXX")
cleanup() {
    stop_simulators
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Free TCP ports, distinct, for the simulators' firmware listeners.
free_ports() {
    python3 - "$1" <<'EOP'
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("0.0.0.0", 0))
    held.append(s)
print(" ".join(str(s.getsockname()[1]) for s in held))
EOP
}
# shellcheck disable=SC2046  # four numbers
set -- $(free_ports 4)
upload_a=$1 stream_a=$2 upload_b=$3 stream_b=$4

# start NAME UPLOAD STREAM BOARD_OPTIONS...: a simulator; sets ready_main and
# ready_legacy from its "ready main=PORT legacy=PORT" line.
start() {
    start_simulator "$sim" "$tmp" "$@" --duration 300 --installs 1.5.2 --reboot-ms 200
    echo "demo: simulator $1 (pid ${pids##* }): $ready_line upload=$2 stream=$3"
}

# Both simulators number their boards' MACs the same way, and a board (a MAC)
# can be in one site only: plant-b's boards, the same '--boards 0002:2,0006:1',
# get other MACs (02:51:00:MM:01:NN) through a boards file.
"$sim" --boards 0002:2,0006:1 --board-net 127.0.2.0 --dump-config "$tmp/plant-b.boards.json"
sed -i 's/"mac_address": "\(02:51:00:0[0-9]\):00:/"mac_address": "\1:01:/' "$tmp/plant-b.boards.json"

start plant-a "$upload_a" "$stream_a" --boards 0002:3
main_a=$ready_main legacy_a=$ready_legacy
start plant-b "$upload_b" "$stream_b" --config "$tmp/plant-b.boards.json"
main_b=$ready_main legacy_b=$ready_legacy

# The agents: each runs quorinctl locally, aimed at its simulator.
mkdir -p "$tmp/inventory/sites"
agent() {
    cat <<EOI
        $1:
          ansible_connection: local
          ansible_python_interpreter: $(command -v python3)
          quorin_site_dir: $tmp/$1/sites
          quorin_options:
            quorinctl: $quorinctl
            broadcast: 127.255.255.255
            port: $2
            legacy_port: $3
            legacy_local_port: 0
            upload_port: $4
            stream_port: $5
            state_dir: $tmp/$1/state
EOI
}
{
    echo "all:"
    echo "  children:"
    echo "    quorin_agents:"
    echo "      hosts:"
    agent agent-a "$main_a" "$legacy_a" "$upload_a" "$stream_a"
    agent agent-b "$main_b" "$legacy_b" "$upload_b" "$stream_b"
} > "$tmp/inventory/agents.yml"
cat > "$tmp/inventory/boards.quorin_sites.yml" <<EOI
plugin: quorin.boards.sites
sites:
  - sites/plant-a.yml
  - sites/plant-b.yml
EOI

# site_file NAME AGENT MAIN LEGACY: what 'quorinctl site init' sees, with the
# site and its agent named, and channel[0].local_port of the Quorin712P boards
# (their model's defaults) changed from what the boards hold to 4001.
site_file() {
    file=$tmp/inventory/sites/$1.yml
    "$quorinctl" --broadcast 127.255.255.255 --port "$3" --legacy-port "$4" --legacy-local-port 0 \
        site init > "$tmp/$1.init.yml"
    head -n 1 "$tmp/$1.init.yml" | grep -qx 'format_version: 1' \
        || { echo "demo: unexpected site init output for $1" >&2; cat "$tmp/$1.init.yml" >&2; exit 1; }
    {
        echo "format_version: 1"
        echo "site: $1"
        echo "agent: $2"
        sed '1d; s/^    channel\[0\]\.local_port: .*/    channel[0].local_port: "4001"/' "$tmp/$1.init.yml"
    } > "$file"
    [ "$(grep -c '^    channel\[0\]\.local_port: "4001"$' "$file")" -eq 1 ] \
        || { echo "demo: $1: no Quorin712P defaults to change" >&2; exit 1; }
    echo "demo: $file: $(grep -c '^  - mac:' "$file") boards, channel[0].local_port 4001 for Quorin712P"
}
site_file plant-a agent-a "$main_a" "$legacy_a"
site_file plant-b agent-b "$main_b" "$legacy_b"

# The firmware image and its manifest beside it.
image=$tmp/fw.bin
head -c 24576 /dev/urandom > "$image"
sha=$(sha256sum "$image" | cut -d' ' -f1)
printf '{"format_version": 1, "version": "1.5.2", "models": ["Quorin712P", "DAVRO2xM"], "sha256": "%s"}\n' \
    "$sha" > "$image.json"

# The collection where Ansible looks for it (a copy; the source stays as it is).
mkdir -p "$tmp/collections/ansible_collections/quorin"
cp -a "$collection_root" "$tmp/collections/ansible_collections/quorin/boards"
rm -rf "$tmp/collections/ansible_collections/quorin/boards/tests/output"
mkdir -p "$tmp/home" "$tmp/ansible-tmp"
export HOME="$tmp/home"
export ANSIBLE_HOME="$tmp/ansible-home"
export ANSIBLE_COLLECTIONS_PATH="$tmp/collections"
export ANSIBLE_LOCAL_TEMP="$tmp/ansible-tmp"
export ANSIBLE_REMOTE_TEMP="$tmp/ansible-tmp"
export ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_NOCOLOR=1

failed=""
# run TITLE ARGS...: one ansible-playbook run of the example, printed.
run() {
    title=$1
    shift
    printf '\n===== %s\n$ ansible-playbook -i inventory/boards.quorin_sites.yml -i inventory/agents.yml two_sites.yml %s\n' \
        "$title" "$*"
    status=0
    ansible-playbook -i "$tmp/inventory/boards.quorin_sites.yml" -i "$tmp/inventory/agents.yml" \
        "$collection_root/examples/two_sites.yml" "$@" || status=$?
    echo "===== $title: exit $status"
    [ $status -eq 0 ] || failed="$failed '$title'"
}

run "commission, check mode with diff" --check --diff --tags commission
run "commission" --tags commission
run "audit" --tags audit
run "upgrade" --tags upgrade -e "firmware_image=$image"

if [ -n "$failed" ]; then
    echo "demo: FAILED:$failed" >&2
    exit 1
fi
echo "demo: all four runs passed"
