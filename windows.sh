#!/usr/bin/env bash
# Builds ordering-system.exe for 64-bit Windows with mingw-w64, runs the unit tests and the
# real-window test under Wine, and writes build/windows/ordering-system-windows-x64.zip.
# The first run also builds Qt for Windows into a cache outside the repository.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}" g++-mingw-w64-x86-64-posix wine wine64 xclip dpkg-dev xz-utils

ORDERING_WINDOWS_QT=$("$top/scripts/windows-toolkit.sh" | tail -n 1)
export ORDERING_WINDOWS_QT
export WINEPREFIX=${WINEPREFIX:-$cache/wine-prefix} WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
fi

cd "$top"
cmake --preset windows >/dev/null
cmake --build --preset windows --target all windows-zip
ctest --preset windows
echo "Windows zip: $top/build/windows/ordering-system-windows-x64.zip"
