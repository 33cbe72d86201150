# cmake -DIN=sw.js -DOUT=site/sw.js -DVERSION=1.2.3 -DFILES="a;b" -P release.cmake
# Writes the service worker with the release's name: the version, then the
# first 12 digits of a SHA-256 over the digests of the files, in turn.
set(digests)
foreach(file IN LISTS FILES)
    file(SHA256 ${file} digest)
    string(APPEND digests ${digest})
endforeach()
string(SHA256 digest "${digests}")
string(SUBSTRING ${digest} 0 12 digest)
set(SITE_RELEASE ${VERSION}-${digest})
configure_file(${IN} ${OUT} @ONLY)
