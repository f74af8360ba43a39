// Forwarding against closing, and teardown against late deliveries. Meant for the sanitizer builds:
// ThreadSanitizer must see no race, AddressSanitizer no use of a released entry or connection.
#include "tests/unit/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#endif

namespace {

int const kWriters = 3;

#if !defined(_WIN32)
// The first step of a close, started by a signal on the writer's own thread wherever the writer
// happens to be: set the flag and look at the counter, as the close's wait would.
PortEntry* interruptedEntry = nullptr;
std::atomic<bool> closeFoundNothingInFlight{false};
std::atomic<int> closesStarted{0};

void startACloseHere(int) {
    if (interruptedEntry->closing.set()) {
        closeFoundNothingInFlight = interruptedEntry->inFlight.load() == 0;
        ++closesStarted;
    }
}
#endif

}  // namespace

TEST_F(EngineTest, WritersThroughOneEntryWhileTheTickClosesAndReopensIt) {
    bus.plug("Synth");
    start();
    tick();
    ASSERT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    ASSERT_TRUE(tick());
    PortEntry* entry = controller->findEntry("Synth");
    ASSERT_NE(entry, nullptr);

    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::atomic<int> running{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            std::uint8_t note[] = {static_cast<std::uint8_t>(0x90 | w), 0x3C, 0x7F};
            std::uint8_t sysex[] = {0xF0, 0x7D, static_cast<std::uint8_t>(w), 0xF7};
            bool first = true;
            while (!stop.load(std::memory_order_relaxed)) {
                PortController::forward(entry, note, 3);
                PortController::forward(entry, sysex, 4);
                sent += 2;
                if (first) {
                    first = false;
                    ++running;
                }
                // Applications play at a human rate; without a pause the writers would starve
                // the tick of the fake bus's lock and the test would measure only that.
                std::this_thread::yield();
            }
        });
    }
    // A reader on the user-interface side copies the list while ticks rebuild it.
    std::thread reader([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            auto const records = controller->publishedOutputs();
            ASSERT_EQ(records.size(), 1u);
            ASSERT_EQ(records[0].name, "Synth");
            std::this_thread::yield();
        }
    });
    // The cycles start once every writer has sent through the open entry: on a busy machine the
    // main thread could otherwise run them all before a writer is even scheduled.
    while (running.load() < kWriters) {
        std::this_thread::yield();
    }
#if defined(_WIN32)
    int const kCycles = 500;  // the race is the sanitizers' business; under Wine this is a smoke run
#else
    int const kCycles = 2000;
#endif
    for (int i = 0; i < kCycles; ++i) {
        ASSERT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", false}));
        ASSERT_TRUE(tick());
        ASSERT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
        ASSERT_TRUE(tick());
    }
    stop = true;
    for (auto& writer : writers) writer.join();
    reader.join();

    EXPECT_EQ(bus.violations(), 0);  // no send while closed or closing, no overlapping sends
    EXPECT_EQ(entry->inFlight.load(), 0);
    EXPECT_FALSE(entry->closing.isSet());
    EXPECT_EQ(bus.openCalls(), kCycles + 1);
    auto const received = bus.received("Synth");
    EXPECT_GT(received.size(), 0u);  // the writers really ran against the opening and closing
    EXPECT_LE(static_cast<long>(received.size()), sent.load());
    for (auto const& message : received) {
        bool const whole = (message.size() == 3 && (message[0] & 0xF0) == 0x90) ||
                           (message.size() == 4 && message[0] == 0xF0 && message[3] == 0xF7);
        ASSERT_TRUE(whole);
    }
}

