#!/usr/bin/env bash
# Builds the Debian package: installs what is missing and builds into build/ (as tools/setup.sh
# does), then packs build/packages/quorin-config-tool_<version>_<arch>.deb and the Ansible
# collection's build/packages/quorin-boards-<version>.tar.gz. Prints the Debian package's path as
# its last line.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/setup.sh"

OUT="$BUILD/packages"
rm -f "$OUT"/*.deb "$OUT"/quorin-boards-*.tar.gz
if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$OUT" >"$OUT.log" 2>&1; then
    cat "$OUT.log" >&2
    exit 1
fi
# The Ansible collection beside it (ansible-galaxy from Debian's ansible-core).
install_missing ansible-core
ansible-galaxy collection build "$ROOT/ansible" --output-path "$OUT" --force >"$OUT.collection.log" 2>&1 ||
    { cat "$OUT.collection.log" >&2; exit 1; }
ls "$OUT"/*.deb
