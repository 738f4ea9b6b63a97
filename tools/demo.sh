#!/usr/bin/env bash
# The tool against simulated boards on loopback. With a display it opens the window (closing it
# stops the simulator); without one it runs offscreen, saves build/demo.png, lists the boards
# and uploads the sample image build/sample-firmware.bin to one of them.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the demo offscreen."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$BUILD/tools/quorin-demo" --sim "$BUILD/sim/quorin-board-sim" \
    --screenshot "$BUILD/demo.png" --sample "$BUILD/sample-firmware.bin" "$@"
