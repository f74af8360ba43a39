// Round trips through an output->input pair, with messages that no instrument or application acts
// on: non-commercial SysEx (F0 7D ... F7), many short ones and one long one. Each carries this
// run's mark and its number, so messages of others on the same input are ignored and a message
// that comes back lost, changed or late is told apart.
//
// Thread contract: run() on one thread; received() from the input's thread (one call at a time),
// also from inside the send function that run() calls.
//
// Design note: a message is sent only when the one before it came back or its wait ran out, so
// at most one is in flight on time; one that arrives after its wait counts as late, not lost.
// After three losses in a row the run gives up: the pair is not passing anything, and waiting
// out every message would only prolong that.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct LoopResult {
    unsigned sent = 0, inTime = 0, lost = 0, changed = 0, late = 0;
    long long medianUs = -1, p99Us = -1, maxUs = -1;  // short messages that came back in time
    std::size_t longBytes = 0;
    long long longUs = -1;  // the long message's round trip; -1 when it did not come back whole
    std::string error;      // why the run stopped early; empty when it did not
    bool clean() const { return error.empty() && lost == 0 && changed == 0 && late == 0; }
};

class LoopProbe {
public:
    using Bytes = std::vector<std::uint8_t>;
    // Sends one message; throws std::exception when the output fails.
    using Send = std::function<void(Bytes const&)>;

    // wait: how long a short message may take; longer ones get the time their bytes take at
    // MIDI's 3125 bytes per second on top.
    explicit LoopProbe(std::chrono::milliseconds wait);

    // `count` short messages, then one of `longBytes` bytes.
    LoopResult run(Send const& send, unsigned count, std::size_t longBytes = 1024);
    void received(std::uint8_t const* bytes, std::size_t length);

private:
    enum class State { Unsent, Waiting, Back, Overdue, Late, Changed };
    using Clock = std::chrono::steady_clock;
    Bytes message(unsigned number, std::size_t size) const;
    void arrived(Bytes const& bytes, Clock::time_point when);
    bool waitFor(unsigned number, Clock::time_point deadline);

    std::chrono::milliseconds wait_;
    std::uint8_t mark_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> expected_;
    std::vector<State> states_;
    std::vector<Clock::time_point> sentAt_;
    std::vector<long long> roundTripUs_;
    unsigned foreignChanged_ = 0;  // ours by mark, but with a number that was never sent
    Bytes partial_;                // a SysEx that arrives in pieces
};
