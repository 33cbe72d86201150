#!/usr/bin/env bash
# Makes the Debian package of the built tree BUILD with CPack,
# for the architecture it was built for, and checks it:
# desktop-file-validate its menu entry, appstreamcli its
# AppStream metadata, and lintian the package, with no errors
# and no warnings.
# Usage: deb.sh BUILD
set -euo pipefail
cd "$1"
made='s/^CPack: - package: \(.*\) generated\.$/\1/p'
deb=$(cpack | sed -n "$made")
depends=$(dpkg-deb --field "$deb" Depends)
echo "$deb: $(du -k "$deb" | cut -f1) KiB, Depends: $depends"

rm -rf contents
dpkg-deb --extract "$deb" contents
desktop-file-validate contents/usr/share/applications/orvalis.desktop
appstreamcli validate --no-net contents/usr/share/metainfo/*.metainfo.xml
# The program without the compilers' names, which Debian's own
# packages strip and lintian notes (binary-has-unneeded-section).
! readelf -S contents/usr/libexec/orvalis/orvalis | grep -qF .comment ||
    { echo "deb.sh: the program keeps its .comment section" >&2 && exit 1; }
# lintian's note that it runs as root is no finding.
lintian --fail-on error,warning "$deb" 2>&1 |
    { grep -v 'running with root privileges' || true; }
