#!/usr/bin/env bash
# The launcher as people start it, on the display in DISPLAY, with
# pictures of every kind and name, and ended by signals, in smoke.sh's
# scratch folder.
# Usage: launcher.sh LAUNCHER VERSION
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
mkdir "$folder/bin"
ln -s "$1" "$folder/bin/orvalis"
PATH=$folder/bin:$PATH
# Its folders go where ImageMagick would read a name as instructions.
export TMPDIR=$folder/tmp%d
mkdir "$TMPDIR"
cd "$folder"
# orvalis ARGS must start no demo: status 2 and the one line $1 on
# stderr.
refuses() {
    timeout 10 orvalis "${@:2}" 2>"$folder/err" && status=0 || status=$?
    [ "$status $(<"$folder/err")" = "2 $1" ] ||
        fail "orvalis ${*:2}: status $status, $(<"$folder/err")"
}
# Where each colour shows in the window's top left corner.
convert -size 64x64 xc:blue -type truecolor bmp3:blue.bmp
convert -size 64x64 xc:red red.png

# A 24-bit bitmap is shown as it is, that very file.
start orvalis blue.bmp
[ "$TMPDIR"/orvalis.*/img/logo.bmp -ef blue.bmp ] || fail "blue.bmp not linked"
quit ""

# A PNG, see-through red over blue, upright in its colours on white.
convert -size 48x16 xc:'#ff000080' xc:blue -append half.png
start orvalis half.png
soon "half.png: not upright in its colours on white" corner ff7f7f
quit ""

# A name is only a name: not a pattern (red.png would be its %d), nor
# a frame, and a newline at its end is part of it.
convert blue.bmp blue.png
cp blue.png 'blue%d[1].png'
cp red.png blue0.png
start orvalis 'blue%d[1].png'
soon "blue%d[1].png: not blue" corner 0000ff
quit ""
cp blue.bmp $'red.png\n'
start orvalis $'red.png\n'
soon "red.png\\n: not blue" corner 0000ff
quit ""

# A GIF's first frame on its canvas, what is outside it white; red
# only in the frame, 16 pixels in.
convert -size 32x32 xc:red -page 64x64+16+16 -background none frame.gif
start orvalis frame.gif
soon "frame.gif: not on its canvas" corner ffffff
quit ""

# A photo tagged AdobeRGB, in sRGB as a browser shows it: 200, 100,
# 50 there is 227, 100, 42 in sRGB.
convert -size 64x64 xc:'rgb(200,100,50)' -quality 100 \
    -profile /usr/share/color/icc/compatibleWithAdobeRGB1998.icc adobe.jpg
start orvalis adobe.jpg
soon "adobe.jpg: not in sRGB" corner e3642a
quit ""

# Larger than ImageMagick takes: shown where it can shrink the picture
# as it reads (a JPEG), else refused with its limits.
convert -size 2400x2400 xc:blue large.png
convert large.png large.jpg
export MAGICK_WIDTH_LIMIT=1000
start orvalis large.jpg
soon "large.jpg: not shown" sky
quit ""
# Its limits as ImageMagick names them, which differs between its releases
# (a width of 1KP or 1000P).
timeout 10 orvalis large.png 2>"$folder/err" && status=0 || status=$?
tooLarge="2 orvalis: 'large.png' is too large for ImageMagick here"
tooLarge+=" (its limits: width 1*, height *, area *, disk *)"
# shellcheck disable=SC2053 # a pattern
[[ "$status $(<"$folder/err")" == $tooLarge ]] ||
    fail "orvalis large.png: status $status, $(<"$folder/err")"
unset MAGICK_WIDTH_LIMIT

# A bad option, a missing picture, and a file that is no picture.
refuses "orvalis: unknown option '--frobnicate' (orvalis --help lists them)" --frobnicate
refuses "orvalis: no picture at 'no-such.png'" no-such.png
echo blue >notes.txt
refuses "orvalis: 'notes.txt' is no picture ImageMagick can read" notes.txt

# A picture its user may not read, say why. Root reads any file, so
# the launcher runs as nobody then, from a copy nobody may read too.
cp red.png secret.png
chmod 000 secret.png
chmod 755 "$folder"
if [ "$(id -u)" = 0 ]; then
    mkdir "$folder/nobody"
    cp "$1" "$folder/nobody/launcher"
    printf '#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups "%s" "$@"\n' \
        "$folder/nobody/launcher" >"$folder/nobody/orvalis"
    chmod 755 "$folder/nobody/orvalis" "$folder/nobody/launcher"
fi
PATH=$folder/nobody:$PATH refuses "orvalis: cannot read 'secret.png': Permission denied" secret.png

# Each signal a terminal sends ends the demo and the launcher with the
# status a shell gives for it. Sent to the launcher's process group, as
# a terminal does, with Ctrl-C and Ctrl-\ not ignored, as in a terminal.
for signal in HUP INT QUIT TERM; do
    start setsid env --default-signal=INT,QUIT orvalis half.png
    kill -s $signal -- -"$pid"
    wait "$pid" && status=0 || status=$?
    pid=
    [ $status = $((128 + $(kill -l $signal))) ] || fail "$signal: status $status"
    soon "$signal left the demo running" not xdotool getwindowname "$id"
done

# No way out leaves a folder behind.
! compgen -G "$TMPDIR/orvalis.*" || fail "orvalis left a folder behind"

help=$(orvalis --help) || fail "orvalis --help: status $?"
[[ $help == Usage:*Escape* ]] || fail "orvalis --help: no usage and keys"
[ "$(orvalis --version)" = "orvalis $2" ] || fail "orvalis --version: not $2"
