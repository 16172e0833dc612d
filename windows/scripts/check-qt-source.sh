#!/usr/bin/env bash
# Checks the Qt source archive published beside the Windows zip: it holds the Debian source
# package, the patch, SOURCE.txt, BUILDING.txt and the toolchain file; the package unpacks
# with dpkg-source, each file matching the checksums its .dsc gives, and the patch applies.
# Exits non-zero, saying what is wrong.
#   check-qt-source.sh TAR
set -euo pipefail
tar=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/common.sh"
checking="Qt source archive"
tar -xf "$tar" -C "$work"
folder=$work/$(basename "$tar" .tar)
for file in BUILDING.txt SOURCE.txt windows-build.patch mingw-w64-x86_64.cmake; do
    [ -s "$folder/$file" ] || fail "no $file"
done
# The steps BUILDING.txt gives: dpkg-source -x NAME.dsc src/FOLDER, then the patch there.
read -r dsc unpacked < <(tr -d '\r' <"$folder/BUILDING.txt" |
    sed -n 's/.*dpkg-source -x \([^ ]*\.dsc\) \(src\/[^ ]*\)$/\1 \2/p')
{ [ -n "${dsc:-}" ] && [ -f "$folder/$dsc" ]; } || fail "BUILDING.txt names no .dsc that is here"
mkdir -p "$folder/src"
(cd "$folder" && dpkg-source -x "$dsc" "$unpacked") >"$work/unpack.log" 2>&1 ||
    fail "dpkg-source -x failed: $(tail -n 3 "$work/unpack.log")"
(cd "$folder/$unpacked" && patch -p1 --dry-run --quiet <"$folder/windows-build.patch") \
    >"$work/patch.log" 2>&1 || fail "windows-build.patch does not apply: $(cat "$work/patch.log")"
echo "Qt source archive: $(tar -tf "$tar" | grep -vc '/$') files, $(stat -c %s "$tar") bytes; unpacks with dpkg-source, windows-build.patch applies"
