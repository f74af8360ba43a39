#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the default-ports fuzzer with clang and libFuzzer in build/set-fuzz,
# runs it for SECONDS (default 180) on a scratch copy of the committed corpus, then minimises what
# it found into fuzz/corpus/default_ports, which the native builds replay as a test.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-180}
build="$root/build/set-fuzz"
corpus="$root/fuzz/corpus/default_ports"
scratch="$build/corpus-work"

CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja \
  -DTESSIVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target default_ports_fuzzer

mkdir -p "$scratch"
cp -n "$corpus"/* "$scratch"/ 2>/dev/null || true
# Stored texts are read into 8192 bytes; a little more lets the fuzzer reach the cut.
"$build/default_ports_fuzzer" "$scratch" -max_len=8300 -max_total_time="$seconds" \
  -print_final_stats=1 -timeout=10

# Minimise into a fresh folder, then replace the committed corpus with it: the fewest inputs that
# still reach every edge (hit counts ignored, or the set grows to hundreds).
merged="$build/corpus-merged"
rm -rf "$merged" && mkdir -p "$merged"
"$build/default_ports_fuzzer" -set_cover_merge=1 -use_counters=0 "$merged" "$corpus" "$scratch" \
  -max_len=8300
rm -f "$corpus"/*
for f in "$merged"/*; do cp "$f" "$corpus/$(basename "$f" | cut -c1-16)"; done
echo "fuzz: corpus now holds $(ls "$corpus" | wc -l) inputs"
