#!/usr/bin/env bash
# Shows that the zip checker refuses what it must, one spoilt copy of the zip for each fault,
# and that the Qt source archive's checker refuses an archive whose files fail their checksums.
# It holds for a development build and for a release, with its publisher or the source's
# address. A spoiling command starting with @ is run on the packed zip, spoilt.zip.
#   check-windows-zip-test.sh ZIP   (the Qt source archive beside it)
set -euo pipefail
zip=$(realpath "$1")
scripts=$(cd "$(dirname "$0")/../windows/scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=ordering-system-windows-x64

# Runs the checker on the file and expects it to refuse it with this message.
expect_refused() {
    local checker=$1 file=$2 name=$3 message=$4 said
    if said=$("$scripts/$checker" "$file" 2>&1); then
        echo "$checker passed $name" >&2
        exit 1
    fi
    grep -qF "$message" <<<"$said" || { echo "$checker refused $name otherwise: $said" >&2; exit 1; }
    echo "Refused, $name: $said"
}

# The compiler's own libstdc++, symbols and all, from the Windows build root.
in_root=$scripts/in-windows-root.sh
# shellcheck disable=SC2034 # a spoiling command below uses it
libstdcxx=$("$in_root" x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)
unzip -q "$zip" -d "$work/genuine"
while IFS='|' read -r name spoil message; do
    rm -rf "$work/unpacked" "$work/spoilt.zip"
    cp -r "$work/genuine" "$work/unpacked"
    [[ $spoil == @* ]] || (cd "$work/unpacked/$folder" && eval "$spoil")
    # Stored, not compressed: the checker reads the same files, sooner.
    (cd "$work/unpacked" && python3 -c 'import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for d, _, files in os.walk(sys.argv[2]):
        for f in files: z.write(os.path.join(d, f))' "$work/spoilt.zip" "$folder")
    [[ $spoil != @* ]] || (cd "$work" && eval "${spoil#@}")
    expect_refused check-windows-zip.sh "$work/spoilt.zip" "$name" "$message"
done <<'EOF'
a library with symbols|"$in_root" x86_64-w64-mingw32-objcopy --strip-debug "$libstdcxx" libstdc++-6.dll|libstdc++-6.dll keeps its symbols
a picture its bill of materials does not list|printf x >>s.jpg|s.jpg differs from its digests in ordering-system.spdx.json
a second Qt6Core.dll by case|cp Qt6Gui.dll Qt6core.dll|names Windows takes for one file: ./qt6core.dll
no windows platform plugin|rm platforms/qwindows.dll|no ordering-system-windows-x64/platforms/qwindows.dll
no libwinpthread-1.dll|rm libwinpthread-1.dll|no ordering-system-windows-x64/libwinpthread-1.dll
no source archive named|sed -i '/qt-source.tar/d' README.txt|README.txt does not say: ordering-system-windows-x64-qt-source.tar
an offer by no publisher, not for passing on|sed -i '/not for passing on/d' README.txt && printf 'the Ordering System developers will give it on request\r\n' >>README.txt|README.txt offers the Qt source from no publisher
neither its address nor an offer|sed -i -e '/for three years from/d' -e '/^https\?:\/\//d' README.txt|README.txt neither says where the Qt source is
a name ending in a dot|cp Qt6Core.dll Qt6Core.dll.|'ordering-system-windows-x64/Qt6Core.dll.' ends a name in a dot or a space
a name ending in a space|cp Qt6Core.dll 'Qt6Core.dll '|'ordering-system-windows-x64/Qt6Core.dll ' ends a name in a dot or a space
a backslash in a name|cp platforms/qwindows.dll 'platforms\qwindows.dll'|holds a backslash, a folder separator to Windows
a short name|cp Qt6Core.dll QT6COR~1.DLL|'ordering-system-windows-x64/QT6COR~1.DLL' looks like a short name
a stream of another file|cp Qt6Core.dll README.txt:x.exe|'ordering-system-windows-x64/README.txt:x.exe' holds a colon
a decomposed twin of a composed name|cp s.jpg $'caf\xc3\xa9.jpg' && cp s.jpg $'cafe\xcc\x81.jpg'|is not plain ASCII
a way out of the folder|@python3 -c 'import zipfile; zipfile.ZipFile("spoilt.zip", "a").writestr("ordering-system-windows-x64/../x.exe", b"MZ")'|'ordering-system-windows-x64/../x.exe' leaves the folder
a device name|cp s.jpg CON.jpg|'ordering-system-windows-x64/CON.jpg' names a device
no ZPL notice|sed -i '/the mingw-w64 project/d' README.txt|README.txt does not say: Copyright (c) 2009-2016
a licence that is another text|cp licenses/gcc-runtime/COPYING3 licenses/gcc-runtime/COPYING.RUNTIME|licenses/gcc-runtime/COPYING.RUNTIME is not the text it names
EOF

source_folder=$folder-qt-source
mkdir "$work/source"
tar -xf "${zip%.zip}-qt-source.tar" -C "$work/source"
# The same files compressed anew: it unpacks, only its checksum tells.
debian=$(find "$work/source/$source_folder" -maxdepth 1 -name '*.debian.tar.xz')
xz -dc "$debian" | xz -1 >"$work/recompressed" && mv "$work/recompressed" "$debian"
tar -cf "$work/$source_folder.tar" -C "$work/source" "$source_folder"
expect_refused check-qt-source.sh "$work/$source_folder.tar" "a Debian tarball compressed anew" \
    "dpkg-source -x failed"
