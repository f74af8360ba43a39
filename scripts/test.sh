#!/usr/bin/env bash
# Runs every test tier: the portable core natively under AddressSanitizer+UndefinedBehaviorSanitizer
# and under ThreadSanitizer, then the release (zip and installer, tests/release) and the Windows
# build (unit, Win32 integration and end-to-end tests) under Wine in a virtual X display. Installs
# what it needs first. Ends with CTest's summary of the last tier; exits non-zero if any tier
# failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
status=0
mkdir -p build

build() {
  local preset=$1
  echo "== building $preset"
  cmake --preset "$preset" >"build/$preset.log" 2>&1 || { cat "build/$preset.log"; return 1; }
  cmake --build --preset "$preset" -j "$jobs" >>"build/$preset.log" 2>&1 || {
    grep -E "error|Error|FAILED" -A3 "build/$preset.log" | head -n 80; return 1; }
  rm -f "build/$preset.log"
}

# Wine state of the test run lives in build/windows/wineprefix; stop its server whatever happens.
cleanup() {
  WINEPREFIX="$root/build/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

for preset in native-asan native-tsan; do
  if build "$preset"; then
    echo "== testing $preset"
    ctest --preset "$preset" || status=1
  else
    status=1
  fi
done

if build windows; then
  # The release before the Windows CTest run, so that CTest's summary stays the last word.
  echo "== testing the release (zip, installer, upgrade and uninstall under Wine)"
  bash tests/release/release-test.sh || status=1
  echo "== testing windows (under Wine)"
  xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows || status=1
else
  status=1
fi
exit $status
