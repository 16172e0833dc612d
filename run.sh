#!/usr/bin/env bash
# Builds the ordering window and starts it from its run directory. Without a display it
# starts it on a virtual one, saves a screenshot, prints its path and exits.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}"
build_preset release >/dev/null
cd "$top/build/release"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec ./ordering-system "$@"
fi

trap stop_display EXIT
start_display
./ordering-system "$@" &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Ordering System$' | head -n 1)
sleep 0.5
screenshot="$top/build/release/screenshot.png"
import -window "$window" "$screenshot"
kill "$program"
wait "$program" 2>/dev/null || true
echo "No display here: the window ran on a virtual one. Screenshot: $screenshot"
