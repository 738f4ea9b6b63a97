#!/bin/sh
# Integration run of quorin.boards: two simulators on loopback and the
# playbook boards.yml through the real quorinctl.
#
# Usage: run.sh BUILD_DIR WORK_DIR
# Runs only inside a private network namespace (tests/run.sh starts it with
# 'unshare --net'): it brings lo up and refuses to run where any other
# interface exists, so nothing can leave the machine.
set -eu

build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../simulator.sh"
sim=$build/sim/quorin-board-sim
quorinctl=$build/cli/quorinctl

if ip -o link show | grep -v ': lo:' | grep -q .; then
    echo "integration: not in a private network namespace (interfaces other than lo); refusing" >&2
    exit 1
fi
ip link set lo up

for binary in "$sim" "$quorinctl"; do
    tries=0
    while [ ! -x "$binary" ] && [ $tries -lt 6 ]; do
        echo "integration: waiting for $binary (being rebuilt?)" >&2
        sleep 10
        tries=$((tries + 1))
    done
    [ -x "$binary" ] || { echo "integration: $binary is missing" >&2; exit 1; }
done

trap stop_simulators EXIT INT TERM

# The image and its manifest (IMAGE.json beside it).
image=$work/quorin712p-1.5.2.bin
head -c 24576 /dev/urandom > "$image"
sha=$(sha256sum "$image" | cut -d' ' -f1)
printf '{"format_version": 1, "version": "1.5.2", "models": ["Quorin712P"], "sha256": "%s"}\n' "$sha" > "$image.json"

# start NAME UPLOAD_PORT STREAM_PORT [FAULT...]: a simulator of two 0002 boards
# (index 0 runs 1.5.0, index 1 runs 1.5.2); sets NAME_main and NAME_legacy.
start() {
    name=$1 upload=$2 stream=$3
    shift 3
    start_simulator "$sim" "$work" "$name" "$upload" "$stream" --boards 0002:2 \
        --events "$work/$name.events" --duration 120 --installs 1.5.2 --reboot-ms 200 "$@"
    main=$ready_main legacy=$ready_legacy
    cat >> "$work/inventory.yml" <<EOI
        $name:
          ansible_connection: local
          sim_main_port: $main
          sim_legacy_port: $legacy
          sim_upload_port: $upload
          sim_stream_port: $stream
          sim_events: $work/$name.events
EOI
}

cat > "$work/inventory.yml" <<EOI
all:
  vars:
    ansible_python_interpreter: /usr/bin/python3
    quorinctl_path: $quorinctl
    work_dir: $work
    image: $image
  children:
    simulators:
      hosts:
EOI
# In a fresh namespace every port is free.
start sim_a 35005 35003
start sim_b 36005 36003 --fault 0:refuse_upload
cat >> "$work/inventory.yml" <<EOI
    local:
      hosts:
        localhost:
          ansible_connection: local
EOI

set +e
ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp \
    ansible-playbook -i "$work/inventory.yml" "$here/boards.yml" > "$work/playbook.log" 2>&1
status=$?
set -e
cat "$work/playbook.log"

# sim_b's refusing board must fail sim_b alone: exit 2 (a host failed) and
# this recap, nothing else.
recap=$(sed -n '/^PLAY RECAP/,$p' "$work/playbook.log")
ok=1
[ $status -eq 2 ] || ok=0
echo "$recap" | grep -Eq '^localhost +: ok=1 +changed=0 +unreachable=0 +failed=0' || ok=0
echo "$recap" | grep -Eq '^sim_a +: ok=[0-9]+ +changed=[0-9]+ +unreachable=0 +failed=0' || ok=0
echo "$recap" | grep -Eq '^sim_b +: ok=[0-9]+ +changed=[0-9]+ +unreachable=0 +failed=1' || ok=0
if [ $ok -ne 1 ]; then
    echo "integration: FAILED (ansible-playbook exit $status; expected 2 with sim_b alone failed)" >&2
    exit 1
fi
echo "integration: passed (sim_b failed alone at its refusing board, as it should)"