TEST_F(EngineTest, AForwardingCallIsCountedBeforeItTestsTheClosingFlag) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs signals to interrupt the writer";
#else
    // A call counted only after its flag test could read the flag clear just before a close sets
    // it, be missed by the close's wait and reach the output. The engine calls nothing between
    // the two steps, so no hook can stop a writer there: signals interrupt it at random points and
    // start a close right there instead. The writer must not then check its output (that is, pass
    // the flag test) while the close believes nothing is in flight.
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    start();
    PortEntry* entry = controller->findEntry("Synth");
    ASSERT_NE(entry, nullptr);
    runOutputCloseSequence(*entry);  // closed: calls check the output and send nothing
    interruptedEntry = entry;
    closeFoundNothingInFlight = false;
    closesStarted = 0;
    struct sigaction action {}, previous {};
    action.sa_handler = startACloseHere;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    std::atomic<int> slips{0};
    bus.probeOpenChecks([&] {
        if (entry->closing.isSet() && closeFoundNothingInFlight) ++slips;
    });

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::uint8_t note[] = {0x90, 0x3C, 0x7F};
        while (!stop.load(std::memory_order_relaxed)) {
            PortController::forward(entry, note, 3);
            if (entry->closing.isSet()) {  // a close started: let it end
                closeFoundNothingInFlight = false;
                entry->closing.clear();
            }
        }
    });
    int signals = 0;
    for (; signals < 2000 && slips == 0; ++signals) {
        pthread_kill(writer.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::microseconds(20 + signals % 7));
    }
    stop = true;
    writer.join();
    sigaction(SIGUSR1, &previous, nullptr);
    bus.probeOpenChecks(nullptr);
    EXPECT_EQ(slips.load(), 0) << "after " << signals << " signals";
    EXPECT_GT(closesStarted.load(), 0);  // the signals did reach the writer
    EXPECT_EQ(entry->inFlight.load(), 0);
#endif
}

TEST_F(EngineTest, TeardownWhileApplicationsKeepWriting) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    for (int round = 0; round < 20; ++round) {
        start();
        tick();
        std::atomic<bool> stop{false};
        std::vector<std::thread> apps;
        for (auto const& port : {u"Synth - MIDI", u"Synth - SysEx", u"Zarvik Loopback Out"}) {
            apps.emplace_back([&stop, port] {
                auto app = tessivane::SimulatedApplicationPort::open(port);
                std::uint8_t note[] = {0x90, 0x3C, 0x7F};
                // Writes fail once the port is gone; the application keeps trying until told.
                while (app && !stop.load()) app->write(note, 3);
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        controller->stopServiceTimer();
        controller.reset();
        stop = true;
        for (auto& app : apps) app.join();
        EXPECT_EQ(bus.liveOutputs(), 0);
        EXPECT_EQ(bus.violations(), 0);
        Recorded::reset();
        Recorded::chosen = {"Synth"};
    }
}

TEST_F(EngineTest, ApplicationsPlayingAtOnceLoseNothingWhileTheOutputIsOpen) {
    bus.plug("Synth");
    Recorded::chosen = {"Synth"};
    start();
    tick();
    ASSERT_TRUE(bus.isOpen("Synth"));

    // Four applications, two on each port, each on its own driver thread.
    int const kMessages = 500;
    std::vector<std::thread> apps;
    int app = 0;
    for (auto const& port : {u"Synth - MIDI", u"Synth - SysEx", u"Synth - MIDI", u"Synth - SysEx"}) {
        apps.emplace_back([port, channel = app++] {
            auto connection = tessivane::SimulatedApplicationPort::open(port);
            ASSERT_TRUE(connection);
            for (int i = 0; i < kMessages; ++i) {
                std::uint8_t const note[] = {static_cast<std::uint8_t>(0x90 | channel),
                                             static_cast<std::uint8_t>(i % 128), 0x40};
                ASSERT_TRUE(connection->write(note, 3));
                if (i % 50 == 0) {
                    std::uint8_t const sysex[] = {0xF0, 0x7D, static_cast<std::uint8_t>(channel), 0xF7};
                    ASSERT_TRUE(connection->write(sysex, 4));
                }
            }
            connection->flush();
        });
    }
    for (auto& thread : apps) thread.join();

    auto const received = bus.received("Synth");
    ASSERT_EQ(received.size(), 4u * (kMessages + kMessages / 50));
    // Each application's notes arrive whole and in the order it played them.
    std::vector<int> next(4, 0);
    for (auto const& message : received) {
        if (message[0] == 0xF0) {
            ASSERT_EQ(message.size(), 4u);
            continue;
        }
        ASSERT_EQ(message.size(), 3u);
        int const channel = message[0] & 0x0F;
        ASSERT_EQ(message[1], next[channel] % 128);
        ++next[channel];
    }
    EXPECT_EQ(bus.violations(), 0);
}
