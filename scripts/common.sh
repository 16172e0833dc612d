# shellcheck shell=bash
# Shared by run.sh, test.sh, bench.sh and windows.sh: installs the Debian packages that are missing,
# builds a CMake preset, and starts a virtual X display. Holds what the two lint scripts share.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Outside the repository, so that a fresh clone reuses what was built once: the Qt for
# Windows and the Wine prefix.
# shellcheck disable=SC2034 # cache and packages serve the scripts that source this file
cache=${ORDERING_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ordering-system}

# shellcheck disable=SC2034
packages=(
    cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-wqy-microhei xvfb xauth xdotool xclip x11-utils imagemagick python3 python3-xlib
)

# The clazy checks of scripts/lint.sh and windows/scripts/lint-windows.sh.
# connect-by-name: the form wires its buttons to on_<name>_clicked slots by design.
# ctor-missing-parent-argument: test objects are made by QTEST_MAIN, without a parent.
# qstring-allocations: QStringLiteral and QLatin1String are already used where it matters.
# shellcheck disable=SC2034
clazy_checks=level0,level1,level2,no-connect-by-name,no-ctor-missing-parent-argument,no-qstring-allocations

# Runs a clang-tidy command and shows only its findings; fails on any.
tidy_clean() {
    local log
    log=$(mktemp)
    if ! "$@" >"$log" 2>&1 || grep -qE '(error|warning):' "$log"; then
        grep -E '(error|warning):' -A3 "$log" | grep -v 'warnings generated' || cat "$log"
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Prints FOLDER and ends the script if a run before made it whole (FOLDER/.complete); else
# returns holding the cache's lock NAME, so that a second run waits for this one rather than
# deleting its work.
take_cached() {
    local name=$1 folder=$2 lock
    mkdir -p "$cache"
    exec {lock}>"$cache/.lock-$name"
    flock "$lock"
    if [ -f "$folder/.complete" ]; then
        echo "$folder"
        exit 0
    fi
}

build_preset() {
    (cd "$top" && cmake --preset "$1" >/dev/null && cmake --build --preset "$1")
}

# Starts Xvfb on a free display number and exports DISPLAY; stop_display ends it.
start_display() {
    local displayfile
    displayfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$displayfile" ] && break
        sleep 0.1
    done
    [ -s "$displayfile" ] || { echo "Xvfb did not start" >&2; rm -f "$displayfile"; return 1; }
    DISPLAY=":$(head -n 1 "$displayfile")"
    export DISPLAY
    rm -f "$displayfile"
}

stop_display() {
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}
