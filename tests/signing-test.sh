#!/usr/bin/env bash
# Builds the Windows release signed with a throwaway CA's code-signing certificate, made here
# and deleted after, then unsigned in the same folder, and checks each promise of the signing
# as a row; a failing row is named and the others still run.
#   signing-test.sh SOURCE-DIR
set -euo pipefail
source=$(realpath "$1")
scripts=$source/scripts
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
unset "${!ORDERING_SIGN_@}"
folder=ordering-system-windows-x64
cd "$work"

# A CA and the code-signing certificate it issues to NAME: NAME.p12 with its password in
# NAME.pass, or, given a public key, NAME.pem for that key.
issue() {
    local name=$1 key=${2:-}
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$name-ca.key" -out "$name-ca.pem" \
        -days 1 -subj "/CN=$name CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext
    if [ -n "$key" ]; then
        openssl x509 -new -force_pubkey "$key" -subj "/CN=$name" -CA "$name-ca.pem" \
            -CAkey "$name-ca.key" -days 1 -extfile ext -out "$name.pem"
        return
    fi
    openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -subj "/CN=$name" -out "$name.csr" 2>/dev/null
    openssl x509 -req -in "$name.csr" -CA "$name-ca.pem" -CAkey "$name-ca.key" -days 1 \
        -extfile ext -out "$name.pem" 2>/dev/null
    openssl rand -hex 12 >"$name.pass"
    openssl pkcs12 -export -inkey "$name.key" -in "$name.pem" -certfile "$name-ca.pem" \
        -passout "file:$name.pass" -out "$name.p12"
    rm "$name.key"
}
issue Publisher
issue Stranger

# Every argument osslsigncode is given, as the process list shows it.
mkdir shim
printf '#!/bin/sh\necho "$*" >>%q\nexec /usr/bin/osslsigncode "$@"\n' "$work/arguments" >shim/osslsigncode
chmod +x shim/osslsigncode

# The build runs in the Windows build root, as windows.sh runs it.
in_root=$scripts/in-windows-root.sh
export ORDERING_ROOT_BINDS=$work
(cd "$source" && "$in_root" cmake --preset windows -B "$work/build" -DORDERING_BUILD_TESTS=OFF >/dev/null)
PATH=$work/shim:$PATH ORDERING_SIGN_PKCS12=$work/Publisher.p12 \
    ORDERING_SIGN_PASSWORD_FILE=$work/Publisher.pass \
    "$in_root" cmake --build build --target windows-installer >signed.log 2>&1 || { cat signed.log; exit 1; }
mkdir published
cp build/$folder.zip build/$folder-setup.exe build/$folder-qt-source.tar published/
"$in_root" cmake --build build --target windows-installer >unsigned.log 2>&1 || { cat unsigned.log; exit 1; }
unzip -q published/$folder.zip -d signed
unzip -q build/$folder.zip -d unsigned

# Signed with SHA-256 by $signer, whose CA is trusted.
signer=Publisher
verified() {
    local file
    for file; do
        osslsigncode verify -CAfile "$signer-ca.pem" -in "$file" >verify.txt 2>&1 ||
            { cat verify.txt; return 1; }
        grep -q 'Message digest algorithm  : SHA256' verify.txt
        grep -q "Subject: /CN=$signer\$" verify.txt
    done
}
refused() {
    local said
    (cd tampered && python3 -m zipfile -c ../tampered.zip $folder)
    if said=$("$scripts/check-windows-zip.sh" tampered.zip 2>&1); then
        echo "passed: $said"
        return 1
    fi
    grep -F "$1" <<<"$said"
}

