#!/usr/bin/env bash
# Static analysis of the project's own sources: formatting, clang-tidy and clazy (the Qt
# checks), shellcheck for the shell scripts and pyflakes for the Python ones. Needs a
# configured build for compile_commands.json; fails on any finding.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=${1:-$top/build/release}
cd "$top"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
# The Windows files are compiled and checked with the Windows build (windows/scripts/lint-windows.sh).
mapfile -t units < <(git ls-files '*.cpp' ':!:*_win.cpp')

echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

echo "clang-tidy: ${#units[@]} files"
tidy_clean run-clang-tidy -quiet -j "$(nproc)" -p "$build" "${units[@]/#/$top/}"

echo "clazy: ${#units[@]} files"
clazy-standalone -p "$build" --ignore-dirs='(^/usr/|_autogen/)' --checks="$clazy_checks" \
    --extra-arg=-Wno-gnu-zero-variadic-macro-arguments \
    "${units[@]}"
mapfile -t shell_scripts < <(git ls-files '*.sh' .ci/run)
echo "shellcheck: ${#shell_scripts[@]} files"
shellcheck "${shell_scripts[@]}"
mapfile -t python_scripts < <(git ls-files '*.py')
echo "pyflakes: ${#python_scripts[@]} files"
pyflakes3 "${python_scripts[@]}"
echo "Static analysis: no findings"
