#!/usr/bin/env bash
# The tray program on simulated outputs (the UI harness) under Wine. An engine error shows a box on
# the engine's timer thread, owned by the hidden main window; the program must still end cleanly,
# with exit code 0 and no process left, when it is told to exit while that box is up:
# 1. WM_CLOSE to the main window, then the box dismissed;
# 2. the tray menu's "Exit" (command 105), then the box dismissed;
# 3. WM_CLOSE while a tick is under way that then raises the box (an error met just as the user
#    exits); a double-click and a right click on the tray icon, and the commands "Exit",
#    "Configure..." and "Launch on startup", sent meanwhile, do nothing;
# 4. a new output list and an error box waiting while the tree holds the mouse capture: the tree
#    is rebuilt and the box shown only once the capture is let go; then "Exit" while that
#    Configure dialog is open;
# 5. a check-box click that the full request queue refuses: the error box opens after the click
#    has been handled, the tree is rebuilt under it, and the program goes on after it.
set -euo pipefail
harness=$1 windows=$2
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a bash "$0" "$@"; fi

work="${BUILD_DIR:-$(dirname "$harness")/../../..}/e2e-ui-harness"
rm -rf "$work" && mkdir -p "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
win() { "$wine" "$windows" "$@" 2>/dev/null; }
window_exists() { win exists >/dev/null; }
error_box_up() { win error-text >"$work/error.txt"; }
harness_running() { [ -n "$program" ] && kill -0 "$program" 2>/dev/null; }
# A harness process of this prefix (Wine names the process after the exe, cut to 15 characters).
left_behind() {
  local pid
  for pid in $(pgrep -x "tessivane-ui-ha"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

program=""
start_harness() {
  "$wine" "$harness" </dev/null >"$work/harness.log" 2>&1 &
  program=$!
  wait_for 30 window_exists || fail "the harness did not start"
}
# Waits for the harness to end by itself; fails when it hangs or ends with another code.
expect_clean_exit() {
  local deadline=$((SECONDS + 20))
  while harness_running; do
    [ $SECONDS -lt $deadline ] || { kill -9 "$program"; fail "$1: the program did not end (hung)"; }
    sleep 0.2
  done
  local code=0
  wait "$program" || code=$?
  program=""
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
  ! left_behind || fail "$1: a harness process is left"
}
trap '[ -n "$program" ] && kill -9 "$program" 2>/dev/null; true' EXIT

# A chosen output that is plugged in while the program runs and cannot be opened: the tick that
# finds it reports the failure in an error box on the timer thread.
export TESSIVANE_HARNESS_OUTPUTS="Synth Module"
export TESSIVANE_HARNESS_LATER="Busy Synth"
export TESSIVANE_HARNESS_FAIL_OPEN="Busy Synth"
export TESSIVANE_HARNESS_CHOSEN="Busy Synth"

for how in close exit; do
  echo "== error box up, then '$how', then the box dismissed"
  start_harness
  win plug-later || fail "no harness control window"
  wait_for 20 error_box_up || fail "no error box appeared"
  echo "error box: $(tr -d '\r' <"$work/error.txt")"
  win "$how" || fail "could not send '$how'"
  sleep 1
  harness_running || fail "$how: the program ended before its error box was dismissed"
  win dismiss-error >/dev/null || fail "$how: the error box went away by itself"
  expect_clean_exit "$how with an error box"
done

echo "== 'close' while a tick is under way, then the error box it raises dismissed"
export TESSIVANE_HARNESS_SLOW_OPEN="Busy Synth"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
"$wine" reg delete "$run_key" /v Tessivane_x64 /f >/dev/null 2>&1 || true
start_harness
win plug-later || fail "no harness control window"
# The tick that found the output is in its first open, which lasts until the exit has begun.
slow_open_begun() { [ "$(win slow-opens | tr -d '\r')" -ge 1 ]; }
wait_for 20 slow_open_begun || fail "close during a tick: the tick did not begin its open"
win close || fail "could not send close"
wait_for 20 error_box_up || fail "close during a tick: no error box appeared (hung?)"
# The exit waits for that tick and serves sent messages meanwhile, as tray callbacks are sent;
# and commands sent meanwhile: a second "Exit", "Configure..." and "Launch on startup".
win tray-double-click || fail "could not send the double-click"
win tray-right-click || fail "could not send the right click"
for command in 105 202 203; do
  win send-command $command || fail "could not send command $command"
done
win sync >/dev/null || fail "the program did not handle the messages sent during the exit"
! win window "Velmora Tessivane" || fail "a Configure dialog opened during the exit"
! win menu-rect >/dev/null || fail "the tray menu opened during the exit"
! "$wine" reg query "$run_key" /v Tessivane_x64 >/dev/null 2>&1 ||
  fail "'Launch on startup' was switched during the exit"
harness_running || fail "close during a tick: the program ended before its error box was dismissed"
win dismiss-error >/dev/null || fail "close during a tick: the error box went away by itself"
expect_clean_exit "close during a tick"
unset TESSIVANE_HARNESS_SLOW_OPEN

echo "== a new output list and an error box wait while the tree holds the mouse; then 'Exit'"
export TESSIVANE_HARNESS_LATER="Drums"
count_is() { [ "$(win "$1" | tr -d '\r')" = "$2" ]; }
timers_at_least() { local count; count=$(win capture-timers "$1" | tr -d '\r') && [ "$count" -ge "$2" ]; }
start_harness
win configure
configure_open() { win window "Velmora Tessivane"; }
wait_for 20 configure_open || fail "the Configure dialog did not open"
count_is item-count 1 || fail "the tree does not show the one output"
win hold-capture || fail "could not hold the capture"
win plug-later || fail "could not plug"
win error-later || fail "could not keep an error box for later"
wait_for 20 count_is published-count 2 || fail "the engine did not publish the new output"
# Both deferrals have been served by a timer, and have held back, once each timer has come twice
# under the capture (the first handled); or one of them has not waited.
deferred_or_done() {
  error_box_up || count_is item-count 2 || { timers_at_least tree 2 && timers_at_least box 2; }
}
wait_for 20 deferred_or_done || fail "the timers did not come while the tree held the capture"
! error_box_up || fail "the error box opened while the tree held the mouse capture"
count_is item-count 1 || fail "the tree was rebuilt while it held the mouse capture"
win release-capture || fail "could not release the capture"
wait_for 10 count_is item-count 2 || fail "the tree was not rebuilt once the capture was let go"
wait_for 10 error_box_up || fail "the error box did not open once the capture was let go"
win dismiss-error >/dev/null || fail "could not dismiss the error box"
win exit || fail "could not send exit"
expect_clean_exit "exit with the Configure dialog open"
unset TESSIVANE_HARNESS_LATER

echo "== a click that the full queue refuses: the box after the click, the tree rebuilt under it"
"$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /v defaultPorts /f >/dev/null 2>&1 || true
unset TESSIVANE_HARNESS_CHOSEN TESSIVANE_HARNESS_FAIL_OPEN
box_state() { [ "$(win box-state | tr -d '\r')" = "$1" ]; }
start_harness
win configure
wait_for 20 configure_open || fail "the Configure dialog did not open"
box_state 1 || fail "the first output is not shown clear"
win fill-queue || fail "could not fill the queue"
win click-box || fail "could not click"
wait_for 20 error_box_up || fail "no error box for the refused request"
box_state 2 || fail "the error box opened inside the click notification (the box is not toggled yet)"
win release-ticks || fail "could not release the ticks"
wait_for 20 box_state 1 || fail "the tree was not rebuilt under the error box"
win dismiss-error >/dev/null || fail "could not dismiss the error box"
sleep 1
harness_running || fail "the program ended after the error box"
box_state 1 || fail "after the error box the tree no longer shows the published state"
win exit || fail "could not send exit"
expect_clean_exit "exit after a refused click"
echo "PASS"
