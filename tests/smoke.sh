#!/usr/bin/env bash
# The real program as a person starts it, on the display in DISPLAY: from a
# folder whose img/logo.bmp is PICTURE (the shipped one, sky over grass), then
# with no picture, then with one too tall for any OpenGL.
# Usage: [SMOKE_ORIGIN=X,Y] smoke.sh PICTURE DEMO [ARGS...], where DEMO ARGS
# starts the demo (wine orvalis.exe, say) and X,Y is where the window's inside
# must be on the screen (0,0 where the window has no frame).
set -euo pipefail
picture=$1 folder=$(mktemp -d) pid=
shift
demo=("$@")
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$folder"' EXIT
fail() {
    echo "smoke: $*" >&2
    exit 1
}
shot() { # the window's top-left $1 as hex RGB; import fails now and then while Wine redraws, so again
    for _ in {1..20}; do
        import -window "$id" -crop "$1+0+0" -depth 8 rgb:- 2>/dev/null | od -An -tx1 | tr -d ' \n' && return
        sleep 0.05
    done
}
# The top-left corner shows the picture's sky, far bluer than red or green.
sky() {
    local p
    p=$(shot 1x1) && ((16#${p:4:2} > 16#${p:0:2} + 64 && 16#${p:4:2} > 16#${p:2:2} + 64))
}
soon() {
    for _ in $(seq 300); do
        eval "$1" && return
        sleep 0.1
    done
    fail "$2"
}
start() {
    (cd "$folder" && exec "${demo[@]}" >out) &
    pid=$!
    id=$(timeout 30 xdotool search --sync --name '^orvalis \[ press enter to start trippin \]$') ||
        fail "no window with the title"
    xdotool mousemove 320 240 # keys go to the window under the pointer: no window manager here
}
# Escape must end the demo with status 0, after it printed what matches $1
# (a Windows build ends its lines with \r\n).
quit() {
    xdotool key Escape
    wait "$pid" || fail "Escape ended the demo with status $?"
    pid=
    [[ "$(
        tr -d '\r' <"$folder/out"
        echo .
    )" == $1. ]] || fail "it printed '$(cat "$folder/out")'"
}
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0 # sourced by package.sh, for the helpers above

mkdir "$folder/img"
cp "$picture" "$folder/img/logo.bmp"
start
eval "$(xdotool getwindowgeometry --shell "$id")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "${SMOKE_ORIGIN:-0,0},640,480" ] || fail "window at $X,$Y, $WIDTH x $HEIGHT"
# Only the first frames tell: the drift carries the sky down over the grass.
soon '[ "$(shot 1x1)" != 000000 ]' "the still cube does not fill the window"
sky || fail "the picture is not upright: no sky top left"
still=$(shot 640x480 | md5sum)
soon '[ "$(shot 640x480 | md5sum)" != "$still" ]' "the still cube is not drawn again and again"
xdotool key Return
soon '[ "$(shot 1x1)" = 000000 ]' "Enter did not send the cube away"
quit ""
rm "$folder/img/logo.bmp"
start
soon '[ "$(shot 1x1)" = ffffff ]' "no white cube without a picture"
quit $'Error loading texture!\n'
# The header of a 1 x 65536 picture: too tall for Mesa under Xvfb (16384 at most).
printf 'BM%16s\1\0\0\0\0\0\1\0\0\0\30\0%24s' | tr ' ' '\0' >"$folder/img/logo.bmp"
start
soon '[ "$(shot 1x1)" = ffffff ]' "no white cube with a picture too tall"
quit $'Picture 1 x 65536 is too large for this OpenGL (at most 16384 on a side)\n'
