#!/usr/bin/env bash
# The real program as a person starts it, on the display in DISPLAY: from a
# folder whose img/logo.bmp is PICTURE (the shipped one, sky over grass), then
# with no picture, then with one too tall for any OpenGL.
# Usage: [SMOKE_FRAME=X,Y] smoke.sh PICTURE DEMO [ARGS...], where DEMO ARGS
# starts the demo (wine orvalis.exe, say) and X,Y is as far right and down as
# the window's inside may be on the screen, its frame's border and caption
# (0,0, exactly at the top left, where the window has no frame).
set -euo pipefail
picture=$1 folder=$(mktemp -d) pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$folder"' EXIT
title='^orvalis \[ press enter to start trippin \]$'
fail() { echo "smoke: $*" >&2 && exit 1; }
# The window's top-left $1 as hex RGB; import fails now and then while Wine
# redraws, so it tries again.
shot() {
    for _ in {1..20}; do
        import -window "$id" -crop "$1+0+0" -depth 8 rgb:- 2>/dev/null | od -An -tx1 |
            tr -d ' \n' && return
        sleep 0.05
    done
}
corner() { [ "$(shot 1x1)" = "$1" ]; }
not() { ! "$@"; }
# The top-left corner shows the picture's sky, far bluer than red or green.
sky() {
    local p=$(shot 1x1)
    ((16#${p:4:2} > 16#${p:0:2} + 64 && 16#${p:4:2} > 16#${p:2:2} + 64))
}
# The whole window differs from the one whose checksum is $1.
redrawn() { [ "$(shot 640x480 | md5sum)" != "$1" ]; }
# Fails with the message $1 unless the command after it succeeds, tried 300
# times a tenth of a second apart.
soon() {
    for _ in $(seq 300); do
        "${@:2}" &>/dev/null && return
        sleep 0.1
    done
    fail "$1"
}
# Starts the command given in the scratch folder and waits for its window.
start() {
    (cd "$folder" && exec "$@" >out) &
    pid=$!
    id=$(timeout 30 xdotool search --sync --name "$title") || fail "no window with the title"
    xdotool mousemove 320 240 # keys go to the window under the pointer: no window manager here
}
# Escape must end the demo with status 0, after it printed $1 (a Windows build
# ends its lines with \r\n).
quit() {
    xdotool key Escape
    wait "$pid" || fail "Escape ended the demo with status $?"
    pid=
    tr -d '\r' <"$folder/out" | diff - <(printf %s "$1") || fail "it printed that instead"
}
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0 # sourced by other tests, for the helpers above

# The picture upright in a 640 x 480 window, drawn again and again; Enter sends the cube away.
install -Dm644 "$picture" "$folder/img/logo.bmp"
start "${@:2}"
read -r x y size < <(xdotool getwindowgeometry "$id" |
    awk '/Position/ {sub(",", " ", $2); print $2} /Geometry/ {print $2}' | paste -sd ' ')
IFS=, read -r frameX frameY <<<"${SMOKE_FRAME:-0,0}"
((x <= frameX && y <= frameY)) && [ "$size" = 640x480 ] || fail "window at $x,$y $size"
# Only the first frames tell: the drift carries the sky down over the grass.
soon "the still cube does not fill the window" not corner 000000
sky || fail "the picture is not upright: no sky top left"
soon "the still cube is not drawn again and again" redrawn "$(shot 640x480 | md5sum)"
xdotool key Return
soon "Enter did not send the cube away" corner 000000
quit ""

# No picture: a white cube and one line.
rm "$folder/img/logo.bmp"
start "${@:2}"
soon "no white cube without a picture" corner ffffff
quit $'Error loading texture!\n'

# The header of a 1 x 65536 picture: too tall for Mesa under Xvfb (16384 at most).
printf 'BM%16s\1\0\0\0\0\0\1\0\0\0\30\0%24s' | tr ' ' '\0' >"$folder/img/logo.bmp"
start "${@:2}"
soon "no white cube with a picture too tall" corner ffffff
quit $'Picture 1 x 65536 is too large for this OpenGL (at most 16384 on a side)\n'
