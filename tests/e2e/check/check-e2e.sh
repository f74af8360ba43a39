#!/usr/bin/env bash
# tessivane-check.exe under Wine, where no MIDI device is listed, in the states a user's machine
# can be in. Each run checks the JSON report, the complete list of its findings and the exit code:
# 1. nothing there: no driver, Tessivane not running, nothing stored, no Run value;
# 2. installed and running with the driver beside it, names stored (one not ASCII), the Run value
#    starting the installed copy: the program's published state read back (its process, its
#    loopback pair made, which Wine does not list); the tool writes nothing to the registry; the
#    text report is also saved, with Windows' line ends, in the file it names;
# 3. the driver in System32, two copies running, a stored value that is not JSON, a Run value
#    naming a file that is gone;
# 4. a driver that lacks a function, a stored value of another shape, what Windows keeps about
#    tessivane.exe (compatibility settings, Task Manager's switch for a Run value that starts a
#    renamed copy) and a Drivers32 that hands WinMM to Windows MIDI Services;
# 5. usage errors: unknown options, names that match nothing, a loopback pair that is not listed;
# 6. the UI harness (the program on simulated outputs) while its error box is up: the state says
#    that one chosen output is held by another application and why the other could not be opened.
set -euo pipefail
check=$1 exe=$2 dll=$3 partial=$4 client=$5 harness=$6 windows=$7
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
export LC_ALL=C.UTF-8  # non-ASCII names reach Wine's programs intact only so

work="${BUILD_DIR:-$(dirname "$check")/..}/e2e-check"
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/TessivaneTest" portable="$drive_c/TessivanePortable"
system32="$drive_c/windows/system32"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings='HKCU\SOFTWARE\Velmora\Tessivane'
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
layers='HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers'
drivers32='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
programs=()

reg() { "$wine" reg "$@" </dev/null >/dev/null 2>&1; }
forget() {  # what scenario 4 makes Windows keep about tessivane.exe and WinMM
  reg delete "$approved" /v Tessivane_x64 /f || true
  reg delete "$layers" /v 'C:\TessivaneTest\tessivane.exe' /f || true
  for value in midi9 MidisrvTransferComplete UseLegacyMidi; do reg delete "$drivers32" /v $value /f || true; done
}
clean() {
  for p in "${programs[@]}"; do kill "$p" 2>/dev/null || true; done
  programs=()
  rm -rf "$work" "$installed" "$portable" "$system32/teVirtualMIDI64.dll"
  reg delete "$run_key" /v Tessivane_x64 /f || true
  reg delete "$settings" /f || true
  forget
}
trap clean EXIT
clean
mkdir -p "$work" "$installed" "$portable"
fail() { echo "FAIL: $*" >&2; exit 1; }

# report NAME [ARGS]: runs the tool from the installed folder, keeps stdout and the exit code.
report() {
  local name=$1; shift
  local code=0
  "$wine" "$installed/tessivane-check.exe" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null || code=$?
  echo "$code" >"$work/$name.code"
}
# expect NAME 'python expression' ...: each must hold of r (the JSON report), ids (its findings'
# ids, in order), code (the exit code) and choice(name); on failure, prints the report.
expect() {
  local name=$1; shift
  python3 - "$work/$name.out" "$(cat "$work/$name.code")" "$@" <<'PY' || fail "$name: see above"
import json, sys
out, code, checks = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
raw = open(out, "rb").read()
assert all(b < 128 for b in raw), "the JSON report is not ASCII"
r = json.loads(raw)
ids = [f["id"] for f in r["findings"]]
def finding(text): return any(text in f["problem"] for f in r["findings"])
def choice(name): return next(c for c in r["storedChoices"]["choices"] if c["name"] == name)
bad = [c for c in checks if not eval(c)]
for c in bad: print("does not hold:", c)
if bad: print(json.dumps(r, indent=1, ensure_ascii=False)); sys.exit(1)
PY
}
start_copy() {  # start_copy FOLDER
  "$wine" "$1/tessivane.exe" </dev/null >/dev/null 2>&1 &
  programs+=($!)
}
loopback_present() {
  "$wine" "$client" receive "Zarvik Loopback In" --count 0 --timeout 0 >/dev/null 2>&1
}
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
win() { "$wine" "$windows" "$@" 2>/dev/null; }

