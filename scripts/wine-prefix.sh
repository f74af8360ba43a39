#!/usr/bin/env bash
# wine-prefix.sh up|down PREFIX: creates the test prefix and starts a persistent wineserver, or
# stops that server (and with it every Wine process of the prefix).
set -euo pipefail
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
loader=/usr/lib/wine/wine64
server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$server" ] || server=/usr/lib/wine/wineserver64
case $action in
  up)
    mkdir -p "$prefix"
    # A server left from an earlier run may be one that ends with its last client; the prefix's
    # must be the persistent one started below.
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
    # Persistent, and up before any Wine program starts: a program that finds no server starts one
    # that ends with its last client, and then every test that starts while it ends fails at once
    # (a reset connection, or an exit status with no output). wineserver returns once its socket
    # is ready and goes on in the background; detached from our stdio, or CTest waits for it.
    "$server" -p </dev/null >/dev/null 2>&1
    # Also for an existing prefix: wineboot starts Wine's background services here, detached.
    # Otherwise the first test process starts them and they hold CTest's output pipe open.
    "$loader" wineboot --init </dev/null >/dev/null 2>&1
    # Xvfb has no window manager: Wine's windows must not wait for one (every hidden dialog would
    # otherwise wait two seconds for a window manager to withdraw it).
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # A new prefix reports Windows 7; the program is made for Windows 10 version 1903 or later
    # (win10 is build 18362), so the tests run on what it declares.
    "$loader" reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
    echo "wine prefix ready: $prefix"
    ;;
  down)
    "$server" -k 2>/dev/null || true
    "$server" -w 2>/dev/null || true
    echo "wineserver stopped"
    ;;
  *) echo "usage: $0 up|down PREFIX" >&2; exit 2 ;;
esac
