#!/usr/bin/env bash
# Shows that the zip checker refuses what it must: a library that keeps its symbols (the
# compiler's libstdc++ with only its debug sections taken out), and a README.txt that does
# not offer the Qt source.
#   check-windows-zip-test.sh ZIP
set -euo pipefail
zip=$(realpath "$1")
checker=$(cd "$(dirname "$0")/../scripts" && pwd)/check-windows-zip.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=ordering-system-windows-x64

# Packs the folder as it now stands and expects the checker to refuse it with this message.
expect_refused() {
    local name=$1 message=$2 said
    (cd "$work/unpacked" && python3 -m zipfile -c "$work/$name.zip" "$folder")
    if said=$("$checker" "$work/$name.zip" 2>&1); then
        echo "The zip checker passed $name" >&2
        exit 1
    fi
    grep -qF "$message" <<<"$said" || { echo "The zip checker refused $name otherwise: $said" >&2; exit 1; }
    echo "Refused, $name: $said"
}

unzip -q "$zip" -d "$work/unpacked"
dll=$work/unpacked/$folder/libstdc++-6.dll
cp "$dll" "$work/stripped.dll"
x86_64-w64-mingw32-objcopy --strip-debug "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)" "$dll"
expect_refused "a library with symbols" "libstdc++-6.dll keeps its symbols"
cp "$work/stripped.dll" "$dll"

readme=$work/unpacked/$folder/README.txt
sed -i '/qt-source.tar/d' "$readme"
expect_refused "no source offer" "README.txt does not say: ordering-system-windows-x64-qt-source.tar"
