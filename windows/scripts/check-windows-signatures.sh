#!/usr/bin/env bash
# Checks the programs and libraries of an unpacked Windows release: unsigned, each padded to
# 8 bytes with its true PE checksum, so that a signed build gives them back exactly; signed,
# every one signed with a true checksum and one signature only, nothing after it and nothing
# unsigned in it but a timestamp (pe-checksum.py --sole-signature), verified by osslsigncode
# (the digest of the file's bytes, the signature itself, and the chain to a trusted root), its
# timestamp, if any, verified against a trusted timestamping root, and made by one
# certificate, told by the SHA-256 of its DER form, never by its names. Given that SHA-256
# (CERT_SHA256, the publisher's), every signature must be by that certificate. Trusted roots:
# ORDERING_VERIFY_CAFILE and ORDERING_VERIFY_TSA_CAFILE (PEM), else osslsigncode's default
# bundle. Warns loudly about signatures without a timestamp, which stop validating when the
# certificate expires. Prints what it found, the certificate's SHA-256 last; exits non-zero,
# naming the first file at fault.
#   check-windows-signatures.sh FOLDER [CERT_SHA256]
set -euo pipefail
folder=$1
pinned=$(tr 'A-F' 'a-f' <<<"${2:-}")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
checking=Signatures
work=$(mktemp)
trap 'rm -f "$work" "$work".*' EXIT
[ -z "$pinned" ] || [[ $pinned =~ ^[0-9a-f]{64}$ ]] ||
    fail "CERT_SHA256 must be 64 hex digits, the SHA-256 of the certificate in DER form"
trusted_roots

# The SHA-256 of the certificate that signed a file, as osslsigncode computes it when told
# to expect another.
leaf() {
    local said
    said=$(osslsigncode verify "${trusted[@]}" -in "$1" -require-leaf-hash "sha256:$(printf '%064d' 0)" 2>&1) ||
        true
    sed -n 's/^Leaf hash value mismatch: *\([0-9A-Fa-f]\{64\}\) computed.*/\1/p' <<<"$said" |
        sed -n 1p | tr 'A-F' 'a-f'
}

# Each certificate a signature or its timestamp carries must verify against the trusted roots,
# whatever its time: the chain's names alone would pass a made-up copy of a root that carries
# bytes of its own, which no signature covers. Reads "signature|timestamp BASE64" lines.
genuine_certificates() {
    local kind certificate roots
    rm -f "$work".*.pem
    while read -r kind certificate; do
        base64 -d <<<"$certificate" | openssl x509 -inform DER >>"$work.$kind.pem"
    done
    for kind in signature timestamp; do
        [ -f "$work.$kind.pem" ] || continue
        roots=${ORDERING_VERIFY_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
        [ "$kind" = signature ] || roots=${ORDERING_VERIFY_TSA_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
        csplit -s -z -f "$work.one." "$work.$kind.pem" '/-----BEGIN/' '{*}'
        for certificate in "$work".one.*; do
            openssl verify -no_check_time -CAfile "$roots" -untrusted "$work.$kind.pem" "$certificate" \
                >/dev/null 2>&1 || fail "$1: its $kind carries a certificate that no trusted root vouches for"
        done
        rm -f "$work".one.*
    done
}

mapfile -d '' binaries < <(binaries "$folder")
[ ${#binaries[@]} -gt 0 ] || fail "no programs or libraries in $folder"
python3 "$here/pe-checksum.py" --which-signed "${binaries[@]}" >"$work" 2>"$work.fault" ||
    fail "$(sed "s|^$folder/||" "$work.fault")"
declare -A carries=() vouched=()
while IFS= read -r -d '' binary; do
    carries[$binary]=1
done <"$work"
signer=$pinned signed=() unsigned=() untimed=()
for binary in "${binaries[@]}"; do
    name=${binary#"$folder"/}
    if [ -z "${carries[$binary]:-}" ]; then
        unsigned+=("$name")
        continue
    fi
    python3 "$here/pe-checksum.py" --certificates "$binary" >"$work" 2>"$work.fault" ||
        fail "$name: $(sed 's/^[^:]*: //' "$work.fault")"
    # Files signed alike carry the same certificates: each set is checked once.
    carried=$(sha256sum <"$work")
    if [ -z "${vouched[$carried]:-}" ]; then
        genuine_certificates "$name" <"$work"
        vouched[$carried]=1
    fi
    if [ -z "$signer" ]; then
        signer=$(leaf "$binary")
        [ -n "$signer" ] || fail "$name: osslsigncode names no certificate that signed it"
    fi
    status=0
    said=$(osslsigncode verify "${trusted[@]}" -in "$binary" -require-leaf-hash "sha256:$signer" 2>&1) ||
        status=$?
    if grep -q '^Leaf hash match: failed' <<<"$said"; then
        fail "$name is signed by another certificate, SHA-256 $(leaf "$binary")"
    fi
    if [ "$status" -ne 0 ] || ! grep -q '^Signature verification: ok' <<<"$said"; then
        fail "$name: its signature does not verify:"$'\n'"$(grep -iE 'fail|error|mismatch' <<<"$said")"
    fi
    if ! grep -q '^Timestamp is not available' <<<"$said" &&
        ! grep -q '^Timestamp Server Signature verification: ok' <<<"$said"; then
        fail "$name: its timestamp does not verify against a trusted timestamping root"
    fi
    # osslsigncode 2.5 shows both checksums, 2.9 both only when they differ.
    checksums=$(sed -n 's/^\(Current\|Calculated\) PE checksum *: *\([0-9A-F]*\).*/\2/p' <<<"$said" |
        sort -u | wc -l)
    [ "$checksums" -le 1 ] || fail "$name: its PE checksum is not the true one"
    ! grep -q '^Timestamp is not available' <<<"$said" || untimed+=("$name")
    signed+=("$name")
done

if [ ${#signed[@]} -eq 0 ]; then
    [ -z "$pinned" ] || fail "nothing in $folder is signed, though a certificate is named"
    python3 "$here/pe-checksum.py" --check "${binaries[@]}" ||
        fail "an unsigned file without its padding or true checksum"
    echo "Signatures: none; ${#binaries[@]} programs and libraries padded, with true checksums"
    exit 0
fi
[ ${#unsigned[@]} -eq 0 ] || fail "${unsigned[0]} is not signed, though others are"
if [ ${#untimed[@]} -gt 0 ]; then
    {
        echo "WARNING: ${#untimed[@]} of ${#signed[@]} signatures carry no timestamp (${untimed[0]} first):"
        echo "WARNING: they stop validating when the certificate expires."
    } >&2
fi
subject=$(sed -n 's/^[[:space:]]*Subject: //p' <<<"$said" | sed -n 1p)
echo "Signatures: ${#binaries[@]} programs and libraries signed by $subject, whose certificate's SHA-256 is"
echo "$signer"
