#!/usr/bin/env bash
# Builds the Windows release signed with a throwaway CA's code-signing certificate, made here
# and deleted after, then unsigned in the same folder, and checks each promise of the signing
# as a row; a failing row is named and the others still run.
#   signing-test.sh SOURCE-DIR
set -euo pipefail
source=$(realpath "$1")
scripts=$source/windows/scripts
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
unset "${!ORDERING_SIGN_@}"
folder=ordering-system-windows-x64
cd "$work"

printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext
# A CA and the code-signing certificate it issues to NAME: NAME.p12 with its password in
# NAME.pass, or, given a public key, NAME.pem for that key.
issue() {
    local name=$1 key=${2:-}
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$name-ca.key" -out "$name-ca.pem" \
        -days 1 -subj "/CN=$name CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign 2>/dev/null
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
# Another CA under the same names, whose certificate has the publisher's serial too.
openssl req -x509 -newkey rsa:2048 -nodes -keyout Forger-ca.key -out Forger-ca.pem -days 1 \
    -subj "/CN=Publisher CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout Forger.key -subj /CN=Publisher -out Forger.csr 2>/dev/null
openssl x509 -req -in Forger.csr -CA Forger-ca.pem -CAkey Forger-ca.key -days 1 -extfile ext \
    -set_serial "0x$(openssl x509 -noout -serial -in Publisher.pem | cut -d= -f2)" -out Forger.pem 2>/dev/null
cat Publisher-ca.pem Stranger-ca.pem Forger-ca.pem >trusted.pem
# Timestamping authorities, NAME.pem with its key, whose tokens osslsigncode signs itself.
stamper() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1-ca.key" -out "$1-ca.pem" -days 1 \
        -subj "/CN=$1 CA" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=$1" -out "$1.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' >tsa-ext
    openssl x509 -req -in "$1.csr" -CA "$1-ca.pem" -CAkey "$1-ca.key" -days 1 -extfile tsa-ext 2>/dev/null |
        cat - "$1-ca.pem" >"$1.pem"
}
stamper Clock
stamper Foreign
# The roots the checks trust; signatures without a timestamp, since no server answers here.
export ORDERING_VERIFY_CAFILE=$work/trusted.pem ORDERING_VERIFY_TSA_CAFILE=$work/Clock-ca.pem \
    ORDERING_SIGN_WITHOUT_TIMESTAMP=1
fingerprint=$(openssl x509 -outform DER -in Publisher.pem | sha256sum | cut -c1-64)

# Every argument osslsigncode is given, as the process list shows it.
mkdir shim
printf '#!/bin/sh\necho "$*" >>%q\nexec /usr/bin/osslsigncode "$@"\n' "$work/arguments" >shim/osslsigncode
chmod +x shim/osslsigncode

# The build runs in the Windows build root, as windows.sh runs it.
in_root=$scripts/in-windows-root.sh
export ORDERING_ROOT_BINDS=$work
(cd "$source" && "$in_root" cmake --preset windows -B "$work/build" -DORDERING_BUILD_TESTS=OFF \
    "-DORDERING_PUBLISHER=Publisher, publisher@example.com" >/dev/null)
PATH=$work/shim:$PATH ORDERING_SIGN_PKCS12=$work/Publisher.p12 \
    ORDERING_SIGN_PASSWORD_FILE=$work/Publisher.pass \
    "$in_root" cmake --build build --target windows-release >signed.log 2>&1 || { cat signed.log; exit 1; }
mkdir published
cp build/$folder.zip build/$folder-setup.exe build/$folder-qt-source.tar build/$folder.spdx.json published/
"$in_root" cmake --build build --target windows-release >unsigned.log 2>&1 || { cat unsigned.log; exit 1; }
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
# verify-release.sh, given the publisher's certificate or another, refuses the published
# release once spoilt by the command given.
release_refused() {
    local said
    cp -r published spoilt
    (cd spoilt && eval "$2")
    if said=$("$scripts/verify-release.sh" spoilt build "${3-$fingerprint}" 2>&1); then
        echo "passed: $said"
        return 1
    fi
    grep -F "$1" <<<"$said"
}