cp "$check" "$exe" "$installed/"
cp "$exe" "$portable/"

echo "== 1. nothing there"
report nothing --json
expect nothing 'code == 1' \
  'list(r) == ["checkVersion", "system", "windowsMidiServices", "driver", "tessivane", "publishedState", "storedChoices", "sharedInputs", "outputs", "inputs", "loopback", "findings"]' \
  'r["checkVersion"] == "1.0" and r["system"]["meetsMinimum"] and r["system"]["ansiCodePage"] == 65001' \
  'r["windowsMidiServices"] == {"mode": "not carrying WinMM", "service": "not installed"}' \
  'r["driver"]["error"] == "Error: could not load teVirtualMIDI64.dll. Is the teVirtualMIDI driver installed?"' \
  'r["driver"]["path"] is None and r["tessivane"]["running"] == []' \
  'r["tessivane"]["launchOnStartup"]["value"] is None' \
  'r["publishedState"] == {"status": "absent", "processId": None, "version": None, "loopbackCreated": None, "leftOut": None}' \
  'r["storedChoices"] == {"state": "absent", "value": None, "choices": []}' \
  'r["outputs"] == {"error": None, "ports": []} and r["loopback"]["listed"] is False' \
  'ids == ["driverMissing", "notRunning"] and all(f["fix"] for f in r["findings"])'

echo "== 2. installed and running, names stored, the Run value starting the installed copy"
cp "$dll" "$installed/"
reg add "$run_key" /v Tessivane_x64 /d 'C:\TessivaneTest\tessivane.exe' /f
reg add "$settings" /v defaultPorts /d '{"ports":["Synth","Ünïcode Ω"]}' /f
start_copy "$installed"
wait_for 30 loopback_present || fail "the installed copy did not start"
"$wine" reg export HKCU "C:\\registry-before.reg" /y </dev/null >/dev/null 2>&1
report installed --json
report installed-text
"$wine" reg export HKCU "C:\\registry-after.reg" /y </dev/null >/dev/null 2>&1
mv "$drive_c/registry-before.reg" "$drive_c/registry-after.reg" "$work/"
cmp -s "$work/registry-before.reg" "$work/registry-after.reg" ||
  fail "the tool changed the registry: $(diff <(iconv -f UTF-16 "$work/registry-before.reg") <(iconv -f UTF-16 "$work/registry-after.reg") | head)"
expect installed 'code == 1' \
  'r["driver"]["usable"] and r["driver"]["path"] == "C:\\TessivaneTest\\teVirtualMIDI64.dll"' \
  'r["driver"]["dllVersion"] == r["driver"]["driverVersion"] == "0.9.0.0 simulated (0.9.0.0)"' \
  'r["driver"]["error"] is None' \
  '[(c["launcher"], c["otherSession"]) for c in r["tessivane"]["running"]] == [(False, False)]' \
  'r["tessivane"]["running"][0]["path"].lower() == "c:\\tessivanetest\\tessivane.exe"' \
  'r["tessivane"]["launchOnStartup"] == {"value": "C:\\TessivaneTest\\tessivane.exe", "fileExists": True, "switchedOff": False}' \
  'r["publishedState"]["status"] == "read" and r["publishedState"]["version"] == "1.0"' \
  'r["publishedState"]["processId"] == r["tessivane"]["running"][0]["processId"]' \
  'r["publishedState"]["loopbackCreated"] and r["publishedState"]["leftOut"] == 0' \
  'r["storedChoices"]["state"] == "stored" and r["storedChoices"]["value"] == "{\"ports\":[\"Synth\",\"Ünïcode Ω\"]}"' \
  '[c["name"] for c in r["storedChoices"]["choices"]] == ["Synth", "Ünïcode Ω"]' \
  'choice("Synth")["connected"] is False and choice("Synth")["open"] is None' \
  'ids == ["notConnected", "notConnected", "portsNotListed"]' \
  'finding("\"Ünïcode Ω\" is chosen, but Windows lists no output")' \
  'finding("does not list the ports Tessivane made: \"Zarvik Loopback Out\", \"Zarvik Loopback In\".")'
