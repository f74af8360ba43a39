// Soak run of forwarding against closing: writer applications play through both ports of one
// entry while the tick disables and enables the output, and devices are unplugged and plugged.
// Meant for ThreadSanitizer (scripts/soak.sh); CTest runs a short version in every native build.
//
//   engine_soak [--writers N] [--messages N] [--cycles N]
//
// Checks, and exits non-zero unless all hold: no send while the output was closed or closing and
// no overlapping sends (the fake bus counts both), every message that reached the device is whole
// and each writer's SysEx numbers arrive in order, every send to a plugged device was recorded,
// no error was reported, and the entry is left with no forwarding call inside and its flag clear.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/SimulatedDriver.h"

namespace {

struct Options {
    int writers = 4;
    long messages = 1000000;
    long cycles = 10000;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        long const value = std::atol(argv[i + 1]);
        if (std::strcmp(argv[i], "--writers") == 0) options.writers = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--messages") == 0) options.messages = value;
        else if (std::strcmp(argv[i], "--cycles") == 0) options.cycles = value;
    }
    return options;
}

// A timer that starts and never fires: the soak runs the ticks itself.
MultimediaTimerApi const& silentTimer() {
    static MultimediaTimerApi const api = {
        [](std::uint32_t) -> std::uint32_t { return 0; },
        [](std::uint32_t) -> std::uint32_t { return 0; },
        []() -> std::uint32_t { return 0; },
        [](std::uint32_t, std::uint32_t, TimerCallback, std::uintptr_t, std::uint32_t) -> std::uint32_t { return 1; },
        [](std::uint32_t) -> std::uint32_t { return 0; },
    };
    return api;
}

std::atomic<int> errorsReported{0};

// SysEx that carries the writer and its message number in 7-bit pieces.
std::vector<std::uint8_t> numbered(int writer, long number) {
    return {0xF0, 0x7D, static_cast<std::uint8_t>(writer),
            static_cast<std::uint8_t>((number >> 21) & 0x7F), static_cast<std::uint8_t>((number >> 14) & 0x7F),
            static_cast<std::uint8_t>((number >> 7) & 0x7F), static_cast<std::uint8_t>(number & 0x7F), 0xF7};
}

struct Checker {
    explicit Checker(int writers) : lastNumber(writers, -1) {}
    std::vector<long> lastNumber;
    std::uint64_t received = 0, notes = 0, sysex = 0;
    std::string failure;

