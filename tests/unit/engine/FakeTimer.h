// A stand-in for the multimedia timer: counts calls, never fires by itself; a test fires it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/MultimediaTimerApi.h"

struct FakeTimer {
    static inline std::atomic<int> begins{0}, ends{0}, sets{0}, kills{0}, serves{0};
    static inline std::atomic<std::uint32_t> nextId{7};   // 0 makes timeSetEvent fail
    static inline std::atomic<std::uint32_t> now{1000};
    static inline TimerCallback callback = nullptr;

    static void reset() {
        begins = ends = sets = kills = serves = 0;
        nextId = 7;
        now = 1000;
        callback = nullptr;
    }
    static MultimediaTimerApi const& api() {
        static MultimediaTimerApi const table = {
            [](std::uint32_t) -> std::uint32_t { ++begins; return 0; },
            [](std::uint32_t) -> std::uint32_t { ++ends; return 0; },
            []() -> std::uint32_t { return now.load(); },
            [](std::uint32_t, std::uint32_t, TimerCallback cb, std::uintptr_t, std::uint32_t flags) -> std::uint32_t {
                ++sets;
                callback = cb;
                return nextId.load();
            },
            [](std::uint32_t) -> std::uint32_t { ++kills; return 0; },
            [] { ++serves; std::this_thread::yield(); },
        };
        return table;
    }
    // What the system's timer thread would do on an event.
    static void fire() {
        if (callback != nullptr) {
            callback(nextId, 0, 0, 0, 0);
        }
    }
};