[ "$(cat "$work/installed-text.code")" = 1 ] || fail "the text report ended with $(cat "$work/installed-text.code")"
saved=$(sed -n 's/^It changed nothing and wrote only this report, also in C:\\users\\\(.*\)$/\1/p' "$work/installed-text.out" | tr -d '\r' | tr '\\' /)
[ -n "$saved" ] || fail "the text report names no file: $(tail -n 3 "$work/installed-text.out")"
[ "$(grep -c $'\r$' "$drive_c/users/$saved")" = "$(wc -l <"$drive_c/users/$saved")" ] || fail "the saved report's lines do not end in CR LF"
diff <(head -n -2 "$work/installed-text.out") <(tr -d '\r' <"$drive_c/users/$saved") >/dev/null ||
  fail "the saved report differs from the one shown"
grep -q '^  1. "Synth" is chosen, but Windows lists no output of that name.' "$work/installed-text.out" &&
  grep -q '"loopbackCreated": true' "$work/installed-text.out" || fail "the text report: $(cat "$work/installed-text.out")"

echo "== 3. driver in System32, two copies, stored value not JSON, Run value naming a lost file"
cp "$dll" "$system32/"
start_copy "$portable"
reg add "$settings" /v defaultPorts /d '{"ports":["Synth"' /f
reg add "$run_key" /v Tessivane_x64 /d 'C:\Moved\tessivane.exe' /f
for attempt in $(seq 50); do
  report twice --json
  python3 -c 'import json,sys; sys.exit(len(json.load(open(sys.argv[1]))["tessivane"]["running"]) != 2)' \
    "$work/twice.out" && break
  sleep 0.2
done
expect twice 'code == 1' \
  'r["driver"]["path"].lower().endswith("\\system32\\tevirtualmidi64.dll")' \
  'sorted(c["path"].lower() for c in r["tessivane"]["running"]) == ["c:\\tessivaneportable\\tessivane.exe", "c:\\tessivanetest\\tessivane.exe"]' \
  'r["storedChoices"] == {"state": "notJson", "value": "{\"ports\":[\"Synth\"", "choices": []}' \
  'not r["tessivane"]["launchOnStartup"]["fileExists"] and finding("C:\\Moved\\tessivane.exe")' \
  'ids == ["runsTwice", "runValueMissing", "storedNotJson", "portsNotListed"]'
for p in "${programs[@]}"; do kill "$p" 2>/dev/null || true; done
programs=()

