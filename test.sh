#!/usr/bin/env bash
# Builds the ordering window and runs every check: the unit, system and real-window tests,
# the static analysis, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer and in a multi-config build, and the Windows build with its tests
# under Wine. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}" clang-tidy clang-format clazy shellcheck pyflakes3 git e2fsprogs mount

cd "$top"
build_preset release
ctest --preset release
scripts/lint.sh build/release

build_preset asan
ctest --preset asan
build_preset multi-config
ctest --preset multi-config
./windows.sh
