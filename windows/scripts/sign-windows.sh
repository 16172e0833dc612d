#!/usr/bin/env bash
# Signs Windows programs and libraries in place, with osslsigncode and SHA-256, when a
# certificate is given; without one it signs nothing and says so. Either way each file first
# gets its padding and true PE checksum (pe-checksum.py), so that a signed file with its
# signature removed is byte for byte the unsigned one. The certificate comes from:
#   ORDERING_SIGN_PKCS12         a PKCS#12 file: the key and its certificate chain
#   ORDERING_SIGN_PKCS11_MODULE  or a token's PKCS#11 module, with
#   ORDERING_SIGN_PKCS11_KEY     the key's pkcs11: URI and
#   ORDERING_SIGN_CERT           the certificate chain, PEM
#   ORDERING_SIGN_PASSWORD_FILE  the file holding the PKCS#12 password or the token's PIN
#   ORDERING_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server: without one a signature stops
#                                validating when the certificate expires, so signing refuses
#   ORDERING_SIGN_WITHOUT_TIMESTAMP=1  unless this says it is meant (a test, a trial build)
# With --reuse DIR, a file already signed with the same certificate, keyed by its unsigned
# bytes, is taken from DIR: the zip and the installer then carry the same signed bytes.
# With --into DIR, the files are copied into DIR, emptied first, and the copies signed: the
# NSIS plugins the installer unpacks and loads. With ORDERING_SIGN_FROM=PUBLISHED, set only by
# verify-release.sh to rebuild a published installer, it signs nothing, but replaces each
# padded file by PUBLISHED/SHA256, the published signed file whose unsigned bytes have that
# SHA-256.
#   sign-windows.sh [--reuse DIR] [--into DIR] FILE...
# With --given it only answers whether a certificate is given: exit code 0 if so, else 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
checking=Signing
if [ "${1:-}" = --given ]; then
    certificate_given
    exit
fi
reuse=
if [ "${1:-}" = --reuse ]; then
    reuse=$2
    shift 2
fi
if [ "${1:-}" = --into ]; then
    copy_into "$2" "${@:3}"
    set -- "${copies[@]}"
fi
readable() {
    { [ -f "$2" ] && [ -r "$2" ]; } || fail "$1=$2 is no readable file"
}

python3 "$here/pe-checksum.py" "$@"

if [ -n "${ORDERING_SIGN_FROM:-}" ]; then
    for file; do
        signed=$ORDERING_SIGN_FROM/$(sha256sum <"$file" | cut -c1-64)
        if [ -f "$signed" ]; then
            cp "$signed" "$file"
        else
            echo "No published signed file gives ${file##*/}: left unsigned"
        fi
    done
    exit 0
fi

pkcs12=${ORDERING_SIGN_PKCS12:-}
module=${ORDERING_SIGN_PKCS11_MODULE:-}
[ -z "$pkcs12" ] || [ -z "$module" ] || fail "ORDERING_SIGN_PKCS12 and ORDERING_SIGN_PKCS11_MODULE both given: choose one"
if ! certificate_given; then
    echo "Not signed (no ORDERING_SIGN_PKCS12 or ORDERING_SIGN_PKCS11_MODULE):" "${@##*/}"
    exit 0
fi
if [ -n "$pkcs12" ]; then
    readable ORDERING_SIGN_PKCS12 "$pkcs12"
    signer=(-pkcs12 "$pkcs12")
    identity=$pkcs12
else
    readable ORDERING_SIGN_PKCS11_MODULE "$module"
    [ -n "${ORDERING_SIGN_PKCS11_KEY:-}" ] || fail "ORDERING_SIGN_PKCS11_MODULE needs ORDERING_SIGN_PKCS11_KEY"
    readable ORDERING_SIGN_CERT "${ORDERING_SIGN_CERT:-}"
    signer=(-pkcs11module "$module" -key "$ORDERING_SIGN_PKCS11_KEY" -certs "$ORDERING_SIGN_CERT")
    identity=$ORDERING_SIGN_CERT
fi
# osslsigncode reads the password from the file: it is in no argument, so in no process list.
if [ -n "${ORDERING_SIGN_PASSWORD_FILE:-}" ]; then
    readable ORDERING_SIGN_PASSWORD_FILE "$ORDERING_SIGN_PASSWORD_FILE"
    signer+=(-readpass "$ORDERING_SIGN_PASSWORD_FILE")
fi
timestamp=${ORDERING_SIGN_TIMESTAMP_URL:-}
if [ -n "$timestamp" ]; then
    signer+=(-ts "$timestamp")
elif [ "${ORDERING_SIGN_WITHOUT_TIMESTAMP:-}" != 1 ]; then
    fail "no ORDERING_SIGN_TIMESTAMP_URL: signatures without a timestamp stop validating when the \
certificate expires. Name a timestamp server, or set ORDERING_SIGN_WITHOUT_TIMESTAMP=1 if that is meant"
fi
identity=$({ sha256sum <"$identity"; echo "${ORDERING_SIGN_PKCS11_KEY:-} $timestamp"; } |
    sha256sum | cut -c1-16)

for file; do
    kept=
    if [ -n "$reuse" ]; then
        mkdir -p "$reuse"
        kept=$reuse/$(sha256sum <"$file" | cut -c1-64)-$identity
        if [ -f "$kept" ]; then
            cp "$kept" "$file"
            continue
        fi
    fi
    if ! said=$(osslsigncode sign "${signer[@]}" -h sha256 -n "$release_product" \
        -in "$file" -out "$file.signed" 2>&1); then
        rm -f "$file.signed"
        fail "osslsigncode could not sign ${file##*/}: $said"
    fi
    cat "$file.signed" >"$file"
    rm "$file.signed"
    [ -z "$kept" ] || cp "$file" "$kept"
    echo "Signed ${file##*/}"
done
