#!/usr/bin/env bash
# wine-test.sh EXE [ARGS...]: runs one test program under Wine for CTest. Wine's own error
# messages are kept apart (with the program's standard error) and, when the program fails, shown
# after its output together with its exit status, so that a failure without output still says
# why it ended. When it passes, only the program's own standard error is passed on.
wine=${WINE:-/usr/lib/wine/wine64}
errors=$(mktemp) || exit 1
trap 'rm -f "$errors"' EXIT

# Wine's error class on every channel, nothing else of its chatter.
WINEDEBUG=-all,err+all "$wine" "$@" 2>"$errors"
status=$?
if [ "$status" -eq 0 ]; then
  grep -Ev '^([0-9a-f]{4}:){1,2}err:' "$errors" >&2
else
  cat "$errors" >&2
  if [ "$status" -gt 128 ]; then
    echo "wine-test: $(basename "$1") was killed by signal $((status - 128))" >&2
  else
    # Wine passes on the low byte of the Windows exit code (0xC0000005 ends as 5).
    echo "wine-test: $(basename "$1") ended with exit status $status" >&2
  fi
fi
exit "$status"