zip_signed() {
    mapfile -d '' binaries < <(find signed \( -name '*.exe' -o -name '*.dll' \) -print0)
    [ ${#binaries[@]} -ge 10 ]
    verified "${binaries[@]}"
}
installer_signed() {
    7zz x -bso0 -bsp0 -osetup published/$folder-setup.exe
    mapfile -d '' binaries < <(find setup -iname '*.dll' -print0)
    [ -f 'setup/$PLUGINSDIR/nsDialogs.dll' ]
    verified published/$folder-setup.exe "${binaries[@]}"
}
uninstaller_signed() {
    wineboot -i >/dev/null 2>&1
    wine published/$folder-setup.exe /S '/D=C:\signed' && wineserver -w
    verified "$WINEPREFIX/drive_c/signed/Uninstall.exe" "$WINEPREFIX/drive_c/signed/Qt6Core.dll"
}
unsigned_is_signed_without() { "$scripts/verify-release.sh" published build; }
unsigned_signs_nothing() {
    "$scripts/check-windows-signatures.sh" unsigned | grep -q '^Signatures: none;'
    ! python3 "$scripts/pe-checksum.py" --signed build/$folder-setup.exe
}
checker_refuses_unsigned() {
    cp -r signed tampered
    cp unsigned/$folder/imageformats/qjpeg.dll tampered/$folder/imageformats/
    refused "imageformats/qjpeg.dll is not signed, though others are"
}
checker_refuses_stranger() {
    cp -r signed tampered
    cp unsigned/$folder/imageformats/qjpeg.dll tampered/$folder/imageformats/
    ORDERING_SIGN_PKCS12=Stranger.p12 ORDERING_SIGN_PASSWORD_FILE=Stranger.pass \
        "$scripts/sign-windows.sh" tampered/$folder/imageformats/qjpeg.dll
    refused "imageformats/qjpeg.dll is signed by another certificate: Subject: /CN=Stranger"
}
password_hidden() {
    grep -q -- "-readpass $work/Publisher.pass" arguments
    ! grep -F "$(cat Publisher.pass)" arguments signed.log build/_CPack_Packages/win64/NSIS/NSISOutput.log
}
token_signs() {
    local module=/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so tool
    export SOFTHSM2_CONF=$work/softhsm2.conf
    mkdir tokens
    printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/tokens" >"$SOFTHSM2_CONF"
    printf 4711 >pin
    softhsm2-util --init-token --free --label publisher --so-pin 0815 --pin "$(cat pin)" >/dev/null
    tool=(pkcs11-tool --module "$module" --token-label publisher --login --pin "$(cat pin)")
    "${tool[@]}" --keypairgen --key-type rsa:2048 --id 01 --label signing >/dev/null
    "${tool[@]}" --list-objects --type privkey | grep -q 'never extractable, local'
    "${tool[@]}" --read-object --type pubkey --id 01 -o public.der
    openssl pkey -pubin -inform DER -in public.der -out public.pem
    signer=Token
    issue Token public.pem
    cp unsigned/$folder/ordering-system.exe token.exe
    ORDERING_SIGN_PKCS11_MODULE=$module ORDERING_SIGN_CERT=Token.pem ORDERING_SIGN_PASSWORD_FILE=pin \
        ORDERING_SIGN_PKCS11_KEY="pkcs11:token=publisher;object=signing;type=private" \
        "$scripts/sign-windows.sh" token.exe
    verified token.exe
}
timestamp_asked() {
    cp unsigned/$folder/ordering-system.exe stamped.exe
    if ORDERING_SIGN_PKCS12=Publisher.p12 ORDERING_SIGN_PASSWORD_FILE=Publisher.pass \
        ORDERING_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ "$scripts/sign-windows.sh" stamped.exe; then
        return 1
    fi
    ! python3 "$scripts/pe-checksum.py" --signed stamped.exe
}

failed=0
row() {
    # Run apart, so that set -e holds inside it.
    rm -rf tampered
    "$2" >row.log 2>&1 &
    if wait $!; then
        echo "ok: $1"
    else
        echo "FAILED: $1" >&2
        cat row.log >&2
        failed=$((failed + 1))
    fi
}
row "every exe and DLL in the zip verifies against the CA, SHA-256" zip_signed
row "the installer verifies, and every DLL in it, its plugins too" installer_signed
row "the Uninstall.exe it writes under Wine verifies, and what it installs" uninstaller_signed
row "signatures removed, the release is the unsigned build" unsigned_is_signed_without
row "without a certificate nothing is signed; files padded, true checksums" unsigned_signs_nothing
row "the zip checker refuses a release with one DLL unsigned" checker_refuses_unsigned
row "the zip checker refuses a release with one DLL signed by another" checker_refuses_stranger
row "the password is in no argument and no log" password_hidden
row "a key made in a SoftHSM2 token, never extractable, signs" token_signs
row "a named timestamp server that does not answer fails the signing" timestamp_asked
[ "$failed" -eq 0 ] || { echo "$failed rows failed" >&2; exit 1; }
