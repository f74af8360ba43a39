#!/usr/bin/env bash
# The release as a Windows user gets it: builds it with scripts/package.sh, then, in a fresh Wine
# prefix with the simulated driver:
# 1. the zip holds exactly the program, README.txt and the licence texts;
# 2. the setup wizard, driven with its default buttons on a machine without the driver, warns
#    that the driver is missing and names its DLL, installs all the same, leaves start at logon
#    off and does not start the program;
# 3. silent reinstalls of the same version: without the driver it neither stops nor switches
#    start at logon on; with /LOGON=yes and the driver in System32: the files, the shortcut, a
#    Run value that is exactly the path the program recognises as its own (its "Launch on
#    startup" sees it on); started from the shortcut, the program shows its loopback pair;
# 4. a silent upgrade to a higher version while the program runs ends it through its own Exit
#    (code 0), keeps the stored choices and the logon setting, and starts it again;
# 5. a silent uninstall while the program runs ends it through its own Exit (code 0): no process
#    and no port is left; files, shortcut, Run value and uninstall entry are gone; the stored
#    choices are unchanged.
# Ends with "release: N passed, N failed"; exit code 1 if any case failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
cd "$root"

bash scripts/package.sh || { echo "release: 0 passed, 1 failed"; exit 1; }
build="$root/build/windows"
cmake --build --preset windows --target teVirtualMIDI64 vmidi_client >/dev/null ||
  { echo "release: 0 passed, 1 failed"; exit 1; }
version=$(tr -d '[:space:]' <"$build/generated/version.txt")
zip="$root/dist/Tessivane-$version-x64.zip"
setup="$root/dist/Tessivane-$version-x64-setup.exe"
driver="$build/bin/teVirtualMIDI64.dll"
client="$build/bin/vmidi-client.exe"

work="$root/build/release-test"
rm -rf "$work" && mkdir -p "$work"
probe="$work/release-probe.exe"
x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -Wall -Wextra -Werror -static \
  -o "$probe" "$root/tests/release/release_probe.cpp" -lpsapi -lole32 -luuid -lversion ||
  { echo "release: 0 passed, 1 failed"; exit 1; }

# A fresh prefix of our own; no Mono/Gecko prompts, and no menu entries written to the host.
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
mkdir -p "$WINEPREFIX"
"$server" -p </dev/null >/dev/null 2>&1
"$wine" wineboot --init </dev/null >/dev/null 2>&1
trap '"$server" -k >/dev/null 2>&1; "$server" -w >/dev/null 2>&1; true' EXIT

w() { "$wine" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
winenv() { w cmd /c echo "%$1%"; }
unixpath() { w winepath -u "$1"; }
localappdata=$(winenv LOCALAPPDATA)
appdata=$(winenv APPDATA)
system32=$(unixpath 'C:\windows\system32')
installdir="$localappdata\\Programs\\Tessivane"
installed="$installdir\\tessivane.exe"
shortcut="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tessivane.lnk"
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='SOFTWARE\Velmora\Tessivane'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane'
stored='{"ports":["Synth A","Piano (2)"]}'

fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.3; done
}
value() { w "$probe" value "$1" "$2"; }  # "<type> <bytes> <text>", empty when absent
exists() { [ -e "$(unixpath "$1")" ]; }
in_port() { local c=0; "$wine" "$client" receive "Zarvik Loopback In" --count 0 --timeout 0 \
  </dev/null >/dev/null 2>&1 || c=$?; echo $c; }
out_port() { local c=0; "$wine" "$client" send "Zarvik Loopback Out" FE </dev/null >/dev/null 2>&1 \
  || c=$?; echo $c; }
ports() { echo "In: $(in_port), Out: $(out_port) (0 = present, 3 = absent)"; }
loopback_present() { [ "$(in_port)" = 0 ] && [ "$(out_port)" = 0 ]; }
no_loopback() { [ "$(in_port)" = 3 ] && [ "$(out_port)" = 3 ]; }
running() { w "$probe" count; }
none_running() { [ "$(running)" = 0 ]; }
entry_gone() { [ -z "$(value "$uninstall_key" DisplayName)" ]; }

# The program as a user starts it: from its Start-menu shortcut. Its exit code lands in a file.
start_from_shortcut() {
  rm -f "$work/program.exit"
  ("$wine" start /wait "$shortcut" </dev/null >/dev/null 2>&1; echo $? >"$work/program.exit") &
}
program_ended() { [ -s "$work/program.exit" ]; }
expect_clean_exit() {
  wait_for 30 program_ended || fail "the program did not end"
  [ "$(cat "$work/program.exit")" = 0 ] || fail "the program ended with code $(cat "$work/program.exit")"
}
# What a user gets, in the zip and in the program folder (there with the uninstaller).
shipped=(tessivane.exe README.txt LICENSE.txt LICENSE-RtMidi.txt LICENSE-cJSON.txt
         LICENSE-readerwriterqueue.txt LICENSE-mingw-w64-runtime.txt)
