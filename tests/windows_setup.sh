#!/usr/bin/env bash
# The setup program in a fresh Wine prefix, on the display in DISPLAY:
# installed with /S, used as a person would (the demo from its
# shortcut's folder, pictures opened with the opener), and removed
# again with /S, leaving nothing.
# Usage: windows_setup.sh SETUP VERSION QUADRANTS-PNG
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
export WINEPREFIX=$folder/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Whatever fails, no program of the prefix runs on (a demo that outlived
# its opener would hold the test's output open until its time limit).
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; wineserver -k 2>/dev/null; rm -rf "$folder"' EXIT
wineboot -i 2>/dev/null
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files/orvalis
menu=$drive/ProgramData/Microsoft/Windows/Start\ Menu/Programs
# What the setup may touch: the files of both folders, and the
# registry's programs and kinds of file.
made() {
    find "$drive/Program Files" "$drive/ProgramData" | sort
    for key in Classes 'Microsoft\Windows\CurrentVersion\Uninstall'; do
        wine regedit /E "$folder/key.reg" "HKEY_LOCAL_MACHINE\\Software\\$key"
        iconv -f UTF-16 -t UTF-8 "$folder/key.reg"
    done
}
made >"$folder/before"

wine "$1" /S
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\orvalis'
[ -f "$menu/orvalis.lnk" ] || fail "no Start-menu shortcut"
wine reg query "$entry" /v DisplayVersion | grep -q "REG_SZ *$2" || fail "no entry of $2"
wine reg query "$entry" /v QuietUninstallString | grep -q 'uninstall.exe" /S' ||
    fail "no quiet uninstall"

# The demo as its shortcut starts it, in its own folder.
start env -C "$installed" wine orvalis.exe
soon "the installed demo shows no sky" sky
quit ""

# Pictures opened with the opener: upright, unmirrored, in their
# colours; the top left quadrant is the only yellow one.
cp "$3" "$folder/quadrants.png"
convert "$3" -quality 100 "$folder/quadrants.jpg"
# A photo as a phone held upright stores it: turned a quarter left, with
# EXIF orientation 6 to turn it back, in an APP1 block after the start
# of the file: "Exif", then a little-endian TIFF directory of one entry,
# tag 274 (0x112), a short, 6.
convert "$3" -rotate -90 -quality 100 "$folder/turned.jpg"
{
    head -c 2 "$folder/turned.jpg"
    printf '\xff\xe1\x00\x22Exif\x00\x00II*\x00\x08\x00\x00\x00'
    printf '\x01\x00\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00'
    tail -c +3 "$folder/turned.jpg"
} >"$folder/upright.jpg"
yellow() { [[ $(shot 1x1) =~ ^f[ef]f[ef](b[a-f]|c[0-5])$ ]]; }
for picture in quadrants.png quadrants.jpg upright.jpg; do
    start wine "$installed/orvalis-open.exe" "$picture"
    soon "$picture: not upright in its colours" yellow
    quit ""
done

# A GIF whose canvas says 0 x 0, as some writers put it: its frame.
convert -size 64x64 xc:red "$folder/zero.gif"
printf '\0\0\0\0' | dd of="$folder/zero.gif" bs=1 seek=6 conv=notrunc status=none
start wine "$installed/orvalis-open.exe" zero.gif
soon "zero.gif: not its frame" corner ff0000
quit ""

# The opener killed, as Task Manager does: the demo ends with it.
start wine "$installed/orvalis-open.exe" quadrants.png
soon "quadrants.png: not shown" yellow
kill -KILL "$pid"
wait "$pid" || :
pid=
soon "the demo outlived its opener" not xdotool getwindowname "$id"
# Its folder stays, until the next opener clears it.
left() { find "$drive/users" -maxdepth 5 -name 'orvalis.*' | grep .; }
left >/dev/null || fail "the killed opener left no folder to clear"
start wine "$installed/orvalis-open.exe" zero.gif
soon "zero.gif: not shown after a killed opener" corner ff0000
quit ""
! left || fail "the killed opener's folder stayed: $(left)"

# A %TEMP% longer than MAX_PATH (260): three folders of 95 letters.
part=$(printf 't%.0s' {1..95})
mkdir -p "$drive/$part/$part/$part"
long="C:\\$part\\$part\\$part"
start env TEMP="$long" TMP="$long" wine "$installed/orvalis-open.exe" zero.gif
soon "zero.gif: not shown with a %TEMP% of ${#long} characters" corner ff0000
quit ""

# What the opener cannot show: one message box, status 2, no demo, and
# the same sentence on standard error.
refused() {
    (cd "$folder" && exec wine "$installed/orvalis-open.exe" "${@:2}" 2>"$folder/said") &
    pid=$!
    box=$(timeout 30 xdotool search --sync --name '^orvalis$') || fail "$2: no message"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) key Return
    wait "$pid" && status=0 || status=$?
    pid=
    [ $status = 2 ] || fail "$2: status $status"
    grep -qF "$1" "$folder/said" || fail "$2: said $(<"$folder/said")"
}
echo "no picture" >"$folder/notes.txt"
refused "“notes.txt” is no picture Windows can read." notes.txt
mkdir "$folder/pics"
refused "“pics” is a folder" pics
refused "“pics” is a folder" 'pics\'

# The uninstaller runs on from a copy of itself once started.
wine "$installed/uninstall.exe" /S
not_installed() { [ ! -e "$installed" ]; }
soon "the uninstaller left the folder" not_installed
diff "$folder/before" <(made) || fail "the uninstaller left the above"

# Installed where a person chose, then set up again with /S alone: the
# second setup replaces the first where it is.
games=$drive/Games/orvalis
wine "$1" /S '/D=C:\Games\orvalis'
wine "$1" /S
[ -f "$games/orvalis.exe" ] && not_installed || fail "the second setup went elsewhere"

# While orvalis runs from there, neither the setup nor the uninstaller
# (run in place, so that its status is its own) changes a file: both
# give up with status 2.
start env -C "$games" wine orvalis.exe
soon "the installed demo shows no sky" sky
checksums() { find "$games" -type f -exec md5sum {} + | sort; }
checksums >"$folder/sums"
wine "$1" /S && status=0 || status=$?
[ $status = 2 ] || fail "setup while orvalis runs: status $status"
wine "$games/uninstall.exe" /S '_?=C:\Games\orvalis' && status=0 || status=$?
[ $status = 2 ] || fail "uninstall while orvalis runs: status $status"
diff "$folder/sums" <(checksums) || fail "a setup changed the running orvalis's files"
quit ""
wine "$games/uninstall.exe" /S
gone() { [ ! -e "$games" ]; }
soon "the uninstaller left the chosen folder" gone
