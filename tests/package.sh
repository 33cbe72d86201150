#!/usr/bin/env bash
# Usage: package.sh DEB, as root with DEB an absolute path, on the display in DISPLAY: installs the package, uses
# orvalis as a person would from an unrelated folder (smoke.sh's scratch folder), then purges it and looks for leftovers.
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" orvalis
apt-get -o DPkg::Lock::Timeout=600 install --reinstall -y -qq "$1" >/dev/null
start
soon sky "orvalis does not show its own picture, with the sky top left"
quit ""
convert -size 64x64 xc:'#ff0000' -type truecolor BMP3:"$folder/red.bmp"
demo=(orvalis red.bmp)
start
soon '[ "$(shot 1x1)" = ff0000 ]' "orvalis red.bmp does not show red.bmp"
quit ""
help=$(orvalis --help) && [[ $help == Usage:*Escape* ]] || fail "orvalis --help: no usage and keys, or not status 0"
[ "$(
    orvalis --frobnicate 2>&1 >/dev/null | wc -l
    echo "${PIPESTATUS[0]}"
)" = $'1\n2' ] || fail "a bad option: not one line on stderr and status 2"
[ "$(orvalis --version)" = "orvalis $(dpkg-query -W -f='${Version}' orvalis)" ] || fail "orvalis --version is not the package's"
files=$(dpkg -L orvalis) && apt-get -o DPkg::Lock::Timeout=600 remove --purge -y -qq orvalis >/dev/null
for f in $files; do [[ ! -e $f || (-d $f && $f != *orvalis*) ]] || fail "the purge left $f"; done
