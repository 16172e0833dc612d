#!/usr/bin/env bash
# clang-tidy and clazy (the Qt checks) on the Windows build's own sources, recordfile_win.cpp
# among them, as scripts/lint.sh runs them on the Linux build: the same .clang-tidy and the
# same clazy checks, on the translation units of the Windows build's compile_commands.json.
# Runs in a Debian 13 root of its own (windows-root.sh lint) with its clang-tidy and clazy and
# the mingw-w64 headers. The build folder must have been built, for the headers that moc and
# uic write. Prints how many files it checked; fails on any finding.
#   lint-windows.sh [BUILD_DIR]    (build/windows by default)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/common.sh"
build=$(realpath "${1:-$top/build/windows}")
[ -f "$build/compile_commands.json" ] ||
    { echo "No $build/compile_commands.json: configure the windows preset first" >&2; exit 1; }

lint_root=$("$here/windows-root.sh" lint | tail -n 1)
build_root=${ORDERING_WINDOWS_ROOT:-$("$here/windows-root.sh" | tail -n 1)}
# Both roots come from trixie when they were made: a point release between the two may have
# brought other headers than the ones the build compiled with.
for package in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev; do
    built=$(awk -v p="$package" '$1 == p { print $2 }' "$build_root/packages.txt")
    linted=$(awk -v p="$package" '$1 == p { print $2 }' "$lint_root/packages.txt")
    [ "$built" = "$linted" ] ||
        echo "Note: $package is $built in the build root, $linted in the lint root $lint_root" >&2
done
in_lint_root() {
    ORDERING_WINDOWS_ROOT=$lint_root ORDERING_ROOT_BINDS=$build "$here/in-windows-root.sh" "$@"
}
cd "$top"

# The repository's own C++ files among the build's translation units: not the moc files.
mapfile -t units < <(
    python3 -c 'import json, sys
print("\n".join(sorted({entry["file"] for entry in json.load(open(sys.argv[1]))})))' \
        "$build/compile_commands.json" | sed -n "s|^$top/||p" | grep -Fx -f <(git ls-files '*.cpp'))
[[ " ${units[*]} " == *" recordfile_win.cpp "* ]] ||
    { echo "No $top/recordfile_win.cpp in $build/compile_commands.json" >&2; exit 1; }

# clang-tidy reads the target from the compiler that the build names,
# x86_64-w64-mingw32-g++-posix; clazy does not, so both are told.
target=--target=x86_64-w64-mingw32
echo "clang-tidy (Windows): ${#units[@]} files"
tidy_clean in_lint_root run-clang-tidy -quiet -j "$(nproc)" -p "$build" -extra-arg-before="$target" \
    "${units[@]/#/$top/}"

# Clang 19 files Qt's variadic macros called without their last argument (QSKIP) under
# c++20-extensions, where clang 14 had gnu-zero-variadic-macro-arguments.
echo "clazy (Windows): ${#units[@]} files"
in_lint_root clazy-standalone -p "$build" --ignore-dirs='(^/usr/|_autogen/)' --checks="$clazy_checks" \
    --extra-arg-before="$target" --extra-arg=-Wno-c++20-extensions "${units[@]}"
echo "Static analysis of the Windows build: no findings"
