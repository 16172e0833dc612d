#!/usr/bin/env bash
# Checks the Windows zip as a shop receives it: every program and library stripped, README.txt
# with Windows line ends and the notices the licences ask for, the licence texts, and the
# icon, version information and manifest in the program. Prints what it found; exits
# non-zero, saying what is wrong, on the first fault. Each tool's output is taken whole
# before it is searched: a grep that stops at its first match would end the tool early.
#   check-windows-zip.sh ZIP
set -euo pipefail
zip=$1
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
folder=$unpacked/ordering-system-windows-x64
fault() {
    echo "Windows zip: $*" >&2
    exit 1
}
[ -f "$folder/ordering-system.exe" ] || fault "no ordering-system-windows-x64/ordering-system.exe"

binaries=0
while IFS= read -r -d '' binary; do
    name=${binary#"$folder"/}
    symbols=$(x86_64-w64-mingw32-objdump -t "$binary")
    sections=$(x86_64-w64-mingw32-objdump -h "$binary")
    ! grep -q '^\[' <<<"$symbols" || fault "$name keeps its symbols"
    ! grep -q ' \.debug' <<<"$sections" || fault "$name keeps debug sections"
    binaries=$((binaries + 1))
done < <(find "$folder" \( -name '*.exe' -o -name '*.dll' \) -print0)
# Unsigned, padded with true checksums; signed, every one by one certificate.
"$(dirname "$0")/check-windows-signatures.sh" "$folder"

readme=$folder/README.txt
[ -s "$readme" ] || fault "no README.txt"
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fault "README.txt has Unix line ends"
notices=(
    "ordering-system-windows-x64-qt-source.tar, published beside this release"
    "based in part on the work of the Independent JPEG Group"
    "copyright © 2022 The FreeType Project"
)
for notice in "${notices[@]}"; do
    grep -qF "$notice" "$readme" || fault "README.txt does not say: $notice"
done
for licence in Qt/LICENSES/LGPL-3.0-only.txt Qt/LICENSES/GPL-3.0-only.txt Qt/SOURCE.txt \
    Qt/windows-build.patch Qt/src/3rdparty/libjpeg/LICENSE Qt/src/3rdparty/libjpeg/COPYRIGHT.txt \
    Qt/src/3rdparty/freetype/docs/FTL.TXT gcc-runtime/copyright mingw-w64/copyright; do
    [ -s "$folder/licenses/$licence" ] || fault "no licenses/$licence"
done

resources=$(x86_64-w64-mingw32-windres -i "$folder/ordering-system.exe" -O rc)
grep -q '^"IDI_ICON1" 14 ' <<<"$resources" || fault "no icon IDI_ICON1 in the program"
grep -q 'VALUE "ProductName", "Ordering System"' <<<"$resources" || fault "no version information"
grep -q '^1 24 ' <<<"$resources" && grep -q 'asInvoker' <<<"$resources" &&
    grep -q 'PerMonitorV2' <<<"$resources" || fault "no manifest in the program"

echo "Windows zip: $binaries programs and libraries stripped, README.txt, $(find "$folder/licenses" -type f | wc -l) licence files, icon, version and manifest; $(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }') bytes in files, $(stat -c %s "$zip") zipped"
