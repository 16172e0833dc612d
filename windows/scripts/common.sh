# shellcheck shell=bash
# Shared by the Windows release's scripts: the release's names (names.txt beside it, as
# $release_product, $release_folder...), how a script fails, and which files are programs and
# libraries.

# Named here too for shellcheck, which cannot see them set from the file.
# shellcheck disable=SC2034
declare release_product release_program release_folder release_registry_key release_sbom
while IFS='=' read -r name value; do
    if [[ $name == [a-z]* ]]; then
        printf -v "release_$name" %s "$value"
    fi
done <"${BASH_SOURCE[0]%/*}/names.txt"

# What the Windows build and its tests need on this machine. The bill of materials' test reads
# the SPDX schema with python3-jsonschema and Debian's copies of the SPDX licence and
# exception lists.
# shellcheck disable=SC2034 # windows.sh and test.sh install them
windows_packages=(
    debootstrap bubblewrap binutils-mingw-w64-x86-64 wine wine64 dpkg-dev xz-utils git unzip
    osslsigncode 7zip softhsm2 opensc libengine-pkcs11-openssl python3-jsonschema
    node-spdx-license-ids node-spdx-exceptions
)

# Ends the script, saying what is wrong; $checking names what the script checks or does.
fail() {
    echo "${checking:-Windows release}: $*" >&2
    exit 1
}

# Sets the array trusted to osslsigncode's options naming the roots a signature and its
# timestamp must chain to, where ORDERING_VERIFY_CAFILE and ORDERING_VERIFY_TSA_CAFILE name
# them; osslsigncode takes its default bundle for either not named.
trusted_roots() {
    local option variable
    trusted=()
    for option in CAfile:ORDERING_VERIFY_CAFILE TSA-CAfile:ORDERING_VERIFY_TSA_CAFILE; do
        variable=${option#*:}
        [ -n "${!variable:-}" ] || continue
        [ -f "${!variable}" ] || fail "$variable=${!variable} is no file"
        trusted+=("-${option%%:*}" "${!variable}")
    done
}

# Whether a certificate is given to sign with; the build signs when it is.
certificate_given() {
    [ -n "${ORDERING_SIGN_PKCS12:-}${ORDERING_SIGN_PKCS11_MODULE:-}" ]
}

# Whether a folder holds plain files and folders only: no links, devices or pipes.
only_plain_files() {
    [ -z "$(find "$1" ! -type f ! -type d)" ]
}

# Every program and library under a folder, sorted, each name ended by a NUL.
binaries() {
    find "$1" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z
}

# Copies FILE... into DIR, emptied first, and sets the array copies to the copies' names.
copy_into() {
    local dir=$1 file
    shift
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$@" "$dir"
    copies=()
    for file; do
        copies+=("$dir/${file##*/}")
    done
}

# Exports ORDERING_WINDOWS_QT and ORDERING_WINDOWS_ROOT, building Qt for Windows and its root
# into the cache the first time, and points Wine at the project's prefix there.
prepare_windows_build() {
    local scripts=${BASH_SOURCE[0]%/*}
    ORDERING_WINDOWS_QT=$("$scripts/windows-toolkit.sh" | tail -n 1)
    ORDERING_WINDOWS_ROOT=$("$scripts/windows-root.sh" | tail -n 1)
    export ORDERING_WINDOWS_QT ORDERING_WINDOWS_ROOT
    prepare_wine_prefix
}

# Removes the build folder DIR when its cache names another toolchain file, or another Qt for
# Windows than ORDERING_WINDOWS_QT: configured again, it would keep finding that Qt, one built
# before under another key, and ship its libraries.
drop_stale_build() {
    local file=$1/CMakeCache.txt toolchain
    toolchain=$(cd "${BASH_SOURCE[0]%/*}/.." && pwd)/mingw-w64-x86_64.cmake
    [ -f "$file" ] || return 0
    if ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" "$file" ||
        ! grep -qxF "Qt6_DIR:PATH=$ORDERING_WINDOWS_QT/lib/cmake/Qt6" "$file"; then
        rm -rf "$1"
    fi
}

# Points Wine at the project's prefix in the cache, made on first use by whichever run comes
# first; another waits for it.
prepare_wine_prefix() {
    export WINEPREFIX=${WINEPREFIX:-$cache/wine-prefix} WINEDEBUG=-all
    mkdir -p "$cache"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "Preparing the Wine prefix $WINEPREFIX"
            wineboot -i >/dev/null 2>&1
        fi
    ) 9>"$cache/.lock-wine-prefix"
}
