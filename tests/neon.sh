#!/usr/bin/env bash
# The arm64 build's drift loop (driftPortable, with the noise generator's loop
# inside it) is one vector loop of NEON instructions that add four 32-bit
# lanes at once. A loop that called rand() for its noise would not be
# vectorised at all.
# Usage: neon.sh OBJDUMP IMAGE-LIBRARY
set -euo pipefail
# The disassembly is kept whole first: grep -q stops reading at the first
# match, which would fail the pipe that feeds it.
loop=$("$1" -d --no-show-raw-insn "$2" | sed -n '/driftPortable.*>:$/,/^$/p')
if ! grep -qE 'add\s+v[0-9]+\.4s' <<<"$loop"; then
    echo "neon: the drift's loop (driftPortable) has no NEON instructions" >&2
    exit 1
fi
