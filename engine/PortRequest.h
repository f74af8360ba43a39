// What the user interface asks the service tick to do, and the queue that carries it.
#pragma once

#include <cstdint>
#include <string>

#include <readerwriterqueue/readerwriterqueue.h>

struct PortRequest {
    // A published output's device index, or kLoopbackId.
    std::int32_t id = 0;
    // The output's unique name as published, or kLoopbackName.
    std::string name;
    // true: virtualize and open; false: close the hardware connection.
    bool enable = false;
};

std::int32_t const kLoopbackId = -1000;
char const* const kLoopbackName = "Zarvik Loopback";

// Single producer (the user-interface thread), single consumer (the service tick). Constructed for
// 15 requests, which is one block of 16 slots; producers only try_enqueue, so it never grows.
using RequestQueue = moodycamel::ReaderWriterQueue<PortRequest>;
std::size_t const kRequestQueueSize = 15;
