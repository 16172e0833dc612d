#!/usr/bin/env bash
# Checks that a published Windows release is the build of a commit: PUBLISHED holds the four
# files as downloaded and nothing else, LOCAL the build folder of an unsigned ./windows.sh of
# that commit. Each signed program and library must be byte for byte the local one with its
# published signature attached once, as signing attaches it:
#   - the zip holds the local zip's entries and no other, and, its signatures removed and
#     packed again, is the local zip; the bill of materials beside it is the one inside;
#   - the installer, its signature removed, is the one the local build makes when each file
#     it carries (the uninstaller too) is replaced by the published signed file whose
#     unsigned bytes it has;
#   - the Qt source archive is the local one.
# Every signature, the installer's and those of the files inside it included, must be the
# file's only one and verify (check-windows-signatures.sh), and all be by one certificate;
# given CERT_SHA256, the SHA-256 of the publisher's certificate in DER form, which the
# publisher publishes beside the release, by that one. Without it any trusted certificate,
# or none, passes, which it says loudly. Exits non-zero, saying what differs, on the first
# difference. Runs the local build's CPack in the Windows build root, which it makes or
# finds in the cache when ORDERING_WINDOWS_ROOT does not name it.
#   verify-release.sh PUBLISHED LOCAL [CERT_SHA256]
set -euo pipefail
published=$(realpath "$1")
local=$(realpath "$2")
pinned=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
checking=Release
folder=$release_folder
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=("$folder.zip" "$folder-setup.exe" "$folder-qt-source.tar" "$folder.spdx.json")
for file in "${files[@]}"; do
    [ -f "$published/$file" ] || fail "no $file in $published"
    [ -f "$local/$file" ] || fail "no $file in $local"
done
# A file beside the release that nothing checks would pass for part of it.
extra=$(comm -23 <(find "$published" -mindepth 1 -printf '%P\n' | sort) <(printf '%s\n' "${files[@]}" | sort))
[ -z "$extra" ] || fail "$published holds what no release has: ${extra//$'\n'/, }"
if [ -z "$pinned" ]; then
    {
        echo "WARNING: no CERT_SHA256 given: any certificate that chains to a trusted root passes, and"
        echo "WARNING: so does an unsigned copy of a signed release. Only the publisher's pin proves the publisher."
    } >&2
fi
epoch=$(cat "$local/windows-release-epoch.txt")
config=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$local/CMakeCache.txt")
mkdir "$work/from"

# Takes the signatures off every signed program and library under a folder, keeping each
# signed file in $work/from under the SHA-256 of its unsigned bytes. Each must be its unsigned
# bytes with its signature attached as osslsigncode attaches it, and nothing else.
trusted_roots
unsign() {
    local binary found
    mapfile -d '' found < <(binaries "$1")
    python3 "$here/pe-checksum.py" --which-signed "${found[@]}" >"$work/signed" ||
        fail "a program or library in it cannot be read"
    while IFS= read -r -d '' binary; do
        canonical "$binary" "$binary.unsigned"
        mv "$binary" "$work/from/$(sha256sum <"$binary.unsigned" | cut -c1-64)"
        mv "$binary.unsigned" "$binary"
    done <"$work/signed"
}

# Removes FILE's signature into UNSIGNED, which must give FILE back with the signature attached.
canonical() {
    rm -f "$work/signature" "$work/again"
    osslsigncode remove-signature -in "$1" -out "$2" >/dev/null
    osslsigncode extract-signature -in "$1" -out "$work/signature" >/dev/null
    if ! osslsigncode attach-signature "${trusted[@]}" -sigin "$work/signature" -in "$2" \
        -out "$work/again" >"$work/attach.log" 2>&1; then
        cat "$work/attach.log" >&2
        fail "${1##*/}: its signature cannot be attached again"
    fi
    cmp -s "$1" "$work/again" ||
        fail "${1##*/} is not its unsigned bytes with its signature attached once: it holds bytes no signature covers"
}

cmp -s "$published/$folder-qt-source.tar" "$local/$folder-qt-source.tar" ||
    fail "$folder-qt-source.tar differs from the local one"

# Nothing the local zip does not have, in its folder or beside it.
extra=$(comm -23 <(unzip -Z1 "$published/$folder.zip" | sort) <(unzip -Z1 "$local/$folder.zip" | sort))
[ -z "$extra" ] || fail "$folder.zip holds what the local zip does not: ${extra//$'\n'/, }"
unzip -q "$published/$folder.zip" -d "$work/zip"
# Only plain files, and nothing in the zip but what they pack to: no links, and no bytes that
# unzip does not read (another zip hidden in front).
only_plain_files "$work/zip" || fail "$folder.zip holds links"
python3 "$here/pack-folder.py" "$work/zip" "$folder" "$work/repacked.zip" "$epoch"
cmp -s "$work/repacked.zip" "$published/$folder.zip" ||
    fail "$folder.zip holds more than its files, or other times or modes than the local build's"
