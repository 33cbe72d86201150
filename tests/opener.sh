#!/usr/bin/env bash
# The orvalis command as people start it, on the display in DISPLAY: with
# pictures of every kind and name, from files, pipes and standard input,
# refused ones, and ended by signals, in smoke.sh's scratch folder.
# Usage: opener.sh ORVALIS VERSION
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
mkdir "$folder/bin"
ln -s "$1" "$folder/bin/orvalis"
PATH=$folder/bin:$PATH
# Its folders go where a decoder would read a name as instructions.
export TMPDIR=$folder/tmp%d
mkdir "$TMPDIR"
cd "$folder"
# orvalis ARGS must show no demo: status 2 and the one line $1 on
# stderr.
refuses() {
    timeout 10 orvalis "${@:2}" 2>"$folder/err" && status=0 || status=$?
    [ "$status $(<"$folder/err")" = "2 $1" ] ||
        fail "orvalis ${*:2}: status $status, $(<"$folder/err")"
}
# Shows that orvalis ARGS puts the colour $2 in the window's top left corner,
# for the reason $1, then quits.
shows() {
    start orvalis "${@:3}"
    soon "${*:3}: $1" corner "$2"
    quit ""
}
leftNothing() { ! compgen -G "$TMPDIR/orvalis.*"; }
convert -size 64x64 xc:blue -type truecolor bmp3:blue.bmp
convert -size 64x64 xc:red red.png

# A 24-bit bitmap is shown as it is, and its folder goes once the demo
# has read it.
start orvalis blue.bmp
soon "blue.bmp: not blue" corner 0000ff
soon "the folder stayed while the demo ran" leftNothing
quit ""

# A PNG, see-through red over blue, upright in its colours on white.
convert -size 48x16 xc:'#ff000080' xc:blue -append half.png
shows "not upright in its colours on white" ff7f7f half.png

# A name is only a name: not a pattern (red.png would be its %d), nor
# a frame, and a newline at its end is part of it.
convert blue.bmp blue.png
cp blue.png 'blue%d[1].png'
cp red.png blue0.png
shows "not blue" 0000ff 'blue%d[1].png'
cp blue.bmp $'red.png\n'
shows "not blue" 0000ff $'red.png\n'

# Whatever the name opens: standard input, a pipe, a FIFO.
start sh -c 'exec orvalis /dev/stdin <red.png'
soon "/dev/stdin: not red" corner ff0000
quit ""
shows "not blue" 0000ff <(cat blue.png)
# A bitmap larger than a pipe holds at once (64 KiB), read to its end:
# its top rows come last.
convert -size 256x256 xc:red -type truecolor bmp3:red.bmp
mkfifo fifo
cat red.bmp >fifo &
shows "not red" ff0000 fifo

# Kinds told by their bytes, and a Targa by its name.
convert -size 64x32 xc:red xc:blue -append half.tga
convert -size 32x32 xc:blue blue.ico
shows "not upright, red over blue" ff0000 half.tga
shows "not blue" 0000ff blue.ico

# A GIF's first frame on its canvas, what is outside it white; red
# only in the frame, 16 pixels in. A canvas of 0 x 0 is the frame's.
convert -size 32x32 xc:red -page 64x64+16+16 -background none frame.gif
shows "not on its canvas" ffffff frame.gif
convert -size 64x64 xc:blue zero.gif
printf '\0\0\0\0' | dd of=zero.gif bs=1 seek=6 conv=notrunc status=none
shows "not its frame" 0000ff zero.gif

