#!/usr/bin/env bash
# Builds the ordering window and its benchmarks, runs them, and prints the figures as
# Markdown, ending with one summary line. ROUNDS (default 30) sets the start-up runs.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing "${packages[@]}"
build_preset release >/dev/null
/usr/bin/python3 "$top/bench/run_benchmarks.py" "$top/build/release" "${ROUNDS:-30}"
