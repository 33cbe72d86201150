#!/usr/bin/env bash
# The Windows build's orvalis.exe, and orvalis-open.exe, as Windows sees them.
# Usage: windows_exe.sh OBJDUMP NM EXE APP-LIBRARY VERSION OPENER
set -euo pipefail
objdump=$1 nm=$2 exe=$3 app=$4 version=$5 opener=$6
fail() { echo "windows_exe: $*" >&2 && exit 1; }

# The shell takes GLUT's Windows entry points that are
# handed the C library's exit, which freeglut's header puts
# in place of glutInit and glutCreateWindow.
symbols=$("$nm" "$app")
for entry in __glutInitWithExit __glutCreateWindowWithExit; do
    grep -q " U $entry\$" <<<"$symbols" ||
        fail "the shell does not call $entry"
done

# A windowed program.
headers=$("$objdump" -p "$exe")
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" ||
    fail "not a windowed program"

# It needs only the DLLs that come with Windows.
imports=$(sed -n 's/.*DLL Name: //p' <<<"$headers" |
    tr '[:upper:]' '[:lower:]' | sort | xargs)
own="advapi32.dll gdi32.dll glu32.dll kernel32.dll"
own+=" msvcrt.dll opengl32.dll shell32.dll user32.dll winmm.dll"
[ "$imports" = "$own" ] || fail "it needs $imports"

# It names itself for the task bar, as its shortcut does.
grep -q SetCurrentProcessExplicitAppUserModelID <<<"$headers" ||
    fail "it names no AppUserModelID for the task bar"

# Its icon, named as freeglut looks it up for its windows.
resources=$(wrestool -l "$exe")
grep -q -- "--type=14 --name='GLUT_ICON'" <<<"$resources" ||
    fail "no icon GLUT_ICON"

# Both programs: the version in their Properties, and a manifest that
# names Windows 10, per-monitor DPI awareness and the controls of
# version 6. The version's strings are UTF-16: without their zero
# bytes each name runs into its value.
for program in "$exe" "$opener"; do
    name=${program##*/}
    strings=$(wrestool -x --raw --type=16 "$program" | tr -d '\0')
    grep -aq "ProductVersion$version" <<<"$strings" ||
        fail "$name: no version information of $version"
    grep -aq "OriginalFilename$name" <<<"$strings" ||
        fail "$name: its version information names another program"
    manifest=$(wrestool -x --raw --type=24 --name=1 "$program")
    for setting in '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' PerMonitorV2 \
        Microsoft.Windows.Common-Controls; do
        grep -qF "$setting" <<<"$manifest" || fail "$name: no $setting in its manifest"
    done
done
