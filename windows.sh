#!/usr/bin/env bash
# Builds ordering-system.exe for 64-bit Windows with mingw-w64, checks the Windows build's
# sources with clang-tidy and clazy (windows/scripts/lint-windows.sh), runs the unit tests and
# the real-window test under Wine, and makes the release in build/windows
# (windows/release.cmake): the zip, the installer and the source of their Qt libraries, signed
# when a certificate is given (docs/windows-release.md, "Signing a release"). Then it checks
# what they ship, and that a second build of them gives the same bytes, or, signed, the same
# bytes once the signatures are removed. The first run also makes a Debian 13 root, whose
# mingw-w64 compiles everything for Windows, and builds Qt for Windows in it, and a second
# root for clang-tidy and clazy, all into a cache outside the repository. The tests run here,
# under this machine's Wine.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
source "$top/windows/scripts/common.sh"
# Set, the build would take signed files from that folder instead of signing: only
# verify-release.sh sets it, for its own rebuild.
[ -z "${ORDERING_SIGN_FROM:-}" ] || fail "ORDERING_SIGN_FROM is set: unset it to build a release"

install_missing "${packages[@]}" "${windows_packages[@]}"

scripts=$top/windows/scripts
# The lint root is made meanwhile, its downloads beside Qt's build; lint-windows.sh waits for
# it, or makes it again, saying why, if this failed.
"$scripts/windows-root.sh" lint >/dev/null 2>&1 &
prepare_windows_build
in_root=$scripts/in-windows-root.sh

cd "$top"
drop_stale_build build/windows
# A second build of the release in another folder, whose bytes are compared below, from the
# start at a low priority: it takes the cores that the build and the tests leave. Signed when
# a certificate is given (docs/windows-release.md, "Signing a release"); the second build
# never is, and a signed release must be it with its signatures removed.
rm -rf build/windows-again
{
    renice -n 10 -p "$BASHPID" >/dev/null
    "$in_root" cmake --preset windows -B build/windows-again -DORDERING_BUILD_TESTS=OFF >/dev/null &&
        env -u ORDERING_SIGN_PKCS12 -u ORDERING_SIGN_PKCS11_MODULE \
            "$in_root" cmake --build build/windows-again --target windows-release >/dev/null
} >build/windows-again.log 2>&1 &
again=$!
trap 'kill "$again" 2>/dev/null || true' EXIT
"$in_root" cmake --preset windows >/dev/null
"$in_root" cmake --build --preset windows --target all windows-release

# The static analysis beside the tests, at a low priority too, since the longest test takes
# longer.
nice -n 10 "$scripts/lint-windows.sh" build/windows >build/windows-lint.log 2>&1 &
lint=$!
trap 'kill "$lint" "$again" 2>/dev/null || true' EXIT
# As many tests at a time as cores, the longest first.
ctest --preset windows --parallel "$(nproc)"
wait "$lint" || { cat build/windows-lint.log >&2; exit 1; }
cat build/windows-lint.log

zip=build/windows/$release_folder.zip
qt_source=build/windows/$release_folder-qt-source.tar
installer=build/windows/$release_folder-setup.exe
"$scripts/check-windows-zip.sh" "$zip"
"$scripts/check-qt-source.sh" "$qt_source"
wait "$again" || { cat build/windows-again.log >&2; echo "The second build failed" >&2; exit 1; }
trap - EXIT
if certificate_given; then
    # The four files to publish, by themselves, as a shop's IT will check them.
    copy_into build/windows-published "$zip" "$qt_source" "$installer" "build/windows/$release_folder.spdx.json"
    "$scripts/verify-release.sh" build/windows-published build/windows-again
    echo "Publish the four files in build/windows-published, and the certificate's SHA-256 above"
    echo "Signed: ordering-system.exe, every DLL, the installer and the uninstaller it writes"
else
    for file in "$zip" "$qt_source" "$installer"; do
        cmp "$file" "build/windows-again/${file##*/}" ||
            { echo "${file##*/}: a second build in another folder differs" >&2; exit 1; }
    done
    echo "Windows zip, Qt source archive and installer: the same bytes from a second build folder"
    echo "Not signed: no certificate given (ORDERING_SIGN_PKCS12 or ORDERING_SIGN_PKCS11_MODULE)"
fi
sha256sum "$zip" "$qt_source" "$installer"
