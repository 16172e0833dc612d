#!/usr/bin/env bash
# Makes what windows.sh takes from the cache, the first time: the Wine prefix, the root of the
# Windows static analysis, and the Debian 13 build root with Qt for Windows built in it. test.sh
# runs it in the background, at a low priority, while it tests the Linux build; windows.sh
# then finds all of it there, or waits on each cache lock for the part still being made.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$top/windows/scripts/common.sh"

prepare_wine_prefix &
"$top/windows/scripts/windows-root.sh" lint >/dev/null &
prepare_windows_build
wait
