#!/usr/bin/env bash
# Runs the release's staging step (windows/release/run/0-stage.cmake) on a repository of one
# commit, a row for each promise: the line README.txt must hold, or why the step refuses.
# A failing row is named and the others still run.
#   release-stage-test.sh SOURCE-DIR
set -euo pipefail
source=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SOURCE_DATE_EPOCH "${!ORDERING_SIGN_@}"

mkdir -p "$work/repo/windows"
cp "$source/windows/README.txt.in" "$work/repo/windows/"
git -C "$work/repo" init -q
git -C "$work/repo" add .
# 2023-11-14 22:13:20 UTC
GIT_COMMITTER_DATE="@1700000000 +0000" git -C "$work/repo" -c user.name=Till \
    -c user.email=till@example.com commit -qm "The README" --date=@1700000000
commit=$(git -C "$work/repo" rev-parse HEAD)

# Refused, saying TEXT; else README.txt holds the line, and every line ends in CR LF.
holds() {
    local readme=$work/out/README.txt lines
    if [[ $1 == refused:* ]]; then
        [ "$status" -ne 0 ] && grep -qF "${1#refused: }" <<<"$said"
        return
    fi
    [ "$status" -eq 0 ] || return 1
    lines=$(tr -d '\r' <"$readme")
    grep -qxF "$1" <<<"$lines" && [ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ]
}

failed=0
while IFS='|' read -r name setup options expected; do
    rm -rf "$work/copy" "$work/out"
    cp -a "$work/repo" "$work/copy"
    mkdir "$work/out"
    status=0
    # What the configuration writes for the step, then the row's own settings.
    IFS=';' read -ra settings <<<"WINDOWS_SOURCE_DIR=$work/copy;WINDOWS_BINARY_DIR=$work/out;\
WINDOWS_SCRIPTS=$source/windows/scripts;WINDOWS_PRODUCT=Ordering System;\
WINDOWS_FOLDER=ordering-system-windows-x64;ORDERING_VERSION=1.0.0;WINDOWS_QT_VERSION=6.8.2;\
ORDERING_PUBLISHER=the Ordering System developers;$options"
    for setting in "${settings[@]}"; do
        printf 'set(%s [==[%s]==])\n' "${setting%%=*}" "${setting#*=}"
    done >"$work/values.cmake"
    said=$(cd "$work/copy" && eval "$setup" &&
        cmake -DVALUES="$work/values.cmake" -P "$source/windows/release/run/0-stage.cmake" 2>&1) ||
        status=$?
    said=$(tr -s ' \n' ' ' <<<"$said")
    if holds "$expected"; then
        echo "ok: $name"
    else
        echo "FAILED: $name (exit $status): $said"
        failed=$((failed + 1))
    fi
done <<EOF
names the commit|:||Built from commit $commit
changes not committed make it no release of that commit|touch notes.txt||Built from commit $commit-dirty
the written offer runs from the commit's day|:||your copy came without it: for three years from 2023-11-14,
a development build says it is one|:||This is a development build, not for passing on: it names no publisher.
a release's publisher with an address makes the offer|:|ORDERING_RELEASE=ON;ORDERING_PUBLISHER=Shop Ltd, it@shop.example|Shop Ltd, it@shop.example will give it on request to anyone who has this
the source's address stands in for the offer|:|ORDERING_QT_SOURCE_URL=https://shop.example/qt.tar|https://shop.example/qt.tar
a release without a publisher is refused|:|ORDERING_RELEASE=ON|refused: must say who gives the Qt source
a signed build is a release|export ORDERING_SIGN_PKCS12=publisher.p12||refused: must say who gives the Qt source
a publisher without an address is refused|:|ORDERING_RELEASE=ON;ORDERING_PUBLISHER=Shop Ltd|refused: gives no address
without git, SOURCE_DATE_EPOCH gives the time|rm -rf .git; export SOURCE_DATE_EPOCH=1600000000||your copy came without it: for three years from 2020-09-13,
without git or SOURCE_DATE_EPOCH nothing is stamped|rm -rf .git||refused: Neither git nor SOURCE_DATE_EPOCH
EOF
[ "$failed" -eq 0 ] || { echo "$failed rows failed"; exit 1; }
