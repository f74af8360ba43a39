# Shared by idle-cpu.sh and latency.sh (sourced, not run): a Wine prefix of the build tree with
# the simulated driver in its system folder, as scripts/run.sh sets one up, and a wineserver of
# our own started in the foreground so that its process id is known. The program needs an X
# display for its hidden window (no Wine desktop); a virtual one is started when none is set.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/windows"
wine=/usr/lib/wine/wine64
server_bin=/usr/lib/wine/wineserver64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

build_windows() {  # build_windows TARGET...
  (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows --target "$@" >/dev/null)
}

server_pid=""
xvfb_pid=""
started_pids=()
stop_prefix() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$server_pid" ]; then
    "$server_bin" -k 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

start_prefix() {  # start_prefix NAME: prefix build/windows/wineprefix-NAME, driver installed
  export WINEPREFIX="$build/wineprefix-$1"
  mkdir -p "$WINEPREFIX"
  "$server_bin" -k 2>/dev/null || true
  "$server_bin" -w 2>/dev/null || true
  "$server_bin" -f -p </dev/null >/dev/null 2>&1 &
  server_pid=$!
  trap stop_prefix EXIT
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep 1
  fi
  # Creates the prefix the first time; starts Wine's background services, detached, every time.
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  # A new prefix reports Windows 7; measure on the Windows the program is made for.
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
  cp "$build/bin/teVirtualMIDI64.dll" "$WINEPREFIX/drive_c/windows/system32/teVirtualMIDI64.dll"
}

start_windows_program() {  # start_windows_program EXE ARGS...: sets program_pid
  "$wine" "$@" </dev/null >/dev/null 2>&1 &
  program_pid=$!
  started_pids+=("$program_pid")
}

# Waits until the loopback pair of a running tessivane.exe can be opened (vmidi-client exit 0).
wait_for_loopback() {
  local deadline=$((SECONDS + 60))
  until "$wine" "$build/bin/vmidi-client.exe" receive "Zarvik Loopback In" --count 0 --timeout 0 \
      >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || { echo "the loopback pair did not appear" >&2; return 1; }
    sleep 0.5
  done
}

# user + system clock ticks of a process, all its threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