# Run in spoilt/: spoils the zip's folder by the command given, run inside it, and packs it
# again as the build packs it, its bill of materials rehashed, so that only the spoilt bytes
# tell.
repacked() {
    unzip -q $folder.zip -d u && rm $folder.zip
    (cd u/$folder && eval "$1")
    python3 "$scripts/windows-sbom.py" rehash u/$folder
    python3 "$scripts/pack-folder.py" u $folder $folder.zip "$(cat ../build/windows-release-epoch.txt)"
    rm -r u
}

zip_signed() {
    local said
    mapfile -d '' binaries < <(find signed \( -name '*.exe' -o -name '*.dll' \) -print0)
    [ ${#binaries[@]} -ge 10 ]
    verified "${binaries[@]}"
    said=$("$scripts/check-windows-signatures.sh" signed/$folder 2>&1)
    grep -q "^WARNING: ${#binaries[@]} of ${#binaries[@]} signatures carry no timestamp" <<<"$said"
    [ "$(tail -n 1 <<<"$said")" = "$fingerprint" ]
}
installer_signed() {
    7zz x -bso0 -bsp0 -osetup published/$folder-setup.exe
    mapfile -d '' binaries < <(find setup -iname '*.dll' -print0)
    # shellcheck disable=SC2016 # NSIS's own folder name
    [ -f 'setup/$PLUGINSDIR/nsDialogs.dll' ]
    verified published/$folder-setup.exe "${binaries[@]}"
}
uninstaller_signed() {
    wineboot -i >/dev/null 2>&1
    wine published/$folder-setup.exe /S '/D=C:\signed' && wineserver -w
    verified "$WINEPREFIX/drive_c/signed/Uninstall.exe" "$WINEPREFIX/drive_c/signed/Qt6Core.dll"
}
unsigned_is_signed_without() { "$scripts/verify-release.sh" published build "$fingerprint"; }
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
    refused "imageformats/qjpeg.dll is signed by another certificate"
}
checker_refuses_flipped_byte() {
    cp -r signed tampered
    python3 - tampered/$folder/imageformats/qjpeg.dll <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
at, size = struct.unpack_from("<II", data, struct.unpack_from("<I", data, 0x3C)[0] + 24 + 144)
data[at + size - 40] ^= 1  # inside the RSA signature, the last thing without a timestamp
open(sys.argv[1], "wb").write(data)
EOF
    refused "imageformats/qjpeg.dll: its signature does not verify"
}
checker_refuses_forger() {
    local style
    cp -r signed tampered
    style=$(cd tampered/$folder && echo styles/*.dll)
    osslsigncode sign -certs Forger.pem -key Forger.key -h sha256 -in "unsigned/$folder/$style" \
        -out "tampered/$folder/$style.new" && mv "tampered/$folder/$style.new" "tampered/$folder/$style"
    refused "$style is signed by another certificate"
}
release_refuses_extra_file() {
    local said
    release_refused "holds what the local zip does not: Start here - ordering-system.exe" \
        "python3 -c 'import zipfile; zipfile.ZipFile(\"$folder.zip\", \"a\").writestr(
            \"Start here - ordering-system.exe\", b\"MZ\")'"
    if said=$("$scripts/check-windows-zip.sh" spoilt/$folder.zip 2>&1); then return 1; fi
    grep -F "Start here - ordering-system.exe is outside $folder/" <<<"$said"
}
release_refuses_false_bill() {
    # One SHA-1 wrong, the zip packed again as the build packs it: only the document lies.
    release_refused "bill of materials is not the one a build writes for its files" \
        "unzip -q $folder.zip -d u && rm $folder.zip &&
        sed -i '0,/\"checksumValue\": \"[0-9a-f]\\{40\\}\"/s//\"checksumValue\": \"$(printf '%040d' 0)\"/' \
            u/$folder/ordering-system.spdx.json &&
        python3 $scripts/pack-folder.py u $folder $folder.zip \$(cat ../build/windows-release-epoch.txt) && rm -r u"
}
release_refuses_stranger_installer() {
    release_refused "$folder-setup.exe is signed by another certificate" \
        "osslsigncode remove-signature -in $folder-setup.exe -out unsigned.exe >/dev/null &&
        ORDERING_SIGN_PKCS12=../Stranger.p12 ORDERING_SIGN_PASSWORD_FILE=../Stranger.pass \
        $scripts/sign-windows.sh unsigned.exe &&
        mv unsigned.exe $folder-setup.exe" ""
}
release_refuses_other_publisher() {
    release_refused "is signed by another certificate" : \
        "$(openssl x509 -outform DER -in Stranger.pem | sha256sum | cut -c1-64)"
}
# Qt6Core.dll with Qt6Gui.dll's signature, and its own genuine one nested under it.
nest_under_foreign() {
    osslsigncode extract-signature -in Qt6Gui.dll -out gui.sig >/dev/null
    osslsigncode remove-signature -in Qt6Core.dll -out core.dll >/dev/null
    # Attached, it fails to verify, as it should.
    osslsigncode attach-signature -sigin gui.sig -in core.dll -out wrong.dll >/dev/null 2>&1 || true
    rm Qt6Core.dll gui.sig core.dll
    osslsigncode sign -nest -pkcs12 "$work/Publisher.p12" -readpass "$work/Publisher.pass" -h sha256 \
        -in wrong.dll -out Qt6Core.dll >/dev/null
    rm wrong.dll
}
# Bytes after the signature inside its certificate entry, the entry and the directory grown.
grow_signature() {
    python3 - "$1" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
entry = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 144
at, size = struct.unpack_from("<II", data, entry)
struct.pack_into("<I", data, entry + 4, size + 8)
struct.pack_into("<I", data, at, size + 8)
open(sys.argv[1], "wb").write(data + b"unsigned")
EOF
}
release_refuses_nested() {
    release_refused "Qt6Core.dll: its signature carries unsigned attributes besides a timestamp: a nested signature" \
        "repacked nest_under_foreign"
}
release_refuses_blob() {
    release_refused "$folder-setup.exe: its signature carries unsigned attributes besides a timestamp: osslsigncode's unauthenticated blob" \
        "osslsigncode add -addUnauthenticatedBlob -in $folder-setup.exe -out blob.exe >/dev/null &&
        mv blob.exe $folder-setup.exe"
}
release_refuses_bytes_after() {
    release_refused "Qt6Widgets.dll: its certificate table holds more than one signature and its padding" \
        "repacked 'grow_signature Qt6Widgets.dll'"
}
timestamp_trusted_only() {
    # Stamped by the trusted authority, a signature passes, and no longer lacks a timestamp.
    mkdir clocked
    osslsigncode add -TSA-certs Clock.pem -TSA-key Clock.key -in published/$folder-setup.exe \
        -out clocked/stamped.exe >/dev/null
    "$scripts/check-windows-signatures.sh" clocked "$fingerprint" >clocked.log 2>&1 || { cat clocked.log; return 1; }
    if grep -q 'carry no timestamp' clocked.log; then return 1; fi
    release_refused "ordering-system.exe: its timestamp carries a certificate that no trusted root vouches for" \
        "repacked 'osslsigncode add -TSA-certs $work/Foreign.pem -TSA-key $work/Foreign.key \
            -in ordering-system.exe -out stamped.exe >/dev/null && mv stamped.exe ordering-system.exe'"
}
release_refuses_extra_certificate() {
    release_refused "$folder-setup.exe: its signature carries 1 certificates outside its signer's chain" \
        "osslsigncode remove-signature -in $folder-setup.exe -out unsigned.exe >/dev/null &&
        rm $folder-setup.exe && osslsigncode sign -pkcs12 ../Publisher.p12 -readpass ../Publisher.pass \
            -ac ../Stranger.pem -h sha256 -in unsigned.exe -out $folder-setup.exe >/dev/null && rm unsigned.exe"
}
release_refuses_other_bill_beside() {
    release_refused "$folder.spdx.json differs from the bill of materials inside $folder.zip" \
        "sed -i s/LGPL-3.0-only/MIT/ $folder.spdx.json"
}
release_refuses_stray_file() {
    release_refused "holds what no release has: $folder.sha256" "sha256sum $folder.zip >$folder.sha256"
}
release_passes_checker_table() {
    "$source/tests/check-windows-zip-test.sh" published/$folder.zip
}
password_hidden() {
    local status=0
    grep -q -- "-readpass $work/Publisher.pass" arguments
    grep -rqF "$(cat Publisher.pass)" arguments signed.log build/_CPack_Packages || status=$?
    [ "$status" -eq 1 ]
}
token_signs() {
    local module=/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so tool
    export SOFTHSM2_CONF=$PWD/softhsm2.conf
    mkdir tokens
    printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$PWD/tokens" >"$SOFTHSM2_CONF"
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
untimed_refused() {
    cp unsigned/$folder/ordering-system.exe untimed.exe
    if env -u ORDERING_SIGN_WITHOUT_TIMESTAMP ORDERING_SIGN_PKCS12=Publisher.p12 \
        ORDERING_SIGN_PASSWORD_FILE=Publisher.pass "$scripts/sign-windows.sh" untimed.exe; then
        return 1
    fi
    ! python3 "$scripts/pe-checksum.py" --signed untimed.exe
}
timestamp_asked() {
    cp unsigned/$folder/ordering-system.exe stamped.exe
    if ORDERING_SIGN_PKCS12=Publisher.p12 ORDERING_SIGN_PASSWORD_FILE=Publisher.pass \
        ORDERING_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ "$scripts/sign-windows.sh" stamped.exe; then
        return 1
    fi
    ! python3 "$scripts/pe-checksum.py" --signed stamped.exe
}

# Each row runs in a folder of its own, holding hard links to the shared files, as many at a
# time as there are cores: most rows run one process at a time.
failed=0
declare -A row_names=() row_dirs=()
reap() {
    local pid
    if wait -n -p pid; then
        echo "ok: ${row_names[$pid]}"
    else
        echo "FAILED: ${row_names[$pid]}" >&2
        cat "${row_dirs[$pid]}.log" >&2
        failed=$((failed + 1))
    fi
    unset "row_names[$pid]" "row_dirs[$pid]"
}
shared=()
for file in *; do
    [ "$file" = build ] || shared+=("$file")
done
mkdir rows
row() {
    local dir
    [ ${#row_names[@]} -lt "$(nproc)" ] || reap
    dir=$(mktemp -d -p rows)
    cp -al "${shared[@]}" "$dir/"
    # The build folder at its own path, which its CPack configuration names.
    ln -s "$work/build" "$dir/build"
    # Run apart, so that set -e holds inside it.
    (cd "$dir"; "$2") >"$dir.log" 2>&1 &
    row_names[$!]=$1
    row_dirs[$!]=$dir
}

# The longest first.
row "the zip checker's table holds for a release with a publisher" release_passes_checker_table
row "signatures removed, the release is the unsigned build" unsigned_is_signed_without
row "every exe and DLL in the zip verifies against the CA, SHA-256" zip_signed
row "the installer verifies, and every DLL in it, its plugins too" installer_signed
row "the Uninstall.exe it writes under Wine verifies, and what it installs" uninstaller_signed
row "without a certificate nothing is signed; files padded, true checksums" unsigned_signs_nothing
row "the zip checker refuses a release with one DLL unsigned" checker_refuses_unsigned
row "the zip checker refuses a release with one DLL signed by another" checker_refuses_stranger
row "the zip checker refuses a DLL with a byte of its signature flipped" checker_refuses_flipped_byte
row "the zip checker refuses a DLL signed under the same names by another CA" checker_refuses_forger
row "the release check and the zip checker refuse a file beside the zip's folder" release_refuses_extra_file
row "the release check refuses a bill of materials that lies" release_refuses_false_bill
row "the release check refuses an installer signed by another" release_refuses_stranger_installer
row "the release check refuses a release not by the publisher named" release_refuses_other_publisher
row "the release check refuses a primary signature that fails, a genuine one nested under it" release_refuses_nested
row "the release check refuses a signature carrying an unauthenticated blob" release_refuses_blob
row "the release check refuses bytes after the signature in its certificate entry" release_refuses_bytes_after
row "a timestamp counts from a trusted timestamping authority only" timestamp_trusted_only
row "the release check refuses a certificate beside the signer's chain" release_refuses_extra_certificate
row "the release check refuses a bill of materials beside the zip not the one inside" release_refuses_other_bill_beside
row "the release check refuses a file beside the release that no release has" release_refuses_stray_file
row "the password is in no argument and no log" password_hidden
row "a key made in a SoftHSM2 token, never extractable, signs" token_signs
row "a named timestamp server that does not answer fails the signing" timestamp_asked
row "signing without a timestamp server fails unless that is meant" untimed_refused
while [ ${#row_names[@]} -gt 0 ]; do reap; done
[ "$failed" -eq 0 ] || { echo "$failed rows failed" >&2; exit 1; }
