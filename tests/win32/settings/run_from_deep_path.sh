#!/usr/bin/env bash
# run_from_deep_path.sh EXE FILTER long|non-ascii: runs a copy of EXE from a folder whose Windows
# path is longer than 260 characters (Wine's CreateProcess cannot start such a file, its loader
# can), or from one whose path has fewer characters but takes more than 260 bytes in UTF-8.
set -euo pipefail
exe=$1 filter=$2 shape=$3
deep="$(dirname "$exe")/deep-path.$$"
case $shape in
  long) dir="$deep/$(printf 'a%.0s' {1..100})/$(printf 'b%.0s' {1..100})/$(printf 'c%.0s' {1..60})" ;;
  non-ascii)  # twice 45 times U+97F3, 3 bytes each
    sound=$(printf '\xe9\x9f\xb3%.0s' {1..45})
    dir="$deep/$sound/$sound" ;;
  *) echo "unknown shape: $shape" >&2; exit 2 ;;
esac
trap 'rm -rf "$deep"' EXIT
mkdir -p "$dir"
cp "$exe" "$dir/"
windows_path="Z:$(printf '%s' "$dir/$(basename "$exe")" | tr / '\\')"
LC_ALL=C.UTF-8 "${WINE:-/usr/lib/wine/wine64}" "$windows_path" --gtest_filter="$filter"
