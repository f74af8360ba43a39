#!/usr/bin/env bash
# tessivane.exe must read device names with the Unicode WinMM calls: the ANSI ones convert a name
# into 32 bytes of the code page (UTF-8 for this program), so long non-ASCII names come back cut,
# possibly inside a character. Reads the exe's import table; needs no Wine.
set -euo pipefail
exe=$1
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/The Import Tables/,/The Export Tables/p')
[ -n "$imports" ] || { echo "FAIL: no import table read from $exe" >&2; exit 1; }
if ansi=$(grep -Eo '\bmidi[A-Za-z]*GetDevCapsA\b' <<<"$imports"); then
  echo "FAIL: imports the ANSI call(s) $(echo $ansi)" >&2; exit 1
fi
grep -qw midiOutGetDevCapsW <<<"$imports" || { echo "FAIL: does not import midiOutGetDevCapsW" >&2; exit 1; }
echo "PASS: device names through midiOutGetDevCapsW only"
