#!/usr/bin/env bash
# Shared inputs end to end: the tray program on simulated devices (the UI harness) under Wine, with
# the driver loaded as the program loads it (teVirtualMIDI64.dll), so that other processes read its
# ports as applications would. The harness's keyboard "Keys" plays what is written into the port
# "Keys Player".
# 1. The stored shared inputs are read at start: "Keys" is shared ("Keys - In" exists), "Pads",
#    which is not stored, is not.
# 2. Two applications read "Keys - In" at once; both get what the keyboard plays, whole and in
#    order: notes, a controller, a clock byte and a SysEx longer than one WinMM buffer.
# 3. "Exit" ends the program with code 0, and its ports go with it.
set -euo pipefail
harness=$1 dll=$2 client=$3 windows=$4
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi

work="${BUILD_DIR:-$(dirname "$harness")/../../..}/e2e-shared-inputs"
rm -rf "$work" && mkdir -p "$work"
# The DLL beside the harness: found by the program's loader when System32 has none.
cp "$harness" "$dll" "$work/"

fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
client() { "$wine" "$client" "$@"; }
# 0: the port exists; 3: no such port (Wine cannot list named pipes: ask by opening it).
port_state() {
  local code=0
  client receive "$1" --count 0 --timeout 0 >/dev/null 2>&1 || code=$?
  echo "$code"
}
port_present() { [ "$(port_state "$1")" = 0 ]; }
listening() { grep -q listening "$1"; }
forget_stored_inputs() {
  "$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /v sharedInputs /f >/dev/null 2>&1 || true
}

program=""
trap '[ -n "$program" ] && kill -9 "$program" 2>/dev/null; forget_stored_inputs' EXIT
forget_stored_inputs
TESSIVANE_HARNESS_DRIVER=dll TESSIVANE_HARNESS_INPUTS="Keys|Pads" TESSIVANE_HARNESS_SHARED="Keys" \
  "$wine" "$work/$(basename "$harness")" </dev/null >"$work/harness.log" 2>&1 &
program=$!

# 1.
wait_for 30 port_present "Keys - In" || fail "the stored shared input has no port \"Keys - In\""
[ "$(port_state "Pads - In")" = 3 ] || fail "an input that is not stored got a port"

# 2.
sysex="F0 7D"
for i in $(seq 1 1500); do sysex+=" $(printf '%02X' $((i % 128)))"; done
sysex+=" F7"
for reader in daw recorder; do
  client receive "Keys - In" --count 5 --timeout 30000 >"$work/$reader.txt" 2>"$work/$reader-err.txt" &
  eval "${reader}_pid=$!"
done
wait_for 30 listening "$work/daw-err.txt" || fail "the first reader did not start"
wait_for 30 listening "$work/recorder-err.txt" || fail "the second reader did not start"
client send "Keys Player" 90 3C 7F || fail "could not play a note"
client send "Keys Player" B0 40 7F F8 80 3C 00 || fail "could not play a controller and a clock"
# shellcheck disable=SC2086
client send "Keys Player" $sysex || fail "could not play a SysEx"
expected=$'90 3C 7F\nB0 40 7F\nF8\n80 3C 00\n'"$sysex"
for reader in daw recorder; do
  pid_var="${reader}_pid"
  wait "${!pid_var}" || fail "the $reader's reader ended with $? ($(cat "$work/$reader-err.txt"))"
  [ "$(tr -d '\r' <"$work/$reader.txt")" = "$expected" ] || fail "the $reader got other bytes"
done

# 3.
"$wine" "$windows" exit >/dev/null 2>&1 || fail "the main window was not found"
deadline=$((SECONDS + 30))
while kill -0 "$program" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "the program did not end (hung)"
  sleep 0.2
done
code=0
wait "$program" || code=$?
program=""
[ "$code" -eq 0 ] || fail "exit code $code"
[ "$(port_state "Keys - In")" = 3 ] || fail "\"Keys - In\" outlived the program"
echo "shared inputs end to end: passed"
