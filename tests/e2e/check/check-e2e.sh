#!/usr/bin/env bash
# tessivane-check.exe under Wine, where no MIDI device is listed, in the states a user's machine
# can be in. Each run checks the JSON report, its findings and the exit code:
# 1. nothing there: no driver, Tessivane not running, nothing stored, no Run value;
# 2. installed and running with the driver beside it, names stored (one not ASCII), the Run value
#    starting the installed copy; the tool writes nothing to the registry; the text report is
#    also saved in the file it names;
# 3. the driver in System32, two copies running, a stored value that is not JSON, a Run value
#    naming a file that is gone;
# 4. a driver that lacks a function, a stored value of another shape;
# 5. usage errors: unknown options, names that match nothing.
set -euo pipefail
check=$1 exe=$2 dll=$3 partial=$4 client=$5
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi
export LC_ALL=C.UTF-8  # non-ASCII names reach Wine's programs intact only so

work="${BUILD_DIR:-$(dirname "$check")/..}/e2e-check"
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/TessivaneTest" portable="$drive_c/TessivanePortable"
system32="$drive_c/windows/system32"
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings='HKCU\SOFTWARE\Velmora\Tessivane'
programs=()

reg() { "$wine" reg "$@" </dev/null >/dev/null 2>&1; }
clean() {
  for p in "${programs[@]}"; do kill "$p" 2>/dev/null || true; done
  programs=()
  rm -rf "$work" "$installed" "$portable" "$system32/teVirtualMIDI64.dll"
  reg delete "$uninstall" /f || true
  reg delete "$run_key" /v Tessivane_x64 /f || true
  reg delete "$settings" /f || true
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
# expect NAME 'python expression' ...: each must hold of r (the JSON report) and code (the exit
# code); on failure, prints the expression and the report.
expect() {
  local name=$1; shift
  python3 - "$work/$name.out" "$(cat "$work/$name.code")" "$@" <<'PY' || fail "$name: see above"
import json, sys
out, code, checks = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
r = json.load(open(out, encoding="utf-8"))
problems = [f["problem"] for f in r["findings"]]
def finding(text): return any(text in p for p in problems)
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

cp "$check" "$exe" "$installed/"
cp "$exe" "$portable/"

echo "== 1. nothing there"
report nothing --json
expect nothing 'code == 1' \
  'list(r) == ["system", "windowsMidiServices", "driver", "tessivane", "storedChoices", "outputs", "inputs", "loopback", "findings"]' \
  'r["system"]["meetsMinimum"] and r["system"]["ansiCodePage"] == 65001' \
  'r["driver"]["error"] == "Error: could not load teVirtualMIDI64.dll. Is the teVirtualMIDI driver installed?"' \
  'r["driver"]["path"] is None and not any(r["driver"]["functions"].values())' \
  'r["tessivane"]["running"] == [] and r["tessivane"]["installed"] is None' \
  'r["tessivane"]["launchOnStartup"]["value"] is None' \
  'r["storedChoices"] == {"state": "absent", "value": None, "choices": []}' \
  'r["outputs"] == [] and r["inputs"] == [] and r["loopback"] is None' \
  'finding("could not load teVirtualMIDI64.dll") and finding("Tessivane is not running")' \
  'all(f["fix"] for f in r["findings"])'

echo "== 2. installed and running, names stored, the Run value starting the installed copy"
cp "$dll" "$installed/"
reg add "$uninstall" /v InstallLocation /d 'C:\TessivaneTest' /f
reg add "$uninstall" /v DisplayVersion /d 1.0 /f
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
  'r["driver"]["usable"] and r["driver"]["from"] == "program folder"' \
  'r["driver"]["path"] == "C:\\TessivaneTest\\teVirtualMIDI64.dll"' \
  'all(r["driver"]["functions"].values()) and "0.9.0.0 simulated" in r["driver"]["dllVersion"]' \
  'r["driver"]["driverVersion"] is not None and r["driver"]["error"] is None' \
  '[c["installed"] for c in r["tessivane"]["running"]] == [True]' \
  'r["tessivane"]["running"][0]["path"].lower() == "c:\\tessivanetest\\tessivane.exe"' \
  'r["tessivane"]["installed"] == {"folder": "C:\\TessivaneTest", "version": "1.0"}' \
  'r["tessivane"]["launchOnStartup"] == {"value": "C:\\TessivaneTest\\tessivane.exe", "fileExists": True, "startsInstalledCopy": True}' \
  'r["storedChoices"]["state"] == "stored" and r["storedChoices"]["value"] == "{\"ports\":[\"Synth\",\"Ünïcode Ω\"]}"' \
  '[c["name"] for c in r["storedChoices"]["choices"]] == ["Synth", "Ünïcode Ω"]' \
  'not any(c["connected"] for c in r["storedChoices"]["choices"])' \
  'finding("\"Ünïcode Ω\" is chosen, but Windows lists no output") and not finding("not running")' \
  'not finding("teVirtualMIDI") and not finding("Launch on startup")'
[ "$(cat "$work/installed-text.code")" = 1 ] || fail "the text report ended with $(cat "$work/installed-text.code")"
saved=$(sed -n 's/^This report is also in C:\\users\\\(.*\)$/\1/p' "$work/installed-text.out" | tr -d '\r' | tr '\\' /)
[ -n "$saved" ] || fail "the text report names no file: $(tail -n 3 "$work/installed-text.out")"
diff <(head -n -2 "$work/installed-text.out") "$drive_c/users/$saved" >/dev/null ||
  fail "the saved report differs from the one shown"
grep -q "Ünïcode Ω: connected no" "$work/installed-text.out" || fail "the text report: $(cat "$work/installed-text.out")"

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
  'r["driver"]["from"] == "System32" and r["driver"]["path"].lower().endswith("\\system32\\tevirtualmidi64.dll")' \
  'sorted(c["installed"] for c in r["tessivane"]["running"]) == [False, True]' \
  'finding("Tessivane runs 2 times")' \
  'r["storedChoices"] == {"state": "notJson", "value": "{\"ports\":[\"Synth\"", "choices": []}' \
  'finding("The stored choices cannot be read")' \
  'not r["tessivane"]["launchOnStartup"]["fileExists"] and finding("C:\\Moved\\tessivane.exe")'
for p in "${programs[@]}"; do kill "$p" 2>/dev/null || true; done
programs=()

echo "== 4. a driver without a function, stored value of another shape"
rm -f "$system32/teVirtualMIDI64.dll"
cp "$partial" "$installed/teVirtualMIDI64.dll"
reg add "$settings" /v defaultPorts /d '["Synth"]' /f
report partial --json
expect partial 'code == 1' \
  'r["driver"]["error"] == "Error: teVirtualMIDI64.dll has no function virtualMIDIShutdown. Is the teVirtualMIDI driver up to date?"' \
  'r["driver"]["functions"]["virtualMIDISendData"] and not r["driver"]["functions"]["virtualMIDIShutdown"]' \
  'r["driver"]["dllVersion"] is None and not r["driver"]["usable"]' \
  'r["storedChoices"]["state"] == "otherJson" and r["storedChoices"]["choices"] == []' \
  'any(f["fix"] == "Install the driver'"'"'s current version, then start Tessivane again." for f in r["findings"])'

echo "== 5. usage errors"
usage() {  # usage CODE TEXT ARGS...
  local want=$1 text=$2; shift 2
  report usage "$@"
  [ "$(cat "$work/usage.code")" = "$want" ] || fail "$* ended with $(cat "$work/usage.code"), not $want"
  cat "$work/usage.out" "$work/usage.err" | grep -qF -- "$text" || fail "$*: $(cat "$work/usage.err")"
}
usage 2 'unknown command or option "--jsn"' --jsn
usage 2 'No MIDI output is named "Zarvik Loopback Out" (names must match exactly). Windows lists none.' \
  loop "Zarvik Loopback Out" "Zarvik Loopback In" --count 5
usage 2 'No output shared by Tessivane is named "Synth"' panic Synth
usage 2 '--count takes a number from 1 to 100000' loop a b --count many
usage 0 'usage: tessivane-check' --help
echo "PASS"
