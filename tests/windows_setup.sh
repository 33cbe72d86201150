#!/usr/bin/env bash
# The setup program in a fresh Wine prefix, on the display in DISPLAY:
# installed with /S, used as a person would (the demo from its
# shortcut's folder, pictures opened with the opener), and removed
# again with /S, leaving nothing.
# Usage: windows_setup.sh SETUP VERSION QUADRANTS-PNG
set -euo pipefail
source "$(dirname "$0")/smoke.sh" "" # for its helpers only
export WINEPREFIX=$folder/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
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
yellow() { [[ $(shot 1x1) =~ ^f[ef]f[ef](b[a-f]|c[0-5])$ ]]; }
for picture in quadrants.png quadrants.jpg; do
    start wine "$installed/orvalis-open.exe" "$picture"
    soon "$picture: not upright in its colours" yellow
    quit ""
done

# A file that is no picture: one message, status 2, no demo.
echo "no picture" >"$folder/notes.txt"
(cd "$folder" && wine "$installed/orvalis-open.exe" notes.txt) &
pid=$!
box=$(timeout 30 xdotool search --sync --name '^orvalis$') || fail "notes.txt: no message"
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) key Return
wait "$pid" && status=0 || status=$?
pid=
[ $status = 2 ] || fail "notes.txt: status $status"

# The uninstaller runs on from a copy of itself once started.
wine "$installed/uninstall.exe" /S
not_installed() { [ ! -e "$installed" ]; }
soon "the uninstaller left the folder" not_installed
diff "$folder/before" <(made) || fail "the uninstaller left the above"
