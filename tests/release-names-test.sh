#!/usr/bin/env bash
# Configures the Windows release from a copy of the source whose windows/scripts/names.txt
# gives other names, makes README.txt and the bill of materials of a folder, and checks each
# place a shop sees: each row a file of the build folder and a line it must hold, and no old
# name anywhere in them.
#   release-names-test.sh SOURCE-DIR
set -euo pipefail
source=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SOURCE_DATE_EPOCH "${!ORDERING_SIGN_@}"

mkdir "$work/src"
tar -C "$source" --exclude=./build --exclude=./.git -c . | tar -x -C "$work/src"
cat >"$work/src/windows/scripts/names.txt" <<'NAMES'
product=Till Pro
program=till-pro
folder=till-pro-win64
registry_key=TillPro
sbom=till-pro.spdx.json
NAMES
cd "$work/src"
export SOURCE_DATE_EPOCH=1700000000 ORDERING_ROOT_BINDS=$work
in_root=$source/windows/scripts/in-windows-root.sh
{ "$in_root" cmake --preset windows -B "$work/build" -DORDERING_BUILD_TESTS=OFF &&
    "$in_root" cmake --build "$work/build" --target windows-stage; } >"$work/log" 2>&1 ||
    { cat "$work/log"; exit 1; }

cd "$work/build"
mkdir folder
cp README.txt folder/
# With the facts the configuration gives the install step.
IFS=';' read -ra facts < <(sed -n 's/^set(WINDOWS_SBOM_VERSIONS \[==\[\(.*\)\]==\])$/\1/p' \
    windows-release-values.cmake)
python3 "$work/src/windows/scripts/windows-sbom.py" write folder folder/till-pro.spdx.json \
    "$(echo "$ORDERING_WINDOWS_QT"/sbom/qtbase-*.spdx)" 1700000000 till-pro-win64 "${facts[@]}" \
    "supplier=the Till Pro developers"
python3 "$work/src/windows/scripts/windows-sbom.py" check folder >sbom-check.txt
files=(ordering-system.rc ordering-system.manifest README.txt CPackConfig.cmake
    windows-release-values.cmake folder/till-pro.spdx.json sbom-check.txt)
failed=0
# The old names, the product's also where a line's end breaks it. CPack's defaults name the
# CMake project, OrderingSystem, which the installer never shows.
for file in "${files[@]}"; do
    if grep -vE 'built using CMake|CPACK_INSTALL_CMAKE_PROJECTS' "$file" |
        grep -zE 'Ordering[[:space:]]+System|OrderingSystem|ordering-system(-windows-x64|\.exe|\.spdx\.json)|"ordering-system"' >/dev/null; then
        echo "FAILED: an old name in $file"
        failed=1
    fi
done
while IFS='|' read -r file line; do
    if grep -qF "$line" < <(tr -d '\r' <"$file"); then
        echo "ok: $file: $line"
    else
        echo "FAILED: $file does not say: $line"
        failed=1
    fi
done <<'ROWS'
ordering-system.rc|VALUE "ProductName", "Till Pro"
ordering-system.rc|VALUE "OriginalFilename", "till-pro.exe"
ordering-system.manifest|<description>Till Pro</description>
ordering-system.manifest|name="TillPro.till-pro"
README.txt|Installed with till-pro-win64-setup.exe (double-click it, or run it
README.txt|%LOCALAPPDATA%\Programs\Till Pro, started from the Start menu's "Till
README.txt|and with its version in till-pro.spdx.json, the bill of materials (SPDX
CPackConfig.cmake|set(CPACK_PACKAGE_NAME "Till Pro")
CPackConfig.cmake|set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "TillPro")
CPackConfig.cmake|set(CPACK_ORDERING_EXE "till-pro.exe")
windows-release-values.cmake|set(WINDOWS_SBOM [==[till-pro.spdx.json]==])
folder/till-pro.spdx.json|"name": "Till Pro",
sbom-check.txt|till-pro.spdx.json: 1 files with their SHA-256
ROWS
[ "$failed" -eq 0 ]