said=$("$here/check-windows-signatures.sh" "$work/zip/$folder" "$pinned")
echo "$said"
signer=$(sed -n '$s/^\([0-9a-f]\{64\}\)$/\1/p' <<<"$said")
# Its bill of materials must be the very document the build writes for these files.
sbom=$work/zip/$folder/$release_sbom
cp "$sbom" "$work/published.spdx.json"
{ python3 "$here/windows-sbom.py" check "$work/zip/$folder" >&2 &&
    python3 "$here/windows-sbom.py" rehash "$work/zip/$folder" &&
    cmp -s "$sbom" "$work/published.spdx.json"; } ||
    fail "$folder.zip's bill of materials is not the one a build writes for its files"
cmp -s "$sbom" "$published/$folder.spdx.json" ||
    fail "$folder.spdx.json differs from the bill of materials inside $folder.zip"
unsign "$work/zip"
# Its bill of materials names the signed files' digests; unsigned, the local build's.
python3 "$here/windows-sbom.py" rehash "$work/zip/$folder"
python3 "$here/pack-folder.py" "$work/zip" "$folder" "$work/unsigned.zip" "$epoch"
if ! cmp -s "$work/unsigned.zip" "$local/$folder.zip"; then
    unzip -q "$local/$folder.zip" -d "$work/local"
    diff -rq "$work/zip" "$work/local" >&2 || true
    cmp -s "$work/zip/$folder/README.txt" "$work/local/$folder/README.txt" ||
        fail "README.txt differs from the local build's: build with the publisher or the source's" \
            "address that the published one names (ORDERING_PUBLISHER, ORDERING_QT_SOURCE_URL)"
    fail "$folder.zip, its signatures removed, differs from the local zip"
fi
echo "Release: $folder.zip, $(find "$work/from" -type f | wc -l) signatures removed, is the local zip"

setup=$published/$folder-setup.exe
if python3 "$here/pe-checksum.py" --signed "$setup"; then
    canonical "$setup" "$work/setup.exe"
    [ -n "$signer" ] || fail "$folder-setup.exe is signed, the zip's files are not"
    7zz x -bso0 -bsp0 -o"$work/setup" "$setup"
    cp "$setup" "$work/setup/$folder-setup.exe"
    "$here/check-windows-signatures.sh" "$work/setup" "$signer"
    rm "$work/setup/$folder-setup.exe"
    unsign "$work/setup"
    # The installer as the local build makes it with the published signed files.
    # In the Windows build root, whose makensis built the local installer.
    if [ -z "${ORDERING_WINDOWS_ROOT:-}" ]; then
        ORDERING_WINDOWS_ROOT=$("$here/windows-root.sh" | tail -n 1)
        export ORDERING_WINDOWS_ROOT
    fi
    env -u ORDERING_SIGN_PKCS12 -u ORDERING_SIGN_PKCS11_MODULE \
        ORDERING_SIGN_FROM="$work/from" ORDERING_ROOT_BINDS="$work"$'\n'"$local" SOURCE_DATE_EPOCH="$epoch" \
        "$here/in-windows-root.sh" cpack --config "$local/CPackConfig.cmake" -C "$config" \
        -B "$work/cpack" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "CPack failed"; }
    if ! cmp -s "$work/setup.exe" "$work/cpack/$folder-setup.exe"; then
        7zz x -bso0 -bsp0 -o"$work/rebuilt" "$work/cpack/$folder-setup.exe"
        unsign "$work/rebuilt"
        diff -rq "$work/setup" "$work/rebuilt" >&2 || true
        fail "$folder-setup.exe, its signature removed, differs from the local build's with the published signed files"
    fi
    echo "Release: $folder-setup.exe, its signature removed, is the local installer with the published signed files"
else
    [ -z "$signer" ] || fail "$folder-setup.exe is not signed, the zip's files are"
    cmp -s "$setup" "$local/$folder-setup.exe" || fail "$folder-setup.exe differs from the local one"
    echo "Release: $folder-setup.exe is not signed, and is the local installer"
fi
echo "Release: $folder-qt-source.tar is the local one"
if [ -z "$pinned" ]; then
    echo "WARNING: ${signer:+signed by the certificate with SHA-256 $signer, but }no CERT_SHA256 named: the publisher is not proven" >&2
fi
