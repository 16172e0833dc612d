#!/usr/bin/env bash
# Builds the ordering window with its tests and runs them all through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}"
build_preset release
ctest --preset release
