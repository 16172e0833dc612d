#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (qtbase only, from Debian's own source of the installed Qt
# version) once into a cache outside the repository, keyed by the version, the compiler, the
# toolchain file and the options. Prints the install prefix as its last line.
set -euo pipefail
source "$(dirname "$0")/common.sh"

qt_package_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_version=${qt_package_version%%+*}
mingw_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    # Debian's source drops the bundled wintab headers.
    -DFEATURE_tabletevent=OFF
    # DirectWrite 3 needs the Direct2D font engine; the two go together.
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
)
# Qt 6.4.2's Windows platform plugin asks for dynamic OpenGL even where OpenGL is off.
patch_source() {
    sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
        src/plugins/platforms/windows/qwindowswindow.cpp
}
toolchain=$top/cmake/mingw-w64-x86_64.cmake
key=$( (echo "$qt_package_version $mingw_version"; printf '%s\n' "${options[@]}"; cat "$toolchain"
    declare -f patch_source) |
    sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-mingw-$key

if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

started=$(date +%s)
work=$cache/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts" "$work/src"

# A private apt configuration whose source entries mirror the machine's own binary ones, so
# the source comes from the same archive (a local mirror included) without touching the
# machine's apt settings.
touch "$work/apt/sources.list"
[ -f /etc/apt/sources.list ] &&
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$work/apt/sources.list"
for part in /etc/apt/sources.list.d/*.sources; do
    [ -f "$part" ] && sed 's/^Types:.*/Types: deb-src/' "$part" >"$work/apt/parts/$(basename "$part")"
done
for part in /etc/apt/sources.list.d/*.list; do
    [ -f "$part" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$part" >"$work/apt/parts/$(basename "$part")"
done
apt_private=(
    -o "Dir::Etc::sourcelist=$work/apt/sources.list" -o "Dir::Etc::sourceparts=$work/apt/parts"
    -o "Dir::State::lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
)
# The private folders are root's own, so root need not hand the download to _apt.
[ "$(id -u)" -eq 0 ] && apt_private+=(-o "APT::Sandbox::User=root")
echo "Windows toolkit: fetching the source of qt6-base $qt_package_version" >&2
apt-get "${apt_private[@]}" update -qq >&2
(cd "$work/src" && apt-get "${apt_private[@]}" source -qq "qt6-base=$qt_package_version" >&2)
source_dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
(cd "$source_dir" && patch_source)

# Qt's installed toolchain file records the path of the one it was configured with, so
# that one lives in the cache, not in a work tree that may move.
mkdir -p "$prefix"
cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"

echo "Windows toolkit: configuring Qt $qt_version for x86_64-w64-mingw32" >&2
cmake -G Ninja -S "$source_dir" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }

echo "Windows toolkit: building (about 30 minutes on 2 cores the first time)" >&2
set +e
cmake --build "$work/build" 2>&1 | tee "$work/build.log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { if (++n % 200 == 0) { print "Windows toolkit: " $1; fflush() } }' >&2
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || { grep -m 20 -B 2 -A 10 'FAILED' "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >"$work/install.log"

touch "$prefix/.complete"
rm -rf "$work"
echo "Windows toolkit: built in $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s" >&2
echo "$prefix"
