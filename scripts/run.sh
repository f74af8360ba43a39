#!/usr/bin/env bash
# Starts tessivane.exe under Wine with the simulated virtual-port driver, in a Wine prefix of the
# build tree (never ~/.wine) and, when no X display is set, on a virtual one. Ctrl-C stops the
# program, the prefix's wineserver and the virtual display.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
echo "== building the Windows program"
cmake --preset windows >/dev/null
cmake --build --preset windows --target tessivane teVirtualMIDI64 vmidi_client >/dev/null

build="$root/build/windows"
export WINEPREFIX="$build/wineprefix-run" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
exe="$build/ui/tessivane.exe"
dll=$(find "$build" -name teVirtualMIDI64.dll -path '*simulated_driver*' -o -name teVirtualMIDI64.dll -path '*/bin/*' | head -n 1)
client=$(find "$build" -name vmidi-client.exe | head -n 1)

xvfb_pid=""
program_pid=""
stop_all() {
  trap - INT TERM EXIT
  echo
  echo "== stopping"
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  echo "stopped: no Wine process of $WINEPREFIX is left"
}
trap stop_all INT TERM EXIT

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  echo "== virtual display $DISPLAY (screenshot: DISPLAY=$DISPLAY import -window root shot.png)"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
fi
# A new prefix reports Windows 7; Tessivane needs Windows 10 version 1903 or later (win10 is build
# 18362), and its installer refuses anything older.
"$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
# Wine's own TrueType fonts (Tahoma, Marlett for caption buttons and check marks), where Wine looks
# for a Windows installation's fonts.
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# The simulated driver goes into this prefix's system folder, where the program's LoadLibrary finds it.
cp "$dll" "$WINEPREFIX/drive_c/windows/system32/teVirtualMIDI64.dll"

# A Wine desktop with a taskbar (Wine enables its shell for a desktop named "shell"), so the
# notification area exists for the tray icon.
"$wine" explorer /desktop=shell,1024x768 "$(winepath -w "$exe" 2>/dev/null || echo "$exe")" \
  </dev/null >/dev/null 2>&1 &
program_pid=$!

cat <<TXT
== Tessivane is running under Wine (prefix $WINEPREFIX)
   Its loopback pair: write into "Zarvik Loopback Out", read from "Zarvik Loopback In".
   In another terminal, with the same prefix:
     export WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all
     $wine "$client" receive "Zarvik Loopback In" --count 1 --timeout 10000 &
     $wine "$client" send "Zarvik Loopback Out" 90 3C 7F
     $wine "$client" list
   Press Ctrl-C to stop everything.
TXT
wait "$program_pid" || true
