#!/usr/bin/env bash
# Builds the ordering window and its benchmarks, runs them, and prints the figures as
# Markdown, ending with one summary line for Linux and one for the Windows build under Wine.
# ROUNDS (default 30) sets the start-up runs.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}" debootstrap bubblewrap wine wine64 dpkg-dev xz-utils git
build_preset release >/dev/null

# The Windows build's programs, built as windows.sh builds them, in a folder of their own
# with the benchmarks on and the tests off.
scripts=$top/windows/scripts
echo "The Windows build needs Qt for Windows: windows/scripts/windows-toolkit.sh builds it once" \
    "into $cache, which takes about 40 minutes the first time" >&2
ORDERING_WINDOWS_QT=$("$scripts/windows-toolkit.sh" | tail -n 1)
ORDERING_WINDOWS_ROOT=$("$scripts/windows-root.sh" | tail -n 1)
export ORDERING_WINDOWS_QT ORDERING_WINDOWS_ROOT
export WINEPREFIX=${WINEPREFIX:-$cache/wine-prefix} WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
fi
cd "$top"
"$scripts/in-windows-root.sh" cmake --preset windows -B build/windows-bench \
    -DORDERING_BUILD_BENCHMARKS=ON -DORDERING_BUILD_TESTS=OFF >/dev/null
"$scripts/in-windows-root.sh" cmake --build build/windows-bench --target windows-bench-folder \
    >/dev/null

/usr/bin/python3 "$top/bench/run_benchmarks.py" "$top/build/release" "${ROUNDS:-30}" \
    "$top/build/windows-bench/bench/windows-folder"
