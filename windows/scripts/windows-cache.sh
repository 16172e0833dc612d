#!/usr/bin/env bash
# Makes what windows.sh takes from the cache, the first time: the Wine prefix, the Debian 13
# build root with Qt for Windows built in it, and the root of the Windows static analysis.
# test.sh runs it in the background while it tests the Linux build; windows.sh then finds all
# of it there, or waits on each cache lock for the part still being made.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$top/windows/scripts/common.sh"
scripts=$top/windows/scripts

prepare_wine_prefix &
# The build root first, which Qt waits for; the lint root while Qt builds.
"$scripts/windows-root.sh" >/dev/null
"$scripts/windows-root.sh" lint >/dev/null &
# Qt's compile at a low priority: the tests beside it come first, and it takes the cores they
# leave. Fetching and configuring it keep this priority, since Qt's whole build waits for them.
ORDERING_TOOLKIT_NICENESS=10 "$scripts/windows-toolkit.sh" >/dev/null
prepare_windows_build
wait