# A photo as a phone held upright stores it: turned a quarter left, with
# EXIF orientation 6 to turn it back, in an APP1 block after the start
# of the file: "Exif", then a little-endian TIFF directory of one entry,
# tag 274 (0x112), a short, 6. Upright, its top left quadrant is the
# only yellow one.
convert -size 256x256 xc:yellow xc:red +append \( -size 256x256 xc:blue xc:lime +append \) \
    -append -rotate -90 -quality 100 stored.jpg
{
    head -c 2 stored.jpg
    printf '\xff\xe1\x00\x22Exif\x00\x00II*\x00\x08\x00\x00\x00'
    printf '\x01\x00\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00'
    tail -c +3 stored.jpg
} >turned.jpg
yellow() {
    local p=$(shot 1x1)
    ((16#${p:0:2} > 192 && 16#${p:2:2} > 192 && 16#${p:4:2} < 96))
}
# Only the first frames tell: the drift mixes the quadrants' colours, the
# later the larger they are.
start orvalis turned.jpg
soon "turned.jpg: not shown" not corner 000000
yellow || fail "turned.jpg: not turned upright, $(shot 1x1) top left"
quit ""

# A photo tagged AdobeRGB, in sRGB as a browser shows it: 200, 100,
# 50 there is 227, 100, 42 in sRGB.
convert -size 64x64 xc:'rgb(200,100,50)' -quality 100 \
    -profile /usr/share/color/icc/compatibleWithAdobeRGB1998.icc adobe.jpg
shows "not in sRGB" e3642a adobe.jpg

# Larger than ImageMagick takes: shown where it shrinks the picture as
# it reads (a JPEG), else refused with its limits.
convert -size 2400x2400 xc:blue large.png
convert large.png large.jpg
export MAGICK_WIDTH_LIMIT=1000
start orvalis large.jpg
soon "large.jpg: not shown" sky
quit ""
timeout 10 orvalis large.png 2>"$folder/err" && status=0 || status=$?
tooLarge="2 orvalis: 'large.png' is too large for ImageMagick here"
tooLarge+=" (its limits: width 1000, height *, area *, disk *)"
# shellcheck disable=SC2053 # a pattern
[[ "$status $(<"$folder/err")" == $tooLarge ]] ||
    fail "orvalis large.png: status $status, $(<"$folder/err")"
unset MAGICK_WIDTH_LIMIT

# Refused, each in one line with the name as given.
refuses "orvalis: unknown option '--frobnicate' (orvalis --help lists them)" --frobnicate
refuses "orvalis: no picture at 'no-such.png'" no-such.png
refuses "orvalis: no picture at 'C:\\new\\tmp.png\\n'" $'C:\\new\\tmp.png\n'
echo blue >notes.txt
kinds="PNG, JPEG, GIF, WebP, TIFF, BMP, ICO or TGA"
refuses "orvalis: 'notes.txt' is no picture orvalis reads ($kinds)" notes.txt
mkdir pics
refuses "orvalis: 'pics/' is a folder: give a picture in it" pics/
DISPLAY= refuses "orvalis: no display to draw on: orvalis opens an X11 window (XWayland's under \
Wayland), and DISPLAY is not set" red.png

# A picture its user may not read, say why. Root reads any file, so
# orvalis runs as nobody then, from a copy nobody may read too, with
# the demo where it looks.
cp red.png secret.png
chmod 000 secret.png
chmod 755 "$folder"
if [ "$(id -u)" = 0 ]; then
    mkdir "$folder/nobody"
    cp "$1" "$folder/nobody/opener"
    cp "$(dirname "$1")/../orvalis" "$folder/orvalis"
    printf '#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups "%s" "$@"\n' \
        "$folder/nobody/opener" >"$folder/nobody/orvalis"
    chmod 755 "$folder/nobody/orvalis" "$folder/nobody/opener"
fi
PATH=$folder/nobody:$PATH refuses "orvalis: cannot read 'secret.png': Permission denied" secret.png

# Started from a file manager, a refusal shows in a window of its own
# too, until a person closes it.
orvalis --in-window notes.txt 2>/dev/null &
pid=$!
message=$(timeout 10 xdotool search --sync --name '^orvalis$') || fail "no window said why"
xdotool mousemove --window "$message" 10 10 click 1
wait "$pid" && status=0 || status=$?
pid=
[ $status = 2 ] || fail "--in-window: status $status"

# A folder in a relative TMPDIR, or in a missing one, goes too.
mkdir relative
TMPDIR=relative shows "not red" ff0000 red.png
TMPDIR=/nonexistent shows "not red" ff0000 red.png
! compgen -G "relative/*" || fail "orvalis left a folder in a relative TMPDIR"

# Each signal a terminal sends ends the demo and orvalis with the status
# a shell gives for it, with nothing said. Sent to orvalis's process
# group, as a terminal does, with Ctrl-C and Ctrl-\ not ignored, as in
# a terminal; and the others to orvalis alone.
for signal in HUP INT QUIT TERM USR1 ALRM PIPE KILL; do
    group=-
    [[ $signal == @(HUP|INT|QUIT|TERM) ]] || group=
    start setsid env --default-signal=INT,QUIT orvalis half.png 2>"$folder/err"
    kill -s $signal -- "$group$pid"
    wait "$pid" && status=0 || status=$?
    pid=
    [ $status = $((128 + $(kill -l $signal))) ] || fail "$signal: status $status"
    [ ! -s "$folder/err" ] || fail "$signal: said $(<"$folder/err")"
    soon "$signal left the demo running" not xdotool getwindowname "$id"
done

# Early signals, at random moments while it starts: each ends it within
# 3 s, with nothing left (Ctrl-C and Ctrl-\ not ignored, as in a
# terminal). A picture that takes a while to decode makes a folder that
# a killed orvalis leaves for the next one to clear.
convert -size 3000x3000 plasma:fractal slow.png
folders() { compgen -G "$TMPDIR/orvalis.*" || :; }
for attempt in {1..30}; do
    signal=$(shuf -n1 -e HUP INT TERM USR1 ALRM KILL)
    before=$(folders)
    setsid env --default-signal=INT,QUIT orvalis slow.png 2>/dev/null &
    pid=$!
    sleep "0.$(shuf -i 0-9 -n1)"
    kill -s "$signal" "$pid"
    timeout 3 tail --pid="$pid" -f /dev/null || fail "try $attempt: $signal did not end it in 3 s"
    soon "try $attempt: $signal left a demo running" not pgrep -f "$(dirname "$1")/../orvalis$"
    # Of its own: one ended so early that it cleared no killed one's.
    [ "$signal" = KILL ] || [ -z "$(comm -13 <(echo "$before") <(folders))" ] ||
        fail "try $attempt: $signal left a folder"
done
pid=
shows "not red" ff0000 red.png
leftNothing || fail "a killed orvalis's folder stayed"

help=$(orvalis --help) || fail "orvalis --help: status $?"
[[ $help == Usage:*Escape* ]] || fail "orvalis --help: no usage and keys"
[ "$(orvalis --version)" = "orvalis $2" ] || fail "orvalis --version: not $2"
