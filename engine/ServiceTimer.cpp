#include "engine/ServiceTimer.h"

#include <thread>

namespace {

std::uint32_t const kPeriodMs = 1;
// Set while this thread runs a timer callback, so a stop from inside a tick does not wait for itself.
thread_local bool insideTimerCallback = false;

}  // namespace

ServiceTimer& serviceTimer() {
    static ServiceTimer timer;
    return timer;
}

bool ServiceTimer::start(MultimediaTimerApi const& api, TickFunction tick) {
    if (running_ != 0) {
        return false;
    }
    api_ = &api;
    api.beginPeriod(kPeriodMs);
    resolution_ = kPeriodMs;
    getTime_.store(api.getTime, std::memory_order_relaxed);
    startTime_.store(api.getTime(), std::memory_order_relaxed);
    running_ = 1;
    tick_.store(tick, std::memory_order_release);
    timerId_ = api.setEvent(kPeriodMs, kPeriodMs, &ServiceTimer::timerProc, 0, kTimePeriodic);
    return timerId_ != 0;
}

void ServiceTimer::stop() {
    if (running_ == 0) {
        return;
    }
    if (tick_.load(std::memory_order_relaxed) != nullptr && timerId_ != 0) {
        api_->killEvent(timerId_);
        timerId_ = 0;
    }
    // Cleared before the wait below (also after a failed start, so a stopped timer never holds a
    // tick function): pairs with timerProc raising inCallback_ before it reads the function.
    tick_.store(nullptr, std::memory_order_seq_cst);
    while (!insideTimerCallback && inCallback_.load(std::memory_order_seq_cst) != 0) {
        if (api_->serveWhileWaiting != nullptr) {
            api_->serveWhileWaiting();
        } else {
            std::this_thread::yield();
        }
    }
    running_ = 0;
    api_->endPeriod(resolution_);
}

void TE_TIMER_CALL ServiceTimer::timerProc(std::uint32_t, std::uint32_t, std::uintptr_t user,
                                           std::uintptr_t, std::uintptr_t) {
    ServiceTimer& timer = serviceTimer();
    // Raised before the tick function is read: pairs with stop(), which clears the function
    // before it waits for this counter to drain.
    timer.inCallback_.fetch_add(1, std::memory_order_seq_cst);
    TickFunction const tick = timer.tick_.load(std::memory_order_seq_cst);
    std::uint32_t (*const getTime)() = timer.getTime_.load(std::memory_order_relaxed);
    if (tick != nullptr && getTime != nullptr) {
        insideTimerCallback = true;
        std::uint32_t const elapsed = getTime() - timer.startTime_.load(std::memory_order_relaxed);
        tick(elapsed, user);
        insideTimerCallback = false;
    }
    // Lowered on every path; stop() waits for it.
    timer.inCallback_.fetch_sub(1, std::memory_order_seq_cst);
}
