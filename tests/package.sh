#!/usr/bin/env bash
# Usage: package.sh DEB, as root, DEB an absolute path, on the display in
# DISPLAY: installs the package, uses orvalis as a person would in an unrelated
# folder (smoke.sh's scratch folder), then purges it and looks for leftovers.
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
apt-get -o DPkg::Lock::Timeout=600 install --reinstall -y -qq "$1" >/dev/null
export TMPDIR=$folder # orvalis makes its folders here
# orvalis ARGS must start no demo: status 2 and one line on stderr.
refuses() {
    timeout 10 orvalis "$@" 2>"$folder/err" && status=0 || status=$?
    [ "$status $(wc -l <"$folder/err")" = "2 1" ] ||
        fail "orvalis $*: status $status, $(<"$folder/err")"
}

# The shipped picture, from a folder that is not the picture's.
start orvalis
soon "orvalis: not its own picture, no sky top left" sky
quit ""

# A 24-bit bitmap is shown as it is, that very file. kill ends the demo, and
# orvalis with status 143.
start orvalis /usr/share/orvalis/img/logo.bmp
[ "$folder"/orvalis.*/img/logo.bmp -ef /usr/share/orvalis/img/logo.bmp ] || fail "not as it is"
kill "$pid"
soon "kill left the demo running" not xdotool getwindowname "$id"
wait "$pid" && status=0 || status=$?
pid=
[ $status = 143 ] || fail "kill: status $status"

# Other pictures become 24-bit bitmaps: a PNG, see-through red over blue,
# shows upright in its colours on white.
convert -size 48x16 xc:'#ff000080' xc:blue -append "$folder/half.png"
start orvalis half.png
soon "half.png: not upright in its colours on white" corner ff7f7f
quit ""

# A bad option, a missing picture and a file that is no picture.
refuses --frobnicate
refuses "$folder/no-such.png"
refuses /usr/share/doc/orvalis/copyright

# Escape, kill and a refusal leave no folder behind.
! compgen -G "$folder/orvalis.*" || fail "orvalis left a folder behind"

help=$(orvalis --help) || fail "orvalis --help: status $?"
[[ $help == Usage:*Escape* ]] || fail "orvalis --help: no usage and keys"
version=$(dpkg-query -W -f='${Version}' orvalis)
[ "$(orvalis --version)" = "orvalis $version" ] || fail "orvalis --version: not $version"

# The purge leaves none of the package's files and folders.
files=$(dpkg -L orvalis)
apt-get -o DPkg::Lock::Timeout=600 remove --purge -y -qq orvalis >/dev/null
for f in $files; do
    [[ ! -e $f || (-d $f && $f != *orvalis*) ]] || fail "the purge left $f"
done
