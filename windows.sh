#!/usr/bin/env bash
# Builds ordering-system.exe for 64-bit Windows with mingw-w64, runs the unit tests and the
# real-window test under Wine, and writes build/windows/ordering-system-windows-x64.zip, then
# checks what the zip ships and that a second build of it gives the same bytes.
# The first run also builds Qt for Windows into a cache outside the repository.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}" g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev xz-utils \
    git unzip

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

zip=build/windows/ordering-system-windows-x64.zip
scripts/check-windows-zip.sh "$zip"
rm -rf build/windows-again
cmake --preset windows -B build/windows-again -DORDERING_BUILD_TESTS=OFF >/dev/null
cmake --build build/windows-again --target windows-zip >/dev/null
cmp "$zip" "build/windows-again/${zip##*/}" ||
    { echo "Windows zip: a second build in another folder differs" >&2; exit 1; }
echo "Windows zip: the same bytes from a second build folder"
sha256sum "$zip"
