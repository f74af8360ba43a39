#include "midi_input/ReceiverGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct LateCallCounter : MidiInputReceiver {
    std::atomic<bool> closed{false};
    std::atomic<int> calls{0};
    std::atomic<int> late{0};
    void receive(std::uint8_t const*, std::size_t) override {
        ++calls;
        std::this_thread::yield();  // still running when a close that did not wait returns
        late += closed ? 1 : 0;
    }
};

}  // namespace

// The real inputs' guarantee, with WinMM's callback played by threads that never stop calling:
// once close returns, no call runs, whether it got in just before or tries just after.
TEST(ReceiverGate, NoCallRunsOnceCloseHasReturned) {
    ReceiverGate gate;
    LateCallCounter receiver;
    std::atomic<bool> stop{false};
    std::vector<std::thread> callbacks;
    for (int i = 0; i < 2; ++i) {
        callbacks.emplace_back([&] {
            std::uint8_t const clock = 0xF8;
            while (!stop) {
                if (!gate.deliver(&clock, 1)) {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        receiver.closed = false;
        int const before = receiver.calls;
        gate.open(receiver);
        while (receiver.calls == before) {
            std::this_thread::yield();  // a close with a call in flight or about to start
        }
        gate.close();
        receiver.closed = true;
    }
    stop = true;
    for (auto& thread : callbacks) {
        thread.join();
    }
    EXPECT_EQ(receiver.late.load(), 0);
    gate.close();  // closing a closed gate returns at once
}
