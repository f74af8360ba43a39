#!/usr/bin/env bash
# soak.sh [WRITERS] [MESSAGES] [CYCLES]: forwarding against closing for a long while, under
# ThreadSanitizer. WRITERS applications (default 4) play MESSAGES messages each (default 1,000,000)
# through both ports of one entry while the tick disables and enables its output at least CYCLES
# times (default 10,000) and the fake bus unplugs and plugs devices. Then a shared input plays
# 10,000 messages a second with a 4 KiB SysEx every second for 10 s to two readers, which must get
# everything in order. Prints what arrived; exits non-zero on any failed check or any
# ThreadSanitizer report. CTest runs short versions of both.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan --target engine_soak engine_tests >/dev/null
# halt_on_error: the first report ends the run with ThreadSanitizer's exit code (66).
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
  build/native-tsan/tests/soak/engine_soak --writers "${1:-4}" --messages "${2:-1000000}" --cycles "${3:-10000}"
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" TESSIVANE_INPUT_BURST_SECONDS=10 \
  build/native-tsan/tests/unit/engine/engine_tests --gtest_filter='SharedInputs.ABurst*'
