#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (qtbase only, from Debian's own source of the Qt in the Windows
# build root) once into a cache outside the repository, keyed by the root's packages, the
# version, the toolchain file and the options. Runs every build step inside that root.
# Prints the install prefix as its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/common.sh"
source "$here/common.sh"

ORDERING_WINDOWS_ROOT=$("$here/windows-root.sh" | tail -n 1)
export ORDERING_WINDOWS_ROOT
in_root=$here/in-windows-root.sh
qt_package_version=$(awk '$1 == "qt6-base-dev-tools" { print $2 }' "$ORDERING_WINDOWS_ROOT/packages.txt")
qt_version=${qt_package_version%%+*}
case $qt_version in
6.8.*) ;;
*) echo "The Windows build root holds Qt '$qt_version', not 6.8: Debian 13 offers no qt6-base 6.8" >&2; exit 1 ;;
esac
mingw_version=$("$in_root" x86_64-w64-mingw32-g++-posix -dumpfullversion)
# shellcheck disable=SC2054 # the linker's options are one argument, commas and all
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    # Debian's source drops the bundled wintab headers.
    -DFEATURE_tabletevent=OFF
    # Plugins the release neither ships nor tests: Direct2D's platform, GIF and ICO images.
    -DFEATURE_direct2d1_1=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
    # Each module's sources compiled 32 at a time, where Qt allows it (not QtGui).
    -DQT_UNITY_BUILD=ON -DQT_UNITY_BUILD_BATCH_SIZE=32
    # Reproducible libraries: no link time in the PE headers.
    -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp
    -DCMAKE_MODULE_LINKER_FLAGS=-Wl,--no-insert-timestamp
)
# The files patch_source changes, in the source folder.
patched=(src/plugins/platforms/windows/qwindowswindow.cpp src/3rdparty/harfbuzz-ng/CMakeLists.txt)
patch_source() {
    # Qt 6.8.2's Windows platform plugin asks for dynamic OpenGL even where OpenGL is off.
    sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "${patched[0]}"
    # Qt compiles bundled code file by file, which made HarfBuzz a sixth of the build. Its
    # shaping code is written to compile as one unit (HarfBuzz's own harfbuzz.cc); its
    # subsetting code stays file by file, so that the same objects of it are linked.
    cat >>"${patched[1]}" <<'CMAKE'
set_property(TARGET BundledHarfbuzz PROPERTY UNITY_BUILD ON)
get_target_property(harfbuzz_sources BundledHarfbuzz SOURCES)
set(harfbuzz_subset ${harfbuzz_sources})
list(FILTER harfbuzz_subset INCLUDE REGEX "(^|/)hb-subset[^/]*\\.cc$")
list(REMOVE_ITEM harfbuzz_sources ${harfbuzz_subset})
set_source_files_properties(${harfbuzz_sources} PROPERTIES SKIP_UNITY_BUILD_INCLUSION OFF)
set_source_files_properties(${harfbuzz_subset} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
CMAKE
}
# What the zip must carry beside Qt: its licences, the attribution files of the third-party
# code compiled into this build (with the licence files they name), and where the exact
# source is. Run in the source folder; the build's rules and the headers each object included
# tell which code went in.
keep_notices() {
    local build=$1 notices=$2
    mkdir -p "$notices"
    cp LICENSE.* "$notices/" 2>/dev/null || true
    [ -d LICENSES ] && cp -r LICENSES "$notices/"
    { cat "$build/build.ninja"; "$in_root" ninja -C "$build" -t deps; } >"$build/compiled.txt"
    "$in_root" python3 - "$build/compiled.txt" "$notices" <<'PY'
import json, os, shutil, sys
ninja = open(sys.argv[1], encoding="utf-8", errors="replace").read()
notices = sys.argv[2]
for root, _, files in sorted(os.walk(".")):
    if "qt_attribution.json" not in files or not root.startswith("./src"):
        continue
    if os.path.abspath(root) + "/" not in ninja:
        continue
    path = os.path.join(root, "qt_attribution.json")
    entries = json.loads(open(path, encoding="utf-8").read(), strict=False)
    names = {path}
    for entry in entries if isinstance(entries, list) else [entries]:
        for key in ("LicenseFile", "LicenseFiles", "CopyrightFile", "CopyrightFiles"):
            value = entry.get(key) or []
            for name in [value] if isinstance(value, str) else value:
                names.add(os.path.normpath(os.path.join(root, name)))
    # FreeType's LICENSE.txt hands over to the licence it offers, in its docs folder.
    if os.path.isfile(os.path.join(root, "docs", "FTL.TXT")):
        names.add(os.path.join(root, "docs", "FTL.TXT"))
    for name in sorted(names):
        if os.path.isfile(name):
            os.makedirs(os.path.join(notices, os.path.dirname(name)), exist_ok=True)
            shutil.copy(name, os.path.join(notices, name))
PY
}
toolchain=$top/windows/mingw-w64-x86_64.cmake
key=$( (echo "$qt_package_version $mingw_version file-prefix-map source-date-epoch kept-source"
    cat "$ORDERING_WINDOWS_ROOT/packages.txt"; printf '%s\n' "${options[@]}"
    cat "$toolchain"; declare -f patch_source) |
    sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-mingw-$key

take_cached "$key" "$prefix"

started=$(date +%s)
work=$cache/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"

# The root's own apt entries name the source suites; its lists stay as they are, read-only.
apt_private=(
    -o "Dir::State::lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
    -o "APT::Sandbox::User=root"
)
echo "Windows toolkit: fetching the source of qt6-base $qt_package_version" >&2
(cd "$work" && "$in_root" apt-get "${apt_private[@]}" update -qq >&2)
(cd "$work/src" && "$in_root" apt-get "${apt_private[@]}" source -qq "qt6-base=$qt_package_version" >&2)
source_dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
# The build's only clock: the source package's last changelog entry, as Debian's own builds
# do. CMake then writes no time into the gzip header of the MIME database in QtCore.
SOURCE_DATE_EPOCH=$("$in_root" dpkg-parsechangelog -l "$source_dir/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
for file in "${patched[@]}"; do
    mkdir -p "$work/unpatched/${file%/*}"
    cp "$source_dir/$file" "$work/unpatched/$file"
done
(cd "$source_dir" && patch_source)

# Qt's installed toolchain file records the path of the one it was configured with, so
# that one lives in the cache, not in a work tree that may move.
mkdir -p "$prefix"
cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"

echo "Windows toolkit: configuring Qt $qt_version for x86_64-w64-mingw32" >&2
# The libraries name their sources from the source package's folder, not from this cache.
no_build_folder="-ffile-prefix-map=$work/src/="
(cd "$work" && "$in_root" env SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" \
    cmake -G Ninja -S "$source_dir" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" \
    -DCMAKE_C_FLAGS="$no_build_folder" -DCMAKE_CXX_FLAGS="$no_build_folder") \
    >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }

# Says at every tenth of Ninja's steps how far, how long so far, and how long the rest takes
# at that pace.
progress() {
    local line finished total tenth=1 left
    SECONDS=0
    while IFS= read -r line; do
        [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
        finished=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
        ((finished * 10 >= total * tenth)) || continue
        while ((finished * 10 >= total * tenth)); do tenth=$((tenth + 1)); done
        left=$((SECONDS * (total - finished) / finished))
        printf 'Windows toolkit: %d %% of %d steps in %d min %02d s, about %d min %02d s to go\n' \
            $((100 * finished / total)) "$total" $((SECONDS / 60)) $((SECONDS % 60)) \
            $((left / 60)) $((left % 60))
    done
}
echo "Windows toolkit: building Qt, the longest step of a first run" >&2
set +e
# Ninja itself, which prints each step as it ends, where cmake --build holds its output back;
# at ORDERING_TOOLKIT_NICENESS, where the caller runs other work beside it.
(cd "$work" && nice -n "${ORDERING_TOOLKIT_NICENESS:-0}" \
    "$in_root" env SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" ninja -C "$work/build") 2>&1 |
    tee "$work/build.log" | progress >&2
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || { grep -m 20 -B 2 -A 10 'FAILED' "$work/build.log" >&2; exit 1; }
(cd "$work" && "$in_root" env SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" cmake --install "$work/build") >"$work/install.log"

notices=$prefix/share/ordering-system/qtbase
(cd "$source_dir" && keep_notices "$work/build" "$notices")
for file in "${patched[@]}"; do
    diff -u --label "a/$file" --label "b/$file" "$work/unpatched/$file" "$source_dir/$file" || true
done >"$notices/windows-build.patch"
{
    echo "Debian source package: qt6-base $qt_package_version"
    echo "Compiler: x86_64-w64-mingw32-g++-posix $mingw_version"
    echo "Configured with CMake, generator Ninja, options:"
    printf '    %s\n' "${options[@]}" "-DCMAKE_C_FLAGS=-ffile-prefix-map=<work folder>/src/=" \
        "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=<work folder>/src/="
    echo "Environment: SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
    echo "One patch applied before configuring: windows-build.patch"
    echo "Built inside a Debian $(cat "$ORDERING_WINDOWS_ROOT/etc/debian_version") root holding the packages of build-root-packages.txt"
} >"$notices/SOURCE.txt"

# The Corresponding Source of the DLLs: the source package as fetched, the patch, and how to
# build it again.
source_kept=$prefix/share/ordering-system/qtbase-source
mkdir -p "$source_kept"
find "$work/src" -maxdepth 1 -type f -name 'qt6-base_*' -exec cp {} "$source_kept/" \;
cp "$notices/windows-build.patch" "$notices/SOURCE.txt" "$prefix/mingw-w64-x86_64.cmake" "$source_kept/"
# What the build ran on, as Debian's .buildinfo records it.
cp "$ORDERING_WINDOWS_ROOT/packages.txt" "$source_kept/build-root-packages.txt"
dsc=$(basename "$(find "$source_kept" -name '*.dsc')")
{
    echo "How to build the Qt libraries of this release again"
    echo
    # The text was wrapped with the product's name across a line's end, at its first space.
    echo "This folder holds the Corresponding Source of the Qt DLLs shipped with ${release_product/ /$'\n'} for Windows: Debian's source package qt6-base $qt_package_version as fetched"
    echo "from Debian ($dsc and the tarballs it names), the one patch that build applied"
    echo "(windows-build.patch), SOURCE.txt, which records the build, and"
    echo "build-root-packages.txt, every package and version of the system it was built on."
    echo
    echo "On Debian 13 (trixie) with those packages, at least cmake, ninja-build, dpkg-dev,"
    echo "qt6-base-dev, qt6-base-dev-tools and g++-mingw-w64-x86-64-posix ($mingw_version); a"
    echo "minimal root for it: debootstrap --variant=minbase trixie ROOT, then apt-get install"
    echo "of those packages at the listed versions (Debian's snapshot archive keeps old ones):"
    echo
    echo "1. Unpack:     dpkg-source -x $dsc src/$(basename "$source_dir")"
    echo "2. Patch:      cd src/$(basename "$source_dir") && patch -p1 < ../../windows-build.patch"
    echo "3. Configure, from this folder (mingw-w64-x86_64.cmake is the toolchain file the"
    echo "   build used; SOURCE_DATE_EPOCH keeps the time out of the MIME database in QtCore):"
    echo
    echo "   export SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
    echo "   cmake -G Ninja -S src/$(basename "$source_dir") -B build \\"
    echo "       -DCMAKE_TOOLCHAIN_FILE=\$PWD/mingw-w64-x86_64.cmake \\"
    echo "       -DCMAKE_INSTALL_PREFIX=\$PWD/qt \\"
    printf '       %s \\\n' "${options[@]}"
    echo "       -DCMAKE_C_FLAGS=-ffile-prefix-map=\$PWD/src/= \\"
    echo "       -DCMAKE_CXX_FLAGS=-ffile-prefix-map=\$PWD/src/="
    echo
    echo "4. Build and install:  cmake --build build && cmake --install build"
    echo
    echo "The DLLs in qt/bin and the plugins in qt/plugins are then the ones shipped, before"
    echo "stripping (x86_64-w64-mingw32-strip --strip-all). Any Qt $qt_version build for"
    echo "x86_64-w64-mingw32 may replace them: the program links them dynamically."
} | sed 's/$/\r/' >"$source_kept/BUILDING.txt"

touch "$prefix/.complete"
rm -rf "$work"
echo "Windows toolkit: built in $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s" >&2
echo "$prefix"
