// The hop a shared input adds: from the input's callback (what WinMM calls on its thread) to the
// return of the driver's send into "<input> - In", with the simulated driver. Prints the median,
// the 99th percentile and the maximum for short messages (a note, a clock byte) and for a 4 KiB
// SysEx handed over in 1 KiB buffers, and the heap allocations made on the way: with no reader on
// the port (the engine's part alone) and with one reader (the simulated driver then copies each
// message into that reader's queue, as any driver must). Asserts nothing.
//
//   cmake --preset native-release && cmake --build --preset native-release --target input_hop_bench
//   build/native-release/bench/input_hop_bench [messages]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/native/AllocationCounter.h"
#include "engine/EngineTexts.h"
#include "engine/InputEntry.h"
#include "engine/PortName.h"
#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/SimulatedDriver.h"

namespace {

using Clock = std::chrono::steady_clock;
using Delivery = std::vector<std::uint8_t>;

void TE_VM_CALL noData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t, std::uintptr_t) {}

// One message, as the deliveries WinMM would make for it.
struct Kind {
    char const* name;
    std::vector<Delivery> deliveries;
};

std::vector<Kind> kinds() {
    Delivery sysex(4096, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    std::vector<Delivery> pieces;
    for (std::size_t at = 0; at < sysex.size(); at += 1024) {
        pieces.emplace_back(sysex.begin() + static_cast<long>(at),
                            sysex.begin() + static_cast<long>(std::min(at + 1024, sysex.size())));
    }
    return {{"note on (3 bytes)", {{0x90, 0x3C, 0x7F}}},
            {"clock (1 byte)", {{0xF8}}},
            {"SysEx 4 KiB in 4 buffers", pieces}};
}

struct Figures {
    double p50 = 0, p99 = 0, max = 0;
    long allocations = 0;
};

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Times each message from its first delivery until the delivery that completes it has returned.
Figures measure(InputEntry& entry, Kind const& kind, int messages) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(messages));
    long const before = g_allocations;
    for (int i = 0; i < messages; ++i) {
        Clock::time_point const start = Clock::now();
        for (Delivery const& delivery : kind.deliveries) {
            entry.receive(delivery.data(), delivery.size());
        }
        times.push_back(microseconds(Clock::now() - start));
    }
    Figures figures;
    figures.allocations = g_allocations - before;
    std::sort(times.begin(), times.end());
    figures.p50 = times[times.size() / 2];
    figures.p99 = times[times.size() * 99 / 100];
    figures.max = times.back();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    int const messages = argc > 1 ? std::atoi(argv[1]) : 100000;
    VirtualMidiDriver const driver = tessivane::simulatedDriver();
    InputEntry entry("Bench Keyboard", &driver);
    std::u16string const portName = makePortName(entry.name, kInputPortSuffix);
    entry.port = VirtualPort(&driver, driver.createPortEx2(portName.c_str(), &noData, 0,
                                                           kMaxInputSysexLength,
                                                           kVirtualMidiParseTx | kVirtualMidiTxOnly));
    if (!entry.port) {
        std::fprintf(stderr, "could not create the port\n");
        return 1;
    }
    std::printf("%-28s %-10s %9s %9s %9s %12s\n", "message", "readers", "p50 us", "p99 us",
                "max us", "allocations");
    for (int readers = 0; readers <= 1; ++readers) {
        std::unique_ptr<tessivane::SimulatedApplicationPort> reader;
        std::atomic<bool> stop{false};
        std::thread drain;
        if (readers == 1) {
            reader = tessivane::SimulatedApplicationPort::open(portName);
            drain = std::thread([&] {
                while (!stop) reader->read(std::chrono::milliseconds(5));
            });
        }
        for (Kind const& kind : kinds()) {
            int const count = kind.deliveries.size() > 1 ? messages / 20 : messages;
            measure(entry, kind, count / 10);  // warm the caches and the driver's buffers
            Figures const f = measure(entry, kind, count);
            std::printf("%-28s %-10d %9.2f %9.2f %9.1f %12.3f\n", kind.name, readers, f.p50, f.p99,
                        f.max, static_cast<double>(f.allocations) / count);
        }
        stop = true;
        if (drain.joinable()) drain.join();
    }
    std::printf("(allocations per message; lost: %llu)\n",
                static_cast<unsigned long long>(entry.lost.load()));
    entry.port.reset();
    return 0;
}
