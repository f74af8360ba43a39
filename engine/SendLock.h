// Keeps two sends on one output connection from overlapping: both virtual ports of an entry may
// deliver at the same moment on different driver threads, and RtMidi's WinMM send keeps its SysEx
// buffer in the connection. Held only around the send. It allocates nothing (a std::mutex under
// mingw's winpthreads allocates on first use) and spins only briefly before it yields, because the
// holder may be inside a long SysEx send.
#pragma once

#include <atomic>
#include <thread>

#include "engine/CpuPause.h"

class SendLock {
public:
    void lock() {
        for (int spins = 0; busy_.exchange(true, std::memory_order_acquire); ++spins) {
            if (spins < 64) {
                cpuPause();
            } else {
                std::this_thread::yield();
            }
        }
    }
    void unlock() { busy_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> busy_{false};
};
