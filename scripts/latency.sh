#!/usr/bin/env bash
# latency.sh [COUNT]: round-trip time of a note through the real program's loopback pair under
# Wine (written into "Zarvik Loopback Out", read from "Zarvik Loopback In", one at a time, COUNT
# times, default 10,000), and the same through a pair hosted by a plain process with the same
# simulated driver, whose callback sends each note straight back: the driver's and Wine's share.
# Then a shared input end to end, next to the loopback pair in the same run: the program's windows
# and engine on simulated devices (the UI harness, with the driver as a DLL), whose keyboard "Keys"
# plays what is written into "Keys Player"; the time from that write until a reader of
# "Keys - In" has the note. Both paths cross the driver twice and the program once.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-measure.sh"
count=${1:-10000}

build_windows tessivane teVirtualMIDI64 vmidi_client vmidi_latency tessivane_ui_harness
start_prefix latency
echo "round trips ($(nproc) cores; load average at start: $(cut -d' ' -f1-3 /proc/loadavg))"
start_windows_program "$build/ui/tessivane.exe"
wait_for_loopback
printf "%-44s" "through tessivane.exe's loopback pair:"
"$wine" "$build/bin/vmidi-latency.exe" "Zarvik Loopback Out" "Zarvik Loopback In" --count "$count"
kill "$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true

start_windows_program "$build/bin/vmidi-latency.exe" --host "Latency Probe"
deadline=$((SECONDS + 60))
until "$wine" "$build/bin/vmidi-client.exe" receive "Latency Probe In" --count 0 --timeout 0 >/dev/null 2>&1; do
  [ $SECONDS -lt $deadline ] || { echo "the probe pair did not appear" >&2; exit 1; }
  sleep 0.5
done
printf "%-44s" "through a pair hosted by a plain process:"
"$wine" "$build/bin/vmidi-latency.exe" "Latency Probe Out" "Latency Probe In" --count "$count"
kill "$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true

"$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /v sharedInputs /f </dev/null >/dev/null 2>&1 || true
TESSIVANE_HARNESS_DRIVER=dll TESSIVANE_HARNESS_INPUTS=Keys TESSIVANE_HARNESS_SHARED=Keys \
  start_windows_program "$build/tests/win32/ui/tessivane-ui-harness.exe"
wait_for_loopback
printf "%-44s" "through the harness's loopback pair:"
"$wine" "$build/bin/vmidi-latency.exe" "Zarvik Loopback Out" "Zarvik Loopback In" --count "$count"
printf "%-44s" "from the harness's keyboard to \"Keys - In\":"
"$wine" "$build/bin/vmidi-latency.exe" "Keys Player" "Keys - In" --count "$count"
"$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /v sharedInputs /f </dev/null >/dev/null 2>&1 || true
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