echo "== 4. a driver without a function, stored value of another shape, what Windows keeps"
rm -f "$system32/teVirtualMIDI64.dll"
cp "$partial" "$installed/teVirtualMIDI64.dll"
reg add "$settings" /v defaultPorts /d '["Synth"]' /f
reg add "$run_key" /v Tessivane_x64 /d 'C:\TessivaneTest\tessivane-check.exe' /f
reg add "$approved" /v Tessivane_x64 /t REG_BINARY /d 030000000000000000000000 /f
reg add "$layers" /v 'C:\TessivaneTest\tessivane.exe' /d '~ WIN7RTM' /f
reg add "$drivers32" /v midi9 /d wdmaud2.drv /f
reg add "$drivers32" /v MidisrvTransferComplete /t REG_DWORD /d 1 /f
reg add "$drivers32" /v UseLegacyMidi /t REG_DWORD /d 2 /f
report partial --json
expect partial 'code == 1' \
  'r["system"]["compatibilitySettings"] == [{"path": "C:\\TessivaneTest\\tessivane.exe", "settings": "~ WIN7RTM"}]' \
  'r["tessivane"]["launchOnStartup"] == {"value": "C:\\TessivaneTest\\tessivane-check.exe", "fileExists": True, "switchedOff": True}' \
  'r["windowsMidiServices"] == {"mode": "hybrid", "service": "not installed"}' \
  'r["driver"]["error"] == "Error: teVirtualMIDI64.dll has no function virtualMIDIShutdown. Is the teVirtualMIDI driver up to date?"' \
  'r["driver"]["dllVersion"] is None and not r["driver"]["usable"]' \
  'r["storedChoices"]["state"] == "otherJson" and r["storedChoices"]["choices"] == []' \
  'ids == ["compatibility", "driverOld", "notRunning", "runValueOff", "storedUnreadable"]'
forget

echo "== 5. usage errors, and a loopback pair that is not listed"
usage() {  # usage CODE TEXT ARGS...
  local want=$1 text=$2; shift 2
  report usage "$@"
  [ "$(cat "$work/usage.code")" = "$want" ] || fail "$* ended with $(cat "$work/usage.code"), not $want"
  cat "$work/usage.out" "$work/usage.err" | grep -qF -- "$text" || fail "$*: $(cat "$work/usage.err")"
}
usage 2 'unknown command or option "--jsn"' --jsn
usage 2 'No MIDI output is named "Zarvik Loopback Out" (names must match exactly). Windows lists none.' \
  loop "Zarvik Loopback Out" "Zarvik Loopback In" --count 5
usage 1 "Windows does not list Tessivane's loopback pair: start Tessivane first." loopback --count 5
usage 2 'No port of Tessivane is named "Synth - MIDI"' panic Synth
usage 2 '--count takes a number from 1 to 100000' loop a b --count many
usage 0 'usage: tessivane-check' --help

echo "== 6. the program's state while its error box is up (UI harness)"
cp "$dll" "$installed/teVirtualMIDI64.dll"
reg delete "$settings" /f || true
reg delete "$run_key" /v Tessivane_x64 /f || true
error_box_up() { win error-text >"$work/error.txt"; }
TESSIVANE_HARNESS_OUTPUTS="Synth Module" TESSIVANE_HARNESS_CHOSEN="Busy Synth|Broken Synth" \
TESSIVANE_HARNESS_LATER="Busy Synth|Broken Synth" TESSIVANE_HARNESS_HELD="Busy Synth" \
TESSIVANE_HARNESS_FAIL_OPEN="Broken Synth" "$wine" "$harness" </dev/null >"$work/harness.log" 2>&1 &
programs+=($!)
wait_for 30 win exists || fail "the harness did not start"
win plug-later || fail "no harness control window"
wait_for 20 error_box_up || fail "no error box appeared"
report harness --json
error_box_up || fail "the error box went while the tool read the state"
expect harness 'code == 1' \
  'r["publishedState"]["status"] == "read" and r["tessivane"]["running"] == []' \
  'choice("Busy Synth")["open"] is False and choice("Busy Synth")["errorCode"] == 4' \
  'choice("Busy Synth")["error"] == "MidiOutWinMM::openPort: error creating Windows MM MIDI output port."' \
  'choice("Broken Synth")["open"] is False and choice("Broken Synth")["errorCode"] is None' \
  'choice("Broken Synth")["error"] == "Error: the MIDI output is in use by another application."' \
  'ids == ["notConnected", "notConnected", "portsNotListed"]' \
  'finding("\"Busy Synth - MIDI\", \"Busy Synth - SysEx\"")'
while win dismiss-error >/dev/null; do sleep 0.5; done
win close || true
echo "PASS"
