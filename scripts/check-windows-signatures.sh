#!/usr/bin/env bash
# Checks the programs and libraries of an unpacked Windows release: unsigned, each padded to
# 8 bytes with its true PE checksum, so that a signed build gives them back exactly; signed,
# every one signed, intact, with a true checksum, and all by one certificate. Whether that
# certificate is trusted is for `osslsigncode verify -CAfile` or Windows to say. Prints what
# it found; exits non-zero, naming the first file at fault.
#   check-windows-signatures.sh FOLDER
set -euo pipefail
folder=$1
here=$(cd "$(dirname "$0")" && pwd)
fault() {
    echo "Signatures: $*" >&2
    exit 1
}

mapfile -d '' binaries < <(find "$folder" \( -name '*.exe' -o -name '*.dll' \) -print0 | sort -z)
[ ${#binaries[@]} -gt 0 ] || fault "no programs or libraries in $folder"
signers=() signed=() unsigned=()
for binary in "${binaries[@]}"; do
    name=${binary#"$folder"/}
    said=$(osslsigncode verify -in "$binary" 2>&1) || true
    if grep -q '^No signature found' <<<"$said"; then
        unsigned+=("$name")
        continue
    fi
    # osslsigncode 2.5 shows both checksums, 2.9 both only when they differ.
    checksums=$(sed -n 's/^\(Current\|Calculated\) PE checksum *: *\([0-9A-F]*\).*/\2/p' <<<"$said" |
        sort -u | wc -l)
    [ "$checksums" -le 1 ] || fault "$name: its PE checksum is not the true one"
    digests=$(sed -n 's/^\(Current\|Calculated\) message digest *: *\([0-9A-F]*\).*/\2/p' <<<"$said" |
        sort -u | wc -l)
    [ "$digests" -eq 1 ] || fault "$name: its signature does not match its bytes"
    signer=$(awk '/^Signer.s certificate:/ { on = 1 } on && /Subject:|Issuer :|Serial :/ {
            sub(/^[ \t]+/, ""); printf "%s; ", $0; if (/Serial/) exit }' <<<"$said")
    [ -n "$signer" ] || fault "$name: a signature without a signer"
    signers+=("$signer")
    signed+=("$name")
done

if [ ${#signers[@]} -eq 0 ]; then
    python3 "$here/pe-checksum.py" --check "${binaries[@]}" ||
        fault "an unsigned file without its padding or true checksum"
    echo "Signatures: none; ${#binaries[@]} programs and libraries padded, with true checksums"
    exit 0
fi
[ ${#unsigned[@]} -eq 0 ] || fault "${unsigned[0]} is not signed, though others are"
for i in "${!signers[@]}"; do
    [ "${signers[i]}" = "${signers[0]}" ] ||
        fault "${signed[i]} is signed by another certificate: ${signers[i]%; }"
done
echo "Signatures: ${#binaries[@]} programs and libraries signed by ${signers[0]%; }"
