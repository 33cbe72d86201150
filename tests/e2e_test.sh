#!/usr/bin/env bash
# Starts the real program as a person would and checks what they would see:
# the window with its exact title, size and place, Escape ending it with
# status 0, and, with no picture, the one error line and a plain white cube.
# Usage: e2e_test.sh ORVALIS_BINARY LOGO_BMP (on a display; see with-xvfb).
set -euo pipefail

binary=$1
logo=$2
title='orvalis [ press enter to start trippin ]'
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts the demo in folder $1, its standard output going to $1/stdout, and
# waits for its window; sets pid and window.
startDemo() {
    (cd "$1" && exec "$binary" >stdout) &
    pid=$!
    for _ in $(seq 100); do
        window=$(xdotool search --name '^orvalis' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    fail "no window appeared"
}

# The colour at the middle of the window, as #RRGGBB.
centreColour() {
    import -window root -crop 1x1+320+240 -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'
}

# Waits up to five seconds for the colour at the middle to pass the test $1.
waitForCentre() {
    for _ in $(seq 50); do
        "$1" "$(centreColour)" && return 0
        sleep 0.1
    done
    return 1
}
isPicture() { [[ "$1" =~ ^#[0-9A-F]{6}$ && ! "$1" =~ ^#(000000|FFFFFF)$ ]]; }
isWhite() { [ "$1" = "#FFFFFF" ]; }

# Presses Escape over the window and expects the demo to end with status 0.
escapeEndsDemo() {
    xdotool mousemove 320 240 key Escape
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    status=0
    wait "$pid" || status=$?
    pid=
    [ "$status" -eq 0 ] || fail "Escape ended the demo with status $status"
}

mkdir -p "$work/picture/img" "$work/none"
cp "$logo" "$work/picture/img/logo.bmp"

startDemo "$work/picture"
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "title is '$(xdotool getwindowname "$window")'"
geometry=$(xdotool getwindowgeometry "$window")
grep -q 'Position: 0,0 ' <<<"$geometry" || fail "window not at 0,0: $geometry"
grep -q 'Geometry: 640x480' <<<"$geometry" || fail "window not 640 x 480: $geometry"
waitForCentre isPicture || fail "picture not shown, centre is $(centreColour)"
escapeEndsDemo
[ ! -s "$work/picture/stdout" ] || fail "printed '$(cat "$work/picture/stdout")' with a picture"

startDemo "$work/none"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "stopped without a picture"
waitForCentre isWhite || fail "without a picture the centre is $(centreColour), not white"
escapeEndsDemo
printf 'Error loading texture!\n' | cmp -s - "$work/none/stdout" ||
    fail "without a picture it printed '$(cat "$work/none/stdout")'"

echo "e2e: window, Escape and missing picture all as expected"
