#!/usr/bin/env bash
# Which Windows build folders windows.sh and bench.sh keep: each row whether the folder stays,
# and its cache's toolchain file and Qt.
#   stale-build-test.sh SOURCE-DIR
set -euo pipefail
source "$1/scripts/common.sh"
source "$top/windows/scripts/common.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ORDERING_WINDOWS_QT=$cache/qt-6.8.2-mingw-new
failed=0
while IFS='|' read -r stays toolchain qt; do
    mkdir "$work/build"
    printf 'CMAKE_TOOLCHAIN_FILE:FILEPATH=%s\nQt6_DIR:PATH=%s/lib/cmake/Qt6\n' "$toolchain" "$qt" \
        >"$work/build/CMakeCache.txt"
    drop_stale_build "$work/build"
    stayed=$([ -d "$work/build" ] && echo yes || echo no)
    [ "$stayed" = "$stays" ] || { echo "FAILED: $toolchain, $qt: stayed $stayed" >&2; failed=1; }
    rm -rf "$work/build"
done <<ROWS
yes|$top/windows/mingw-w64-x86_64.cmake|$ORDERING_WINDOWS_QT
no|$top/windows/mingw-w64-x86_64.cmake|$cache/qt-6.8.2-mingw-old
no|/moved/windows/mingw-w64-x86_64.cmake|$ORDERING_WINDOWS_QT
ROWS
exit "$failed"
