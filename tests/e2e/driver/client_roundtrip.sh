#!/usr/bin/env bash
# client_roundtrip.sh BIN_DIR: a host process creates a written-into port and a read-from port
# through teVirtualMIDI64.dll and loops one into the other; vmidi-client, in processes of its
# own, writes bytes into the first and must print them back from the second as whole messages.
set -euo pipefail
bin=$1
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=C.UTF-8   # command-line port names reach Windows as UTF-8

work=$(mktemp -d)
host_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; for f in "$work"/*.txt; do echo "--- $f" >&2; cat "$f" >&2; done; exit 1; }

# Waits up to 30 s for a line in a file while the process that writes it is alive.
wait_for() {
  local pattern=$1 file=$2 pid=$3
  for _ in $(seq 300); do
    grep -q "$pattern" "$file" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || fail "process $pid ended before '$pattern'"
    sleep 0.1
  done
  fail "no '$pattern' in $file"
}

client() { "$wine" "$bin/vmidi-client.exe" "$@"; }

out_port="Sim E2E Out"
in_port="Sim E2E In é"

mkfifo "$work/host-stdin"
"$wine" "$bin/driver_test_host.exe" serve "$out_port" "$in_port" \
  <"$work/host-stdin" >"$work/host.txt" 2>&1 &
host_pid=$!
exec 3>"$work/host-stdin"   # the host runs until this closes
wait_for ready "$work/host.txt" "$host_pid"

# Round trip: running status, a SysEx and a real-time byte, from two applications in turn.
client receive "$in_port" --count 5 --timeout 20000 >"$work/received.txt" 2>"$work/receive-err.txt" &
receive_pid=$!
wait_for listening "$work/receive-err.txt" "$receive_pid"
client send "$out_port" 90 3C 7F 3E 7F F0 01 02 F7 || fail "send failed"
client send "$out_port" F8 c0 05 || fail "second send failed"
wait "$receive_pid" || fail "receive exited with $?"
expected=$'90 3C 7F\n90 3E 7F\nF0 01 02 F7\nF8\nC0 05'
[ "$(tr -d '\r' <"$work/received.txt")" = "$expected" ] || fail "received other bytes"

# Two applications read the port at once, as several read a shared input's port: both get all.
client receive "$in_port" --count 2 --timeout 20000 >"$work/reader-a.txt" 2>"$work/reader-a-err.txt" &
reader_a=$!
client receive "$in_port" --count 2 --timeout 20000 >"$work/reader-b.txt" 2>"$work/reader-b-err.txt" &
reader_b=$!
wait_for listening "$work/reader-a-err.txt" "$reader_a"
wait_for listening "$work/reader-b-err.txt" "$reader_b"
client send "$out_port" B0 40 7F FA || fail "send to two readers failed"
wait "$reader_a" || fail "first reader exited with $?"
wait "$reader_b" || fail "second reader exited with $?"
for reader in reader-a reader-b; do
  [ "$(tr -d '\r' <"$work/$reader.txt")" = $'B0 40 7F\nFA' ] || fail "$reader received other bytes"
done

# Nothing sent: receive times out with exit code 1.
set +e
client receive "$in_port" --count 1 --timeout 300 >/dev/null 2>"$work/timeout.txt"
code=$?
# A port nobody created: a clear message and a non-zero exit.
client send "Sim E2E Missing" 90 3C 7F 2>"$work/missing.txt"
missing=$?
client send "$out_port" 9 3C 2>/dev/null
bad_hex=$?
set -e
[ "$code" = 1 ] || fail "receive without data exited with $code"
[ "$missing" = 3 ] && grep -q 'no port named "Sim E2E Missing"' "$work/missing.txt" \
  || fail "send to a missing port exited with $missing"
[ "$bad_hex" = 2 ] || fail "bad hex exited with $bad_hex"

# The list shows both live ports.
client list >"$work/list.txt" 2>&1 || fail "list exited with $?"
grep -qx "$out_port" <(tr -d '\r' <"$work/list.txt") || fail "list misses $out_port"
grep -qx "$in_port" <(tr -d '\r' <"$work/list.txt") || fail "list misses $in_port"

exec 3>&-
wait "$host_pid" || fail "host exited with $?"
host_pid=
grep -q closed "$work/host.txt" || fail "host did not close its ports"
client list >"$work/list-after.txt" 2>&1
! grep -q "Sim E2E" "$work/list-after.txt" || fail "closed ports still listed"
echo "PASS"
