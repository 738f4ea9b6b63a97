#!/usr/bin/env bash
# Builds the Debian package: installs what is missing and builds into build/ (as tools/setup.sh
# does), then packs build/packages/quorin-config-tool_<version>_<arch>.deb. Prints the package's
# path as its last line.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/setup.sh"

OUT="$BUILD/packages"
rm -f "$OUT"/*.deb
if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$OUT" >"$OUT.log" 2>&1; then
    cat "$OUT.log" >&2
    exit 1
fi
ls "$OUT"/*.deb
