#!/usr/bin/env bash
# Builds the ordering window and runs every check: the unit, system and real-window tests,
# the static analysis, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer and in a multi-config build, and the Windows build with its tests
# under Wine. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
source "$top/windows/scripts/common.sh"

install_missing "${packages[@]}" "${windows_packages[@]}" clang-tidy clang-format clazy shellcheck \
    pyflakes3 e2fsprogs mount

cd "$top"
# Meanwhile, the first run makes what the Windows build takes from the cache, Qt for Windows
# above all, at a low priority: the Linux tests come first, and the wait is shorter.
mkdir -p build
setsid windows/scripts/windows-cache.sh >build/windows-cache.log 2>&1 &
cache_maker=$!
trap 'kill -- "-$cache_maker" 2>/dev/null || true' EXIT
echo "Windows cache: made in the background meanwhile, build/windows-cache.log"

build_preset release
ctest --preset release
scripts/lint.sh build/release

build_preset asan
ctest --preset asan
build_preset multi-config
ctest --preset multi-config
# What it printed so far, and the rest as it comes.
tail -n +1 -f --pid="$cache_maker" build/windows-cache.log
wait "$cache_maker" || echo "Windows cache: not made in the background; windows.sh tries again"
trap - EXIT
./windows.sh
