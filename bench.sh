#!/usr/bin/env bash
# Builds the ordering window and its benchmarks, runs them, and prints the figures as
# Markdown, ending with one summary line for Linux and one for the Windows build under Wine.
# ROUNDS (default 30) sets the start-up runs.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
source "$top/windows/scripts/common.sh"

install_missing "${packages[@]}" debootstrap bubblewrap wine wine64 dpkg-dev xz-utils git
build_preset release >/dev/null

# The Windows build's programs, built as windows.sh builds them, in a folder of their own
# with the benchmarks on and the tests off.
scripts=$top/windows/scripts
# The first run builds Qt for Windows into the cache, printing its progress as it goes.
prepare_windows_build >&2
cd "$top"
drop_stale_build build/windows-bench
"$scripts/in-windows-root.sh" cmake --preset windows -B build/windows-bench \
    -DORDERING_BUILD_BENCHMARKS=ON -DORDERING_BUILD_TESTS=OFF >/dev/null
"$scripts/in-windows-root.sh" cmake --build build/windows-bench --target windows-bench-folder \
    >/dev/null

/usr/bin/python3 "$top/bench/run_benchmarks.py" "$top/build/release" "${ROUNDS:-30}" \
    "$top/build/windows-bench/bench/windows-folder"
