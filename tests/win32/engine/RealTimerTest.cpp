// The engine on the system's multimedia timer and RtMidi's WinMM back end (which lists no
// devices under Wine), with the simulated driver in process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/PortController.h"
#include "engine/ServiceTimer.h"
#include "engine/win32/MultimediaTimerWin32.h"
#include "midi_output/rtmidi/RtMidiOutput.h"
#include "simulated_driver/SimulatedApplication.h"
#include "simulated_driver/SimulatedDriver.h"

using namespace std::chrono_literals;

namespace {

std::atomic<int> ticks{0};
bool countTick(std::uint32_t, std::uintptr_t) {
    ++ticks;
    return false;
}

std::atomic<int> defaultPortCalls{0};
std::atomic<int> errors{0};

}  // namespace

TEST(RealTimer, DrivesTicksUntilStoppedAndRefusesASecondStart) {
    ticks = 0;
    ASSERT_TRUE(serviceTimer().start(systemMultimediaTimer(), countTick));
    EXPECT_FALSE(serviceTimer().start(systemMultimediaTimer(), countTick));
    std::this_thread::sleep_for(300ms);
    serviceTimer().stop();
    int const atStop = ticks.load();
    // About one a millisecond; a loaded machine may deliver fewer, never none.
    EXPECT_GT(atStop, 30);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ticks.load(), atStop);  // nothing runs once stop has returned
    serviceTimer().stop();            // a second stop does nothing
    EXPECT_FALSE(serviceTimer().running());

    // It can be started again after a stop.
    ASSERT_TRUE(serviceTimer().start(systemMultimediaTimer(), countTick));
    std::this_thread::sleep_for(50ms);
    serviceTimer().stop();
    EXPECT_GT(ticks.load(), atStop);
}

TEST(RealTimer, TheProgramsEngineRunsOnTheTimerWithTheWinMMBackEnd) {
    static RtMidiOutputFactory outputs;
    PortController::Dependencies d;
    d.outputs = &outputs;
    d.driver = tessivane::simulatedDriver();
    d.timer = &systemMultimediaTimer();
    PortController::configureInstance(d);

    PortController::Hooks hooks;
    hooks.error = [](char const*) { ++errors; };
    hooks.defaultPorts = [](std::vector<std::string>*) { ++defaultPortCalls; };
    PortController& engine = PortController::instance();
    ASSERT_TRUE(engine.initialize(hooks));
    EXPECT_EQ(errors.load(), 0);
    EXPECT_TRUE(engine.hasEnumerationConnection());
    EXPECT_TRUE(engine.publishedOutputs().empty());  // WinMM lists nothing here
    // No outputs: the first tick already made the loopback pair.
    auto reader = tessivane::SimulatedApplicationPort::open(u"Zarvik Loopback In");
    auto writer = tessivane::SimulatedApplicationPort::open(u"Zarvik Loopback Out");
    ASSERT_TRUE(reader && writer);

    // The timer thread runs the ticks: requests queued now are taken from the queue without a tick
    // of ours. (Stale ones, dropped; quiet ticks do not ask for the stored choices.)
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(engine.tryEnqueue(PortRequest{7, "Nothing", false}));
    std::this_thread::sleep_for(200ms);
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(engine.tryEnqueue(PortRequest{7, "Nothing", false}));
    EXPECT_EQ(defaultPortCalls.load(), 0);
    std::vector<std::uint8_t> const note{0x90, 0x3C, 0x7F};
    ASSERT_TRUE(writer->write(note));
    EXPECT_EQ(reader->read(2000ms), note);

    engine.stopServiceTimer();
    std::this_thread::sleep_for(50ms);
    for (int i = 0; i < 15; ++i) engine.tryEnqueue(PortRequest{7, "Nothing", false});
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(engine.tryEnqueue(PortRequest{7, "Nothing", false}));  // no tick drains it now
    // The instance is torn down at process exit, closing the loopback pair.
}
