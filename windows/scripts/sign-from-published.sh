#!/usr/bin/env bash
# Stands in for sign-windows.sh when verify-release.sh rebuilds a published installer: it
# signs nothing, but gives each file its padding and true PE checksum, as sign-windows.sh
# does, and then replaces it by PUBLISHED/SHA256, the published signed file whose unsigned
# bytes have that SHA-256. PUBLISHED comes from ORDERING_SIGN_FROM.
#   sign-from-published.sh [--into DIR] FILE...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
checking=Release
published=${ORDERING_SIGN_FROM:?the folder of the published signed files}
if [ "${1:-}" = --into ]; then
    copy_into "$2" "${@:3}"
    set -- "${copies[@]}"
fi
python3 "$here/pe-checksum.py" "$@"
for file; do
    signed=$published/$(sha256sum <"$file" | cut -c1-64)
    if [ -f "$signed" ]; then
        cp "$signed" "$file"
    else
        echo "No published signed file gives ${file##*/}: left unsigned"
    fi
done
