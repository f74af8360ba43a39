#!/usr/bin/env bash
# run_from_deep_path.sh EXE FILTER: runs a copy of EXE from a folder whose Windows path is longer
# than 260 characters (Wine's CreateProcess cannot start such a file, its loader can).
set -euo pipefail
exe=$1 filter=$2
deep="$(dirname "$exe")/deep-path.$$"
dir="$deep/$(printf 'a%.0s' {1..100})/$(printf 'b%.0s' {1..100})/$(printf 'c%.0s' {1..60})"
trap 'rm -rf "$deep"' EXIT
mkdir -p "$dir"
cp "$exe" "$dir/"
windows_path="Z:$(printf '%s' "$dir/$(basename "$exe")" | tr / '\\')"
"${WINE:-/usr/lib/wine/wine64}" "$windows_path" --gtest_filter="$filter"
