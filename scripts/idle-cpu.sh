#!/usr/bin/env bash
# idle-cpu.sh [SECONDS]: how much of one core the real program costs when nothing happens. Runs
# tessivane.exe under Wine with the simulated driver (no MIDI outputs, only its loopback pair) for
# SECONDS (default 60) and reads the user and system time of the program's process and of the
# prefix's wineserver from /proc; then does the same for bare-timer.exe, a program that only runs
# a 1 ms multimedia timer: the floor of anything that ticks every millisecond; and once more with
# the timer asking WinMM for its device count, the one thing the program's idle tick does under
# Wine (no device listed). No Wine desktop is needed; a virtual X display is started if none is set.
# The user has chosen two outputs that are not plugged in (their names are stored, as the Configure
# dialog stores them). TESSIVANE_EXE=path measures another build of the program instead (an older
# one, to compare). Then the program's windows and engine on simulated devices (the UI harness),
# since Wine lists no MIDI devices: eight outputs and eight inputs, all chosen and shared, nothing
# playing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-measure.sh"
seconds=${1:-60}
hz=$(getconf CLK_TCK)

build_windows tessivane teVirtualMIDI64 vmidi_client bare_timer tessivane_ui_harness
start_prefix idle
"$wine" reg add 'HKCU\SOFTWARE\Velmora\Tessivane' /v defaultPorts /t REG_SZ /f \
  /d '{"ports":["USB MIDI Interface","Synth Module"]}' </dev/null >/dev/null 2>&1
sleep 5  # Wine's background services settle after start

# measure NAME: the program just started (program_pid) and the wineserver over $seconds.
measure() {
  sleep 3
  local p0 s0 p1 s1
  p0=$(cpu_ticks "$program_pid"); s0=$(cpu_ticks "$server_pid")
  sleep "$seconds"
  p1=$(cpu_ticks "$program_pid"); s1=$(cpu_ticks "$server_pid")
  awk -v name="$1" -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v t="$seconds" -v hz="$hz" 'BEGIN {
    printf "%-38s program %5.2f %%  wineserver %5.2f %%  together %5.2f %% of one core\n",
           name, 100 * p / (t * hz), 100 * s / (t * hz), 100 * (p + s) / (t * hz) }'
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
}

echo "idle CPU over $seconds s each ($(nproc) cores; load average at start: $(cut -d' ' -f1-3 /proc/loadavg))"
exe=${TESSIVANE_EXE:-$build/ui/tessivane.exe}
start_windows_program "$exe"
wait_for_loopback
measure "tessivane.exe, loopback pair only"
devices() { local names=() i; for i in 1 2 3 4 5 6 7 8; do names+=("$1 $i"); done; (IFS='|'; echo "${names[*]}"); }
TESSIVANE_HARNESS_OUTPUTS=$(devices Synth) TESSIVANE_HARNESS_CHOSEN=$(devices Synth) \
TESSIVANE_HARNESS_INPUTS=$(devices Keys) TESSIVANE_HARNESS_SHARED=$(devices Keys) \
  start_windows_program "$build/tests/win32/ui/tessivane-ui-harness.exe"
measure "harness: 8 outputs and 8 inputs shared"
"$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /v sharedInputs /f </dev/null >/dev/null 2>&1 || true
start_windows_program "$build/bench/bare-timer.exe"
measure "bare-timer.exe (1 ms timer, no work)"
start_windows_program "$build/bench/bare-timer.exe" 0 --count-devices
measure "bare-timer.exe, midiOutGetNumDevs"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
