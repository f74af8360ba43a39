// The process-wide service timer: a 1 ms periodic multimedia event whose callback runs the tick
// function on the system's timer thread.
//
// Thread contract: start and stop are called on the user-interface thread only; timerProc runs on
// the timer thread. Protocol between them: timerProc raises its in-callback counter before it reads
// the tick function; stop clears the tick function before it waits for that counter to drain, so
// once stop has returned no tick runs or will start (timeKillEvent alone does not promise that for
// an event already under way). While it waits, stop serves what the running tick may need from the
// stopping thread (MultimediaTimerApi::serveWhileWaiting), so a tick blocked on that thread, for
// instance by an error box owned by its window, can finish.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/MultimediaTimerApi.h"

// Called with the elapsed milliseconds since start and the timer's user value; result ignored.
typedef bool (*TickFunction)(std::uint32_t elapsedMs, std::uintptr_t user);

class ServiceTimer {
public:
    // Fails (false, nothing changed) while running. On a failed timeSetEvent the timer stays
    // marked running with no event, and stop() undoes the period.
    bool start(MultimediaTimerApi const& api, TickFunction tick);
    // Does nothing when not running; a second stop does nothing.
    void stop();

    bool running() const { return running_ != 0; }
    std::uint32_t timerId() const { return timerId_; }

    static void TE_TIMER_CALL timerProc(std::uint32_t timerId, std::uint32_t message,
                                        std::uintptr_t user, std::uintptr_t reserved1,
                                        std::uintptr_t reserved2);

private:
    std::int32_t running_ = 0;
    std::atomic<std::uint32_t> startTime_{0};
    std::uint32_t resolution_ = 0;
    std::uint32_t timerId_ = 0;
    std::atomic<TickFunction> tick_{nullptr};
    std::atomic<std::uint32_t (*)()> getTime_{nullptr};
    std::atomic<int> inCallback_{0};
    MultimediaTimerApi const* api_ = nullptr;
};

// The one record per process.
ServiceTimer& serviceTimer();