expect_files() {
  local expected actual
  expected=$(printf '%s\n' "${shipped[@]}" uninstall.exe | sort)
  actual=$(ls -A "$(unixpath "$installdir")" | sort)
  [ "$actual" = "$expected" ] || fail "installed files: [$(echo $actual)], expected [$(echo $expected)]"
  unzip -p "$zip" tessivane.exe | cmp -s - "$(unixpath "$installed")" ||
    fail "the installed tessivane.exe is not the one in the zip"
  [ "$(w "$probe" shortcut "$shortcut")" = "$installed" ] ||
    fail "the shortcut points to [$(w "$probe" shortcut "$shortcut")], expected [$installed]"
}
# Exactly what the program's "Launch on startup" writes: REG_SZ (1), the path and its terminator.
expected_run_value="1 $((${#installed} + 1)) $installed"
run_value_absent() { [ -z "$(value "$run_key" Tessivane_x64)" ]; }
run_value_expected() { [ "$(value "$run_key" Tessivane_x64)" = "$expected_run_value" ]; }

case_zip() {
  local expected actual
  expected=$(printf '%s\n' "${shipped[@]}" | sort)
  actual=$(unzip -Z1 "$zip" | sort)
  [ "$actual" = "$expected" ] || fail "zip holds [$(echo $actual)], expected [$(echo $expected)]"
  unzip -p "$zip" README.txt | grep -q "Tessivane $version for Windows" ||
    fail "README.txt does not name version $version"
  ! unzip -p "$zip" README.txt | grep -q '@VERSION@' || fail "README.txt has an unfilled version"
  echo "zip: $(echo $actual)"
}

case_wizard_without_driver() {
  [ ! -e "$system32/teVirtualMIDI64.dll" ] || fail "the prefix already has the driver"
  rm -f "$work/setup.exit"
  ("$wine" "$setup" </dev/null >/dev/null 2>&1; echo $? >"$work/setup.exit") &
  local steps=0
  until [ -s "$work/setup.exit" ]; do
    [ $steps -lt 120 ] || fail "the wizard did not finish: $(w "$probe" windows)"
    # Nothing to press yet (or any more) is no failure.
    w "$probe" wizard-step "Tessivane $version Setup" >>"$work/wizard.log" || true
    steps=$((steps + 1))
    sleep 0.5
  done
  sed 's/^/  /' "$work/wizard.log"
  [ "$(cat "$work/setup.exit")" = 0 ] || fail "setup ended with code $(cat "$work/setup.exit")"
  grep -q '^box: .*teVirtualMIDI64.dll' "$work/wizard.log" || fail "no box named the driver's DLL"
  grep -q 'Install the teVirtualMIDI driver' "$work/wizard.log" ||
    fail "the box did not say to install the driver"
  # A slow box may be seen twice before it closes; it must be the only one.
  [ "$(grep '^box:' "$work/wizard.log" | sort -u | wc -l)" = 1 ] || fail "more than one message box"
  grep -q '^page: &Finish' "$work/wizard.log" || fail "the wizard never reached its last page"
  expect_files
  [ -z "$(value "$run_key" Tessivane_x64)" ] || fail "start at logon is on without being chosen"
  [ "$(value "$uninstall_key" DisplayVersion)" = "1 $((${#version} + 1)) $version" ] ||
    fail "uninstall entry: $(value "$uninstall_key" DisplayVersion)"
  sleep 1
  none_running || fail "setup started the program although the driver is missing"
}

case_silent_reinstall_with_logon() {
  # Still without the driver: a silent setup must not stop to say so.
  local code=0
  timeout 120 "$wine" "$setup" /S </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent setup without the driver ended with code $code"
  [ -z "$(value "$run_key" Tessivane_x64)" ] || fail "a reinstall without /LOGON switched logon start on"
  cp "$driver" "$system32/teVirtualMIDI64.dll"
  w reg add "HKCU\\$settings_key" /v defaultPorts /t REG_SZ /d "$stored" /f >/dev/null
  code=0
  timeout 120 "$wine" "$setup" /S /LOGON=yes </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent setup ended with code $code"
  expect_files
  # The one version reaches the installed program's version resource and the installer's.
  [ "$(w "$probe" file-version "$installed")" = "$version" ] ||
    fail "the installed tessivane.exe says version [$(w "$probe" file-version "$installed")]"
  [ "$(w "$probe" file-version "$(w winepath -w "$setup")")" = "$version" ] ||
    fail "the installer says version [$(w "$probe" file-version "$(w winepath -w "$setup")")]"
  [ "$(value "$run_key" Tessivane_x64)" = "$expected_run_value" ] ||
    fail "Run value [$(value "$run_key" Tessivane_x64)], expected [$expected_run_value]"
  start_from_shortcut
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  # The program's check mark compares the Run value with its own module path.
  local own
  own=$(w "$probe" module-path) || fail "no running Tessivane window"
  [ "$own" = "$installed" ] || fail "the program runs as [$own], the Run value says [$installed]"
  # And the program itself takes the value for its own: its "Launch on startup" then switches
  # off (removes it) rather than writing its path over it; a second time writes it back.
  w "$probe" command 203 >/dev/null || fail "no running Tessivane to send the command to"
  wait_for 10 run_value_absent || fail "the program did not see start at logon as on:" \
    "the value is [$(value "$run_key" Tessivane_x64)]"
  w "$probe" command 203 >/dev/null
  wait_for 10 run_value_expected || fail "the program wrote [$(value "$run_key" Tessivane_x64)]"
  echo "runs as $own; Run value: $(value "$run_key" Tessivane_x64)"
}

