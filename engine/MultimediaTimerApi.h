// The multimedia timer functions the service timer uses, as a table so that tests can stand in
// for the system (a timeSetEvent that fails, counts of timeEndPeriod calls).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define TE_TIMER_CALL __stdcall
#else
#define TE_TIMER_CALL
#endif

// The system's timer-callback signature: timer id, message, user value, two reserved values.
typedef void(TE_TIMER_CALL* TimerCallback)(std::uint32_t timerId, std::uint32_t message,
                                           std::uintptr_t user, std::uintptr_t reserved1,
                                           std::uintptr_t reserved2);

std::uint32_t const kTimePeriodic = 1;  // TIME_PERIODIC, with a callback function

struct MultimediaTimerApi {
    std::uint32_t (*beginPeriod)(std::uint32_t period) = nullptr;
    std::uint32_t (*endPeriod)(std::uint32_t period) = nullptr;
    std::uint32_t (*getTime)() = nullptr;
    // Returns the event id, 0 on failure.
    std::uint32_t (*setEvent)(std::uint32_t delay, std::uint32_t resolution, TimerCallback callback,
                              std::uintptr_t user, std::uint32_t flags) = nullptr;
    std::uint32_t (*killEvent)(std::uint32_t timerId) = nullptr;
    // Called over and over while stop() waits for a tick that is still running. The tick may need
    // the stopping thread: an error box that the tick shows is owned by the main window, and
    // opening or closing it sends messages to that window's thread, which is the one waiting. On
    // Windows this serves those messages and sleeps until one arrives or a moment has passed;
    // absent, the wait only yields.
    void (*serveWhileWaiting)() = nullptr;
};
