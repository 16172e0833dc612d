#!/usr/bin/env bash
# Makes the Debian 13 root that the Windows build runs in (its mingw-w64 and its Qt host tools
# are the ones Qt 6.8 expects) once into the cache, from the machine's own Debian archive, and
# prints its path as the last line. Keyed by what it is asked to hold; the packages it does
# hold are listed in its /packages.txt. "windows-root.sh lint" makes a second root, for
# clang-tidy and clazy on the Windows build's sources (windows/scripts/lint-windows.sh).
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"

flavour=${1:-}
suite=trixie
packages=(
    cmake ninja-build dpkg-dev python3 git xz-utils file
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qt6-base-dev qt6-base-dev-tools
    nsis osslsigncode openssl softhsm2 opensc libengine-pkcs11-openssl
)
case $flavour in
"") folder=root-$suite ;;
lint)
    # trixie's clang-tidy and clazy (LLVM 19), which know the mingw-w64 target, and the
    # build root's mingw-w64 headers, in a root of their own: the build root's list is the
    # key of Qt for Windows too, and neither the build nor Qt needs them.
    packages=(clang-tidy clazy python3 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
    folder=root-$suite-lint
    ;;
*) echo "Usage: $0 [lint]" >&2; exit 2 ;;
esac

# The machine's archive and its security archive, from its apt entries in either format.
archive_of() {
    local wanted=$1
    {
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk '$1 == "deb" { for (i = 3; i <= NF; i++) if ($i !~ /^\[/) { print $i, $(i + 1); break } }'
        for part in /etc/apt/sources.list.d/*.sources; do
            [ -f "$part" ] || continue
            awk 'BEGIN { RS = ""; FS = "\n" }
                { uris = ""; suites = ""
                  for (i = 1; i <= NF; i++) {
                      if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
                      if ($i ~ /^Suites:/) { suites = $i; sub(/^Suites:[ \t]*/, "", suites) } }
                  n = split(uris, u, /[ \t]+/); m = split(suites, s, /[ \t]+/)
                  for (a = 1; a <= n; a++) for (b = 1; b <= m; b++) print u[a], s[b] }' "$part"
        done
    } | awk -v suite="$wanted" '$2 == suite { print $1; exit }'
}
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(archive_of "$codename")
security=$(archive_of "$codename-security")
[ -n "$mirror" ] || { echo "No Debian archive for $codename in the machine's apt entries" >&2; exit 1; }
[ -n "$security" ] || { echo "No security archive for $codename in the machine's apt entries" >&2; exit 1; }

key=$( (echo "$suite $mirror $security"; printf '%s\n' "${packages[@]}") | sha256sum | cut -c1-12)
root=$cache/$folder-$key

take_cached "root-$key" "$root"

started=$(date +%s)
rm -rf "$root"
echo "Windows ${flavour:-build} root: Debian $suite from $mirror" >&2
# In a mount namespace of its own, so that whatever debootstrap mounts goes with it, even
# when it fails.
unshare --mount --propagation private \
    debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$cache/root-$key.log" 2>&1 ||
    { tail -n 30 "$cache/root-$key.log" >&2; exit 1; }
{
    for type in deb deb-src; do
        echo "$type $mirror $suite main"
        echo "$type $mirror $suite-updates main"
        echo "$type $security $suite-security main"
    done
} >"$root/etc/apt/sources.list"
rm -f "$root/etc/apt/sources.list.d/"*
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
in_root_as_admin() {
    bwrap --bind "$root" / --dev /dev --proc /proc --perms 1777 --tmpfs /tmp --cap-add ALL \
        --unshare-pid --die-with-parent --setenv DEBIAN_FRONTEND noninteractive "$@"
}
{
    # apt's own -q warnings hide a failed update from its exit code.
    in_root_as_admin apt-get update -qq -o APT::Update::Error-Mode=any &&
        in_root_as_admin apt-get dist-upgrade -y -qq &&
        in_root_as_admin apt-get install -y -qq --no-install-recommends "${packages[@]}" &&
        in_root_as_admin apt-get clean
} >>"$cache/root-$key.log" 2>&1 || { tail -n 30 "$cache/root-$key.log" >&2; exit 1; }
# shellcheck disable=SC2016 # dpkg-query's own fields
in_root_as_admin dpkg-query -W -f='${Package} ${Version} ${Architecture}\n' | sort >"$root/packages.txt"
touch "$root/.complete"
echo "Windows ${flavour:-build} root: made in $(($(date +%s) - started)) s, $(wc -l <"$root/packages.txt") packages" >&2
echo "$root"
