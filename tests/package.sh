#!/usr/bin/env bash
# Usage: package.sh DEB, as root, DEB an absolute path, on the
# display in DISPLAY: installs the package, uses orvalis as a
# person would in an unrelated folder (smoke.sh's scratch
# folder), then purges it and looks for leftovers. What the
# orvalis command does with pictures and signals is opener.sh's,
# on the build tree: this checks what only the package shows.
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
apt() { apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@" >/dev/null; }
apt install --reinstall "$1"
export TMPDIR=$folder # orvalis makes its folders here

# The shipped picture, from a folder that is not the picture's.
start orvalis
soon "orvalis: not its own picture, no sky top left" sky
quit ""

# A PNG, through the library the package depends on: see-through red
# over blue, upright in its colours on white.
convert -size 48x16 xc:'#ff000080' xc:blue -append "$folder/half.png"
start orvalis half.png
soon "half.png: not upright in its colours on white" corner ff7f7f
quit ""
# A GIF, a Targa picture and a JPEG, each red over blue, upright: red
# top left, within what JPEG keeps of it.
red() {
    local p=$(shot 1x1)
    ((16#${p:0:2} > 192 && 16#${p:2:2} < 64 && 16#${p:4:2} < 64))
}
for picture in half.gif half.tga half.jpg; do
    convert -size 48x16 xc:red xc:blue -append "$folder/$picture"
    start orvalis "$picture"
    soon "$picture: not upright" red
    quit ""
done
! compgen -G "$folder/orvalis.*" || fail "orvalis left a folder behind"

version=$(dpkg-query -W -f='${Version}' orvalis)
[ "$(orvalis --version)" = "orvalis $version" ] ||
    fail "orvalis --version: not $version"

# The purge leaves none of the package's files and folders.
files=$(dpkg -L orvalis)
apt remove --purge orvalis
for f in $files; do
    [[ ! -e $f || (-d $f && $f != *orvalis*) ]] || fail "the purge left $f"
done
