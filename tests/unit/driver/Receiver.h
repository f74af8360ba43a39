// The program's side of a simulated port in tests: records what the data callback was given.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "virtual_midi/VirtualMidiApi.h"

namespace tessivane {

struct Receiver {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<std::uint8_t>> messages;
    std::vector<std::thread::id> threads;  // the thread of each call

    static void TE_VM_CALL onData(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                                  std::uintptr_t instance) {
        auto* self = reinterpret_cast<Receiver*>(instance);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->messages.emplace_back(bytes, bytes + length);
        self->threads.push_back(std::this_thread::get_id());
        self->arrived.notify_all();
    }
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(5), [&] { return messages.size() >= count; });
    }
    std::uintptr_t instance() { return reinterpret_cast<std::uintptr_t>(this); }
};

}  // namespace tessivane
