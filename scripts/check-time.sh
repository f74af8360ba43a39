#!/usr/bin/env bash
# How long tessivane-check takes for its report (which measures no round trip), as a user starts
# it: a Wine prefix with the simulated driver installed, tessivane.exe
# running, two stored choices. Prints each run's wall-clock time and their median.
# Usage: scripts/check-time.sh [RUNS]   (default 10)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-measure.sh"
runs=${1:-10}
build_windows tessivane tessivane_check vmidi_client teVirtualMIDI64
start_prefix check-time
"$wine" reg add 'HKCU\SOFTWARE\Velmora\Tessivane' /v defaultPorts \
  /d '{"ports":["USB MIDI Interface","Synth Module"]}' /f </dev/null >/dev/null 2>&1
start_windows_program "$build/ui/tessivane.exe"
wait_for_loopback
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
times=()
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  "$wine" "$build/check/tessivane-check.exe" --json </dev/null >/dev/null 2>&1 || true
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  times+=("$ms")
  echo "run $i: $ms ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
echo "tessivane-check report: median $median ms over $runs runs (first run: ${times[0]} ms)"
