#!/usr/bin/env bash
# Runs a command inside the Windows build root (ORDERING_WINDOWS_ROOT, made by
# windows-root.sh), with the repository, the cache, the working folder, the folders of the
# signing files and ORDERING_ROOT_BINDS (folders, one per line) at the same paths as outside.
# The root's own files are read-only, and nothing stays mounted afterwards: bubblewrap's
# mounts live in a namespace that ends with the command.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"

root=${ORDERING_WINDOWS_ROOT:?the Windows build root, from windows/scripts/windows-root.sh}
folders=("$top" "$cache" "$PWD")
# A git worktree keeps its history in its main repository's folder, which the build reads.
history=$(git -C "$top" rev-parse --path-format=absolute --git-common-dir 2>/dev/null) &&
    folders+=("$history")
for file in "${ORDERING_SIGN_PKCS12:-}" "${ORDERING_SIGN_PASSWORD_FILE:-}" "${ORDERING_SIGN_CERT:-}" \
    "${ORDERING_SIGN_PKCS11_MODULE:-}" "${SOFTHSM2_CONF:-}"; do
    [ -f "$file" ] && folders+=("$(dirname "$(realpath "$file")")")
done
[ -d "${ORDERING_SIGN_FROM:-}" ] && folders+=("$(realpath "$ORDERING_SIGN_FROM")")
extra=()
[ -z "${ORDERING_ROOT_BINDS:-}" ] || mapfile -t extra <<<"$ORDERING_ROOT_BINDS"
binds=()
for folder in "${folders[@]}" "${extra[@]}"; do
    [ -z "$folder" ] || binds+=(--bind "$folder" "$folder")
done
exec bwrap --ro-bind "$root/usr" /usr --ro-bind "$root/etc" /etc --ro-bind "$root/var" /var \
    --symlink usr/bin /bin --symlink usr/sbin /sbin --symlink usr/lib /lib --symlink usr/lib64 /lib64 \
    --dev /dev --proc /proc --perms 1777 --tmpfs /tmp "${binds[@]}" \
    --unshare-pid --die-with-parent --chdir "$PWD" \
    --setenv PATH "$PATH:/usr/bin:/bin" --setenv HOME /tmp --setenv TMPDIR /tmp "$@"
