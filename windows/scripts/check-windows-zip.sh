#!/usr/bin/env bash
# Checks the Windows zip as a shop receives it: every program, library, plugin and picture the
# program needs, each stripped, README.txt with Windows line ends and the notices the licences
# ask for, each licence text what its name says, and the icon, version information and
# manifest in the program. Prints what it found; exits
# non-zero, saying what is wrong, on the first fault. Each tool's output is taken whole
# before it is searched: a grep that stops at its first match would end the tool early.
#   check-windows-zip.sh ZIP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
checking="Windows zip"
zip=$1
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
# One folder and nothing beside it, since a shop starts what it sees first; and no name that
# Windows reads as another file's or as a place outside the folder (Microsoft's "Naming Files,
# Paths, and Namespaces"), read as the zip stores it, before unzip makes anything of it.
faults=$(python3 - "$zip" "$release_folder" <<'EOF'
import re, sys, zipfile
FAULTS = [
    (r"(^|/)\.\.?(/|$)|^/|//", "leaves the folder or names it twice"),
    (r"\\", "holds a backslash, a folder separator to Windows"),
    (r":", "holds a colon, which names a stream of another file to Windows"),
    (r"[. ](/|$)", "ends a name in a dot or a space, which Windows drops"),
    (r"~[0-9]", "looks like a short name, which Windows gives another file"),
    (r"[^\x20-\x7e]", "is not plain ASCII: Windows may take it for another spelling"),
    (r"(^|/)(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(\.[^/]*)?(/|$)", "names a device"),
    (r"[^A-Za-z0-9._+ /-]", "holds a character Windows does not allow in names"),
]
for entry in zipfile.ZipFile(sys.argv[1]).namelist():
    if not entry.startswith(sys.argv[2] + "/"):
        print(f"{entry} is outside {sys.argv[2]}/")
    for pattern, fault in FAULTS:
        if re.search(pattern, entry.removesuffix("/"), re.I):
            print(f"{entry!r} {fault}")
EOF
)
[ -z "$faults" ] || fail "${faults%%$'\n'*}"
unzip -q "$zip" -d "$unpacked"
folder=$unpacked/$release_folder
# The style plugin first, so that its absence keeps the message it has always had.
compgen -G "$folder/styles/q*style.dll" >/dev/null || fail "no style plugin in styles/"
mapfile -t shipped < <(sed -n 's/^\([^#][^ ]*\) .*/\1/p' "$here/shipped.txt")
for file in "$release_program.exe" "${shipped[@]}" chicken.jpg frice.jpg burger.jpg tea.jpg \
    coke.jpg s.jpg; do
    [ -s "$folder/$file" ] || fail "no $release_folder/$file"
done

binaries=0
while IFS= read -r -d '' binary; do
    name=${binary#"$folder"/}
    symbols=$(x86_64-w64-mingw32-objdump -t "$binary")
    sections=$(x86_64-w64-mingw32-objdump -h "$binary")
    ! grep -q '^\[' <<<"$symbols" || fail "$name keeps its symbols"
    ! grep -q ' \.debug' <<<"$sections" || fail "$name keeps debug sections"
    binaries=$((binaries + 1))
done < <(binaries "$folder")
# Unsigned, padded with true checksums; signed, every one verified and by one certificate.
"$here/check-windows-signatures.sh" "$folder"

readme=$folder/README.txt
[ -s "$readme" ] || fail "no README.txt"
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "README.txt has Unix line ends"
notices=(
    "$release_folder-qt-source.tar, published beside this"
    "based in part on the work of the Independent JPEG Group"
    "copyright © 2024 The FreeType Project"
    "with the GCC Runtime Library Exception version 3.1"
    "libwinpthread-1.dll is under the MIT licence and, for its pthread.h, the BSD"
    "the Zope Public License (ZPL) version 2.1"
    "Copyright (c) 2009-2016 the mingw-w64 project"
    "EVEN IF ADVISED OF THE POSSIBILITY OF SUCH DAMAGE."
)
for notice in "${notices[@]}"; do
    grep -qF "$notice" "$readme" || fail "README.txt does not say: $notice"
done
# Where the Qt source is published, or a written offer of it.
grep -qE $'^https?://[^ ]+\r$|for three years from [0-9]{4}-[0-9]{2}-[0-9]{2},' "$readme" ||
    fail "README.txt neither says where the Qt source is nor offers it"
# An offer by no one in particular is for a development build only, which says so.
if grep -qF "the $release_product developers will give it on request" "$readme"; then
    grep -qF "a development build, not for passing on" "$readme" ||
        fail "README.txt offers the Qt source from no publisher, and is no development build"
fi
# Each licence file, and a line of the text it must be.
while IFS='|' read -r licence line; do
    [ -f "$folder/licenses/$licence" ] || fail "no licenses/$licence"
    grep -qF "$line" "$folder/licenses/$licence" || fail "licenses/$licence is not the text it names"
done <<'EOF'
Qt/LICENSES/LGPL-3.0-only.txt|GNU LESSER GENERAL PUBLIC LICENSE
Qt/LICENSES/GPL-3.0-only.txt|GNU GENERAL PUBLIC LICENSE
Qt/SOURCE.txt|SOURCE_DATE_EPOCH=
Qt/windows-build.patch|+++ 
Qt/src/3rdparty/libjpeg/LICENSE|Independent JPEG Group
Qt/src/3rdparty/libjpeg/COPYRIGHT.txt|D. R. Commander
Qt/src/3rdparty/freetype/docs/FTL.TXT|The FreeType Project LICENSE
gcc-runtime/COPYING3|GNU GENERAL PUBLIC LICENSE
gcc-runtime/COPYING.RUNTIME|GCC RUNTIME LIBRARY EXCEPTION
gcc-runtime/copyright|GCC Runtime Library Exception
mingw-w64/copyright|License: ZPL-2.1
EOF

resources=$(x86_64-w64-mingw32-windres -i "$folder/$release_program.exe" -O rc)
grep -q '^"IDI_ICON1" 14 ' <<<"$resources" || fail "no icon IDI_ICON1 in the program"
grep -qF "VALUE \"ProductName\", \"$release_product\"" <<<"$resources" || fail "no version information"
{ grep -q '^1 24 ' <<<"$resources" && grep -q 'asInvoker' <<<"$resources" &&
    grep -q 'PerMonitorV2' <<<"$resources"; } || fail "no manifest in the program"

only_plain_files "$folder" || fail "links or other than plain files"
# Windows takes names that differ only in case for one file.
twice=$(cd "$folder" && find . | tr '[:upper:]' '[:lower:]' | sort | uniq -d)
[ -z "$twice" ] || fail "names Windows takes for one file: ${twice//$'\n'/, }"
# Last, so that a file spoilt otherwise is named by its own fault first: every file is the
# one its bill of materials lists, and the document lists every file.
sbom=$(python3 "$here/windows-sbom.py" check "$folder" 2>&1) || fail "$sbom"

echo "Windows zip: $binaries programs and libraries stripped, $sbom, README.txt, $(find "$folder/licenses" -type f | wc -l) licence files, icon, version and manifest; $(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }') bytes in files, $(stat -c %s "$zip") zipped"