    void check(std::vector<FakeDeviceBus::Message> const& messages) {
        for (auto const& m : messages) {
            ++received;
            int const writers = static_cast<int>(lastNumber.size());
            if (m.size() == 3 && (m[0] & 0xF0) == 0x90 && (m[0] & 0x0F) < writers && m[1] < 0x80 && m[2] < 0x80) {
                ++notes;
            } else if (m.size() == 8 && m[0] == 0xF0 && m[1] == 0x7D && m[2] < writers && m[7] == 0xF7) {
                ++sysex;
                long const number = (long(m[3]) << 21) | (long(m[4]) << 14) | (long(m[5]) << 7) | long(m[6]);
                if (number <= lastNumber[m[2]] && failure.empty()) failure = "a writer's messages arrived out of order";
                lastNumber[m[2]] = number;
            } else if (failure.empty()) {
                failure = "a message arrived broken";
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    Options const options = parse(argc, argv);
    FakeDeviceBus bus;
    bus.plug("Keys");
    bus.plug("Synth");

    PortController::Dependencies d;
    d.outputs = &bus;
    d.driver = tessivane::simulatedDriver();
    d.timer = &silentTimer();
    auto controller = std::make_unique<PortController>(d);
    PortController::Hooks hooks;
    hooks.error = [](char const* text) {
        std::fprintf(stderr, "soak: error reported: %s\n", text);
        ++errorsReported;
    };
    hooks.defaultPorts = [](std::vector<std::string>* names) { names->push_back("Synth"); };
    if (!controller->initialize(hooks)) return 2;
    controller->serviceTick();  // the loopback request
    PortEntry* entry = controller->findEntry("Synth");
    if (entry == nullptr || !entry->outputOpen()) {
        std::fprintf(stderr, "soak: Synth was not opened at start\n");
        return 2;
    }

    std::atomic<int> writersDone{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < options.writers; ++w) {
        writers.emplace_back([&, w] {
            auto port = tessivane::SimulatedApplicationPort::open(w % 2 == 0 ? u"Synth - MIDI" : u"Synth - SysEx");
            for (long i = 0; port && i < options.messages; ++i) {
                if (i % 8 == 7) {
                    port->write(numbered(w, i));
                } else {
                    std::uint8_t const note[] = {static_cast<std::uint8_t>(0x90 | w),
                                                 static_cast<std::uint8_t>(i & 0x7F),
                                                 static_cast<std::uint8_t>((i >> 7) & 0x7F)};
                    port->write(note, 3);
                }
                if (i % 256 == 255) port->flush();  // an application's pace, and bounded queues
            }
            if (port) port->flush();
            ++writersDone;
        });
    }

    Checker checker(options.writers);
    auto idOf = [&](char const* name) {
        for (auto const& record : controller->publishedOutputs())
            if (record.name == name) return record.id;
        return -1;
    };
    long cycle = 0, unplugs = 0;
    auto const started = std::chrono::steady_clock::now();
    // At least the requested cycles, and on for as long as the writers play.
    for (; cycle < options.cycles || writersDone.load() < options.writers; ++cycle) {
        std::int32_t const id = idOf("Synth");
        controller->tryEnqueue(PortRequest{id, "Synth", false});
        controller->serviceTick();
        controller->tryEnqueue(PortRequest{id, "Synth", true});
        controller->serviceTick();
        if (cycle % 50 == 25) {  // a device below Synth goes and comes back: Synth's index moves
            bus.unplug("Keys");
            controller->serviceTick();
            bus.plugAt(0, "Keys");
            controller->serviceTick();
            ++unplugs;
        }
        if (cycle % 200 == 100) {  // Synth itself is unplugged while applications play into it
            bus.unplug("Synth");
            controller->serviceTick();
            bus.plug("Synth");
            controller->serviceTick();
            ++unplugs;
        }
        checker.check(bus.takeReceived("Synth"));
    }
    for (auto& writer : writers) writer.join();
    checker.check(bus.takeReceived("Synth"));
    double const seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::uint64_t const sends = bus.sendCount(), lost = bus.lostSendCount();
    std::printf("soak: %d writers x %ld messages, %ld disable/enable cycles, %ld unplug/plug, %.1f s\n",
                options.writers, options.messages, cycle, unplugs, seconds);
    std::printf("soak: %llu arrived (%llu notes, %llu SysEx), %llu lost to unplugged devices, "
                "%llu dropped while closed\n",
                static_cast<unsigned long long>(checker.received), static_cast<unsigned long long>(checker.notes),
                static_cast<unsigned long long>(checker.sysex), static_cast<unsigned long long>(lost),
                static_cast<unsigned long long>(options.writers * options.messages - sends));
    bool ok = true;
    auto expect = [&](bool condition, char const* what) {
        if (!condition) {
            std::fprintf(stderr, "soak: FAILED: %s\n", what);
            ok = false;
        }
    };
    expect(bus.violations() == 0, "a send while closed or closing, or two sends at once");
    expect(checker.failure.empty(), checker.failure.empty() ? "" : checker.failure.c_str());
    expect(checker.received + lost == sends, "a send to a plugged device was not recorded");
    expect(checker.received > 0, "nothing arrived: the writers never met an open output");
    expect(errorsReported.load() == 0, "an error was reported");
    expect(entry->inFlight.load() == 0 && !entry->closing.isSet(), "the entry was left busy");
    controller->stopServiceTimer();
    controller.reset();
    expect(bus.liveOutputs() == 0, "an output outlived the engine");
    std::printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
