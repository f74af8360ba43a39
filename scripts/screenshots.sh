#!/usr/bin/env bash
# screenshots.sh: pictures of the tray program for the README, written to docs/. Wine lists no MIDI
# outputs, so the pictures are taken with the UI test harness: the program's real windows, menu,
# dialogs and resources on simulated outputs (tests/win32/ui/harness). It runs inside a Wine
# desktop that has a taskbar with a notification area, on a virtual display.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target tessivane_ui_harness program_windows >/dev/null
bash scripts/package.sh >/dev/null

build="$root/build/windows"
harness="$build/tests/win32/ui/tessivane-ui-harness.exe"
windows="$build/tests/e2e/program/program_windows.exe"
version=$(tr -d '[:space:]' <"$build/generated/version.txt")
setup="$root/dist/Tessivane-$version-x64-setup.exe"
# The release tests' probe steps through the installer's wizard.
probe="$build/screenshots/release-probe.exe"
mkdir -p "$(dirname "$probe")"
x86_64-w64-mingw32-g++-posix -std=c++17 -O1 -static -o "$probe" tests/release/release_probe.cpp \
  -lpsapi -lole32 -luuid -lversion
wine=/usr/lib/wine/wine64
export WINEPREFIX="$build/wineprefix-screenshots" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p docs

xvfb_pid=""
stop_all() {
  "$wine" "$windows" exit >/dev/null 2>&1 || true
  sleep 1
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap stop_all EXIT
for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || break; done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init </dev/null >/dev/null 2>&1
# A new prefix reports Windows 7; Tessivane needs Windows 10 version 1903 or later (win10 is build
# 18362), and its installer refuses anything older.
"$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
# Wine's own TrueType fonts (Debian's fonts-wine: Tahoma, and Marlett for the caption buttons and
# check marks), where Wine looks for a Windows installation's fonts.
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Every program of this prefix on one Wine desktop named "shell" (Wine gives that one a taskbar
# with a notification area), so that the harness and the tool that drives it see each other.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
# Each run starts from the same choices.
"$wine" reg delete 'HKCU\SOFTWARE\Velmora\Tessivane' /f >/dev/null 2>&1 || true

win() { "$wine" "$windows" "$@" 2>/dev/null; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.3; done
}
# shot <file> <left top width height>: the part of the screen around a window, with a margin.
shot() {
  local file=$1 left=$2 top=$3 width=$4 height=$5 margin=24
  left=$((left > margin ? left - margin : 0)); top=$((top > margin ? top - margin : 0))
  width=$((width + 2 * margin)); height=$((height + 2 * margin))
  [ $((left + width)) -le 1024 ] || width=$((1024 - left))
  [ $((top + height)) -le 768 ] || height=$((768 - top))
  import -window root -crop "${width}x${height}+${left}+${top}" +repage "docs/$file"
  echo "docs/$file"
}

export TESSIVANE_HARNESS_OUTPUTS="USB MIDI Interface|Synth Module|Synth Module|Drum Machine|Stage Piano"
export TESSIVANE_HARNESS_CHOSEN="USB MIDI Interface|Synth Module (2)"
export TESSIVANE_HARNESS_INPUTS="Keystation 49|USB MIDI Interface|Drum Pads"
export TESSIVANE_HARNESS_SHARED="Keystation 49"
"$wine" "$harness" </dev/null >/dev/null 2>&1 &
wait_for 60 win exists || { import -window root /tmp/failed-shot.png; echo "the harness did not start" >&2; exit 1; }
sleep 3

# The tray menu, opened where a right click on the icon would open it.
win tray-menu 1000 750
wait_for 10 win menu-rect
sleep 0.5
read -r left top width height < <(win menu-rect | tr -d "\r")
# With a piece of the desktop and the taskbar around it, where the icon is.
shot tray-menu.png $((left - 120)) $((top - 60)) $((1024 - left + 120)) $((768 - top + 60))
win escape
sleep 0.5

# shot_window <file> <title>: the window with this title, once it is there and drawn.
shot_window() {
  wait_for 10 win rect "$2"
  sleep 1
  read -r left top width height < <(win rect "$2" | tr -d "\r")
  shot "$1" "$left" "$top" "$width" "$height"
}

win configure
shot_window configure.png "Velmora Tessivane"
win escape
sleep 0.5

win share-inputs
shot_window share-inputs.png "Velmora Tessivane"
win escape
sleep 0.5

win about
shot_window about.png "About Velmora Tessivane"
win dismiss-about >/dev/null

# The installer, as on a machine where Tessivane was never installed and the driver is missing: its
# welcome page, then its default buttons up to the warning about the driver.
win exit
harness_gone() { ! win exists; }
wait_for 20 harness_gone || { echo "the harness did not end" >&2; exit 1; }
"$wine" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessivane' /f \
  >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Programs/Tessivane
title="Tessivane $version Setup"
wizard() { "$wine" "$probe" "$@" "$title" 2>/dev/null | tr -d "\r"; }
"$wine" "$setup" </dev/null >/dev/null 2>&1 &
setup_pid=$!
wait_for 60 wizard wizard-rect || { echo "the installer did not start" >&2; exit 1; }
sleep 1
read -r _ left top width height < <(wizard wizard-rect)
shot installer-welcome.png "$left" "$top" "$width" "$height"
# The warning with the whole wizard behind it, which stays where it was.
for _ in $(seq 60); do
  read -r kind _ < <(wizard wizard-rect) || true
  if [ "${kind:-}" = box ]; then
    sleep 1
    shot installer-no-driver.png "$left" "$top" "$width" "$height"
    break
  fi
  wizard wizard-step >/dev/null || true
  sleep 0.5
done
[ "${kind:-}" = box ] || { echo "the installer showed no warning" >&2; exit 1; }
# On to its end: OK, then Finish.
for _ in $(seq 60); do
  kill -0 "$setup_pid" 2>/dev/null || break
  wizard wizard-step >/dev/null || true
  sleep 0.5
done
