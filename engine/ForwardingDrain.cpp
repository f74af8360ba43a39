#include "engine/ForwardingDrain.h"

#include "engine/CpuPause.h"
#include "engine/ProcessorYield.h"

namespace {

int const kSpins = 64;     // well under a microsecond of pauses
int const kYields = 1000;  // a few hundred microseconds when other threads are ready

}  // namespace

void waitUntilNoForwardingCall(std::atomic<std::int32_t> const& inFlight) {
    // Sequentially consistent reads: they pair with forward()'s increment, which comes before its
    // test of the closing flag that the caller has set before waiting here.
    for (int round = 0; inFlight.load(std::memory_order_seq_cst) != 0; ++round) {
        if (round < kSpins) {
            cpuPause();
        } else if (round < kSpins + kYields) {
            yieldProcessor();
        } else {
            sleepBriefly();
        }
    }
}