case_silent_upgrade_while_running() {
  loopback_present || fail "the program from the previous case is not running: $(ports)"
  local next="$(( ${version%%.*} + 1 )).0"
  bash "$root/installer/build-installer.sh" "$build/release-stage" "$next" \
    "$work/Tessivane-$next-x64-setup.exe" || fail "could not build a $next installer"
  local code=0
  timeout 120 "$wine" "$work/Tessivane-$next-x64-setup.exe" /S </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "silent upgrade ended with code $code"
  expect_clean_exit
  [ "$(value "$uninstall_key" DisplayVersion)" = "1 $((${#next} + 1)) $next" ] ||
    fail "after the upgrade the uninstall entry says $(value "$uninstall_key" DisplayVersion)"
  [ "$(value "$run_key" Tessivane_x64)" = "$expected_run_value" ] ||
    fail "the upgrade changed the Run value to [$(value "$run_key" Tessivane_x64)]"
  [ "$(value "$settings_key" defaultPorts)" = "1 $((${#stored} + 1)) $stored" ] ||
    fail "the upgrade changed the stored choices to [$(value "$settings_key" defaultPorts)]"
  expect_files
  wait_for 30 loopback_present || fail "the upgrade did not start the program again: $(ports)"
  [ "$(running)" = 1 ] || fail "$(running) programs run after the upgrade"
  echo "upgraded to $next; the program runs again"
}

case_silent_uninstall_while_running() {
  # End the copy that setup started (its exit code is not ours to see) and start one whose is.
  w "$probe" exit >/dev/null || fail "no running Tessivane to end"
  wait_for 20 none_running || fail "the program did not end on Exit"
  wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"
  start_from_shortcut
  wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
  # As Windows runs it from Apps / Programs and Features.
  local quiet exe args
  quiet=$(value "$uninstall_key" QuietUninstallString) || fail "no QuietUninstallString"
  quiet=${quiet#* * }
  exe=${quiet#\"}; exe=${exe%%\"*}; args=${quiet##*\" }
  [ "$exe" = "$installdir\\uninstall.exe" ] && [ "$args" = /S ] ||
    fail "QuietUninstallString is [$quiet]"
  local code=0
  timeout 120 "$wine" "$exe" $args </dev/null >/dev/null 2>&1 || code=$?
  [ "$code" = 0 ] || fail "the uninstaller ended with code $code"
  expect_clean_exit
  wait_for 60 entry_gone || fail "the uninstall entry is still there"
  none_running || fail "$(running) programs still run"
  wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"
  ! exists "$installdir" || fail "left in the program folder: $(ls -A "$(unixpath "$installdir")")"
  ! exists "$shortcut" || fail "the Start-menu shortcut is still there"
  [ -z "$(value "$run_key" Tessivane_x64)" ] || fail "the Run value is still there"
  [ "$(value "$settings_key" defaultPorts)" = "1 $((${#stored} + 1)) $stored" ] ||
    fail "uninstall changed the stored choices to [$(value "$settings_key" defaultPorts)]"
  echo "kept: $(value "$settings_key" defaultPorts)"
}

passed=0 failed=0
run_case() {
  echo "== $1"
  local code=0
  # Not inside || or if: there set -e would be ignored within the case.
  ( set -eE; trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR; "$2" ); code=$?
  if [ "$code" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
run_case "the zip holds exactly the program, README.txt and the licences" case_zip
run_case "the wizard without the driver warns, installs and starts nothing" case_wizard_without_driver
run_case "a silent reinstall with start at logon; the program starts from its shortcut" \
  case_silent_reinstall_with_logon
run_case "a silent upgrade while it runs keeps the choices and the logon setting" \
  case_silent_upgrade_while_running
run_case "a silent uninstall while it runs ends it and leaves only the stored choices" \
  case_silent_uninstall_while_running

# Whatever a failed case left running goes with the prefix's server (the EXIT trap).
echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]
