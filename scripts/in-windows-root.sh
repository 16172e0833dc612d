#!/usr/bin/env bash
# Runs a command inside the Windows build root (ORDERING_WINDOWS_ROOT, made by
# scripts/windows-root.sh), with the repository, the cache, the working folder, the folders of
# the signing files and ORDERING_ROOT_BINDS at the same paths as outside. The root's own files
# are read-only, and nothing stays mounted afterwards: bubblewrap's mounts live in a namespace
# that ends with the command.
set -euo pipefail
source "$(dirname "$0")/common.sh"

root=${ORDERING_WINDOWS_ROOT:?the Windows build root, from scripts/windows-root.sh}
folders=("$top" "$cache" "$PWD")
for file in "${ORDERING_SIGN_PKCS12:-}" "${ORDERING_SIGN_PASSWORD_FILE:-}" "${ORDERING_SIGN_CERT:-}" \
    "${ORDERING_SIGN_PKCS11_MODULE:-}" "${SOFTHSM2_CONF:-}"; do
    [ -f "$file" ] && folders+=("$(dirname "$(realpath "$file")")")
done
[ -d "${ORDERING_SIGN_FROM:-}" ] && folders+=("$(realpath "$ORDERING_SIGN_FROM")")
read -r -a extra <<<"${ORDERING_ROOT_BINDS:-}"
binds=()
for folder in "${folders[@]}" "${extra[@]}"; do
    binds+=(--bind "$folder" "$folder")
done
exec bwrap --ro-bind "$root/usr" /usr --ro-bind "$root/etc" /etc --ro-bind "$root/var" /var \
    --symlink usr/bin /bin --symlink usr/sbin /sbin --symlink usr/lib /lib --symlink usr/lib64 /lib64 \
    --dev /dev --proc /proc --perms 1777 --tmpfs /tmp "${binds[@]}" \
    --unshare-pid --die-with-parent --chdir "$PWD" \
    --setenv PATH "$PATH:/usr/bin:/bin" --setenv HOME /tmp --setenv TMPDIR /tmp "$@"
