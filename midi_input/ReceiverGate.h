// Lets an input's delivering thread (WinMM's callback thread, or the fake bus's player) into the
// receiver only while the input is open, and lets closePort wait until a call that got in has
// left. The delivery path takes no lock and allocates nothing: two atomic counters, both with
// sequentially consistent order, so that either the closer sees the caller inside or the caller
// sees the gate closed.
//
// Thread contract: open and close are called by the thread that opens and closes the input, never
// from inside the receiver (close would wait for itself); enter, receiver and leave by the
// delivering thread, any number of them at once.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "midi_input/MidiInput.h"

class ReceiverGate {
public:
    // Calls that start from now on reach `receiver`.
    void open(MidiInputReceiver& receiver) {
        receiver_ = &receiver;  // published to callers by the store below
        open_.store(true);
    }

    // Closes the gate; returns once no call that got in is still inside. A closed gate may be
    // closed again.
    void close() {
        open_.store(false);
        for (int spins = 0; inside_.load() != 0; ++spins) {
            // A receiver never waits, so this is short; a test that holds a delivery is not.
            if (spins < 64) {
                std::this_thread::yield();
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
    }

    // True: the caller is inside, may use receiver() and must call leave().
    bool enter() {
        inside_.fetch_add(1);
        if (open_.load()) {
            return true;
        }
        inside_.fetch_sub(1);
        return false;
    }
    MidiInputReceiver& receiver() const { return *receiver_; }
    void leave() { inside_.fetch_sub(1); }

    // One delivery through the gate; false when the gate was closed and nothing was called.
    bool deliver(std::uint8_t const* bytes, std::size_t length) {
        if (!enter()) {
            return false;
        }
        struct Leave {
            ReceiverGate& gate;
            ~Leave() { gate.leave(); }
        } const leaving{*this};
        receiver_->receive(bytes, length);
        return true;
    }

private:
    MidiInputReceiver* receiver_ = nullptr;
    std::atomic<bool> open_{false};
    std::atomic<int> inside_{0};
};
