// Round trips through an output->input pair with non-commercial SysEx (F0 7D ... F7), which nothing
// acts on: short ones, each sent when the one before came back or its wait ran out, then a long one.
// Each carries this run's mark and its number: others' messages are ignored, and one lost, changed,
// late or repeated is told apart. Three losses in a row end the run. run() on one thread;
// received() on the input's, one call at a time, also from inside the send function.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One message of a run, in microseconds from its start: sent (-1: not), late after dueUs, first
// back whole and unchanged (-1: not), first back with other bytes, and how often back after that.
struct Trip {
    long long sentUs = -1, dueUs = 0, backUs = -1;
    bool changed = false;
    unsigned repeats = 0;
};

struct LoopResult {
    unsigned sent = 0, inTime = 0, late = 0, lost = 0, changed = 0, repeated = 0;
    // Round trips of the short messages that came back unchanged (late ones too), and of the long one.
    std::optional<long long> medianUs, p99Us, maxUs, longUs;
    std::size_t longBytes = 0;
    std::string error;  // why the run stopped early
};

// The figures of a run, from its messages; the last is the long one.
LoopResult summarize(std::vector<Trip> const& trips);

class LoopProbe {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Send = std::function<void(Bytes const&)>;  // throws std::exception when the output fails

    // wait: how long a short message may take; longer ones get their time at 3125 bytes/s on top.
    explicit LoopProbe(std::chrono::milliseconds wait);
    // `count` short messages, then one of `longBytes` bytes.
    LoopResult run(Send const& send, unsigned count, std::size_t longBytes = 1024);
    void received(std::uint8_t const* bytes, std::size_t length);

private:
    Bytes message(unsigned number, std::size_t size) const;
    long long sinceStart() const;
    static bool pending(Trip const& trip) { return trip.sentUs >= 0 && trip.backUs < 0 && !trip.changed; }

    std::chrono::milliseconds wait_;
    std::uint8_t mark_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::steady_clock::time_point start_;
    std::vector<Bytes> expected_;
    std::vector<Trip> trips_;
};
