#!/usr/bin/env bash
# The real tessivane.exe under Wine with the simulated driver beside it:
# 1. the loopback pair carries messages from one application to another, whole and unchanged;
# 2. Alt+? and Alt+/ open the About box, which names the version;
# 3. the tray menu's "Exit" (command 105) ends the program with exit code 0, its ports with it;
# 4. so does WM_CLOSE;
# 5. a driver that refuses one loopback port: the error is shown, no half-made pair is left, and the
#    program still runs;
# 6. without the driver, an error box names the missing DLL and the program ends with code 0,
#    having added no tray icon;
# 7. where the UTF-8 code page does not apply (Windows before 10 1903), an error box says what the
#    program needs and it ends with code 0, its engine never started.
set -euo pipefail
exe=$1 dll=$2 client=$3 windows=$4 version_file=$5
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi

work="${BUILD_DIR:-$(dirname "$exe")/..}/e2e-program"
rm -rf "$work" && mkdir -p "$work"
# The DLL beside the exe: found first by LoadLibraryW, and no other test sees it.
cp "$exe" "$dll" "$work/"

fail() { echo "FAIL: $*" >&2; exit 1; }
# Whether a port exists, asked the way an application would: by opening it. (Wine cannot list
# named pipes, so the client's `list` does not work here.) Exit code 3 means "no such port".
in_port_state() {
  local code=0
  "$wine" "$client" receive "Zarvik Loopback In" --count 0 --timeout 0 >/dev/null 2>&1 || code=$?
  echo "$code"
}
out_port_state() {  # probes with Active Sensing (FE), which a MIDI receiver may always ignore
  local code=0
  "$wine" "$client" send "Zarvik Loopback Out" FE >/dev/null 2>&1 || code=$?
  echo "$code"
}
ports() { echo "In: $(in_port_state), Out: $(out_port_state) (0 = present, 3 = absent)"; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
loopback_present() { [ "$(in_port_state)" = 0 ] && [ "$(out_port_state)" = 0 ]; }
no_loopback() { [ "$(in_port_state)" = 3 ] && [ "$(out_port_state)" = 3 ]; }
window_closed() { "$wine" "$windows" close >/dev/null 2>&1; }
window_exists() { "$wine" "$windows" exists >/dev/null 2>&1; }
error_dismissed() { "$wine" "$windows" dismiss-error >"$work/error.txt" 2>/dev/null; }

program=""
start_program() {  # start_program [folder]
  "$wine" "${1:-$work}/tessivane.exe" </dev/null >"$work/program.log" 2>&1 &
  program=$!
}
stop_program() {
  wait_for 20 window_closed || fail "the main window was not found"
  wait_exit
}
wait_exit() {  # fails when the program does not end within 30 s, or ends with another code
  local deadline=$((SECONDS + 30))
  while kill -0 "$program" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { kill -9 "$program"; fail "tessivane.exe did not end (hung)"; }
    sleep 0.2
  done
  local code=0
  wait "$program" || code=$?
  [ "$code" -eq 0 ] || fail "tessivane.exe exited with $code"
  program=""
}
area=""
trap 'for p in $program $area; do kill "$p" 2>/dev/null || true; done' EXIT

echo "== loopback carries messages between two applications"
start_program
wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
"$wine" "$client" receive "Zarvik Loopback In" --count 3 --timeout 20000 \
  >"$work/received.txt" 2>"$work/receiver.log" &
receiver=$!
wait_for 20 grep -q listening "$work/receiver.log" || fail "the receiver did not connect"
"$wine" "$client" send "Zarvik Loopback Out" 90 3C 7F F0 7E 7F 06 01 F7 >/dev/null
"$wine" "$client" send "Zarvik Loopback Out" 80 3C 00 >/dev/null
wait "$receiver" || fail "the receiver timed out: $(cat "$work/received.txt")"
expected=$'90 3C 7F\nF0 7E 7F 06 01 F7\n80 3C 00'
actual=$(tr -d '\r' <"$work/received.txt")
[ "$actual" = "$expected" ] || fail "received [$actual], expected [$expected]"
echo "received: $(echo "$actual" | tr '\n' '|')"

echo "== Alt+? and Alt+/ open the About box"
about_dismissed() { "$wine" "$windows" dismiss-about >"$work/about.txt" 2>/dev/null; }
for key in '?' '/'; do
  # The keyboard reaches the hidden main window once the tray menu has made it the foreground
  # window: a right click on the icon, Esc, then the keys.
  "$wine" "$windows" tray-menu 1000 740 || fail "the main window was not found"
  sleep 0.5
  "$wine" "$windows" escape
  sleep 0.5
  "$wine" "$windows" accelerator "$key" || fail "could not send Alt+$key"
  wait_for 10 about_dismissed || fail "Alt+$key opened no About box"
  grep -q "Tessivane, Version $(cat "$version_file")" "$work/about.txt" ||
    fail "the About box said: $(cat "$work/about.txt")"
done
echo "About box: $(tr -d '\r' <"$work/about.txt" | tr '\n' '|')"

echo "== 'Exit' ends the program cleanly and its ports go with it"
"$wine" "$windows" exit || fail "the main window was not found"
wait_exit
wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"

echo "== WM_CLOSE ends the program cleanly and its ports go with it"
start_program
wait_for 30 loopback_present || fail "the loopback ports did not appear: $(ports)"
stop_program
wait_for 10 no_loopback || fail "ports outlived the program: $(ports)"

# From here on a notification area of ours counts the icon messages (a line each).
"$wine" "$windows" notification-area </dev/null >"$work/icons.txt" 2>/dev/null &
area=$!
wait_for 20 grep -q ready "$work/icons.txt" || fail "could not play the notification area"
icons() { grep -c icon "$work/icons.txt"; }

echo "== a refused loopback port is reported and leaves no half-made pair"
export TESSIVANE_SIM_REFUSE="Zarvik Loopback In"
start_program
unset TESSIVANE_SIM_REFUSE
# The loopback is tried in the engine's first tick, which reports the refused port.
wait_for 30 error_dismissed || fail "no error box named the refused port"
grep -q 'Zarvik Loopback In' "$work/error.txt" || fail "the error box said: $(cat "$work/error.txt")"
echo "error box: $(tr -d '\r' <"$work/error.txt")"
no_loopback || fail "a half-made loopback pair is left: $(ports)"
stop_program
[ "$(icons)" -ge 1 ] || fail "the program that started added no tray icon"

echo "== without the driver an error box names the DLL and the program ends, with no tray icon"
mkdir -p "$work/no-driver"
cp "$exe" "$work/no-driver/"
icons_before=$(icons)
start_program "$work/no-driver"
wait_for 30 error_dismissed || fail "no error box appeared"
grep -q "teVirtualMIDI64.dll" "$work/error.txt" || fail "the error box said: $(cat "$work/error.txt")"
echo "error box: $(tr -d '\r' <"$work/error.txt")"
wait_exit
[ "$(icons)" = "$icons_before" ] || fail "a start that failed showed a tray icon"

echo "== before Windows 10 1903 (no UTF-8 code page) a box says so; the engine never starts"
mkdir -p "$work/old-windows"
# The manifest's UTF-8 code page, which Windows before 10 1903 ignores, made one that Wine ignores.
perl -0777 -pe 's/>UTF-8</>UTF-7</' "$exe" >"$work/old-windows/tessivane.exe"
grep -qa '>UTF-7<' "$work/old-windows/tessivane.exe" || fail "no UTF-8 code page in the manifest"
cp "$dll" "$work/old-windows/"
start_program "$work/old-windows"
error_up() { "$wine" "$windows" error-text >"$work/error.txt" 2>/dev/null; }
wait_for 30 error_up || fail "no error box appeared"
# It names the code page it found (Wine's for the prefix's locale) and the setting that helps.
text=$(tr -d '\r' <"$work/error.txt")
case "$text" in
  "Tessivane needs Windows 10 version 1903 or later. This Windows gives it code page "[0-9]*", not UTF-8. On an older Windows 10, ticking \"Beta: Use Unicode UTF-8 for worldwide language support\""*) ;;
  *) fail "the error box said: $text" ;;
esac
no_loopback || fail "the engine started: $(ports)"
error_dismissed || fail "could not dismiss the error box"
wait_exit
echo "PASS"
