// The wait of the output close sequence and of an entry's retirement: until no forwarding call is
// inside the entry.
#pragma once

#include <atomic>
#include <cstdint>

// Returns once `inFlight` reads 0. It has no time limit: it waits as long as a send takes, and a
// SysEx send at MIDI speed can take seconds. So it spins only briefly (a short message is sent in
// microseconds), then yields the processor, then sleeps a millisecond at a time, so that a long
// wait costs no core. (A deliberate change from a pure busy-wait; the flag-and-counter protocol
// itself is unchanged.)
void waitUntilNoForwardingCall(std::atomic<std::int32_t> const& inFlight);
