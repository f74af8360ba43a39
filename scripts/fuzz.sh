#!/usr/bin/env bash
# fuzz.sh [TARGET] [SECONDS]: builds a fuzz target with clang and libFuzzer in build/set-fuzz, runs
# it for SECONDS (default 180) on a scratch copy of its committed corpus, then minimises what it
# found into fuzz/corpus/TARGET, which the native builds replay as a test.
#   TARGET: default_ports (the stored default-ports document; the default) or naming (unique
#   names and port names). A number alone is taken as SECONDS for default_ports.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
target=default_ports
if [ $# -gt 0 ] && ! [[ $1 =~ ^[0-9]+$ ]]; then
  target=$1
  shift
fi
seconds=${1:-180}
case $target in
  default_ports) max_len=8300 ;;  # stored texts are read into 8192 bytes; a little more reaches the cut
  naming) max_len=300 ;;          # device names are short; a few times the 31-byte limit is plenty
  *) echo "usage: $0 [default_ports|naming] [SECONDS]" >&2; exit 2 ;;
esac
build="$root/build/set-fuzz"
corpus="$root/fuzz/corpus/$target"
scratch="$build/corpus-work-$target"
fuzzer="$build/${target}_fuzzer"

CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja \
  -DTESSIVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${target}_fuzzer"

mkdir -p "$scratch" "$corpus"
cp -n "$corpus"/* "$scratch"/ 2>/dev/null || true
"$fuzzer" "$scratch" -max_len="$max_len" -max_total_time="$seconds" -print_final_stats=1 -timeout=10

# Minimise into a fresh folder, then replace the committed corpus with it: the fewest inputs that
# still reach every edge (hit counts ignored, or the set grows to hundreds).
merged="$build/corpus-merged-$target"
rm -rf "$merged" && mkdir -p "$merged"
"$fuzzer" -set_cover_merge=1 -use_counters=0 "$merged" "$corpus" "$scratch" -max_len="$max_len"
rm -f "$corpus"/*
for f in "$merged"/*; do cp "$f" "$corpus/$(basename "$f" | cut -c1-16)"; done
echo "fuzz: $target corpus now holds $(ls "$corpus" | wc -l) inputs"
