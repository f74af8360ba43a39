// Data written into the virtual ports reaches the device whole, or is dropped while it is closed.
#include "tests/unit/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Polls until done() holds or the time is up: a close sequence that goes wrong fails the test in
// seconds instead of hanging it.
template <class Done>
bool within(std::chrono::milliseconds limit, Done done) {
    auto const end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

class ForwardingTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        bus.plug("Synth");
        Recorded::chosen = {"Synth"};
        start();
        tick();
    }
};

TEST_F(ForwardingTest, BothPortsDeliverWholeMessagesIncludingSysEx) {
    ASSERT_TRUE(bus.isOpen("Synth"));
    Bytes const note{0x90, 0x3C, 0x7F};
    Bytes const sysex{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    ASSERT_TRUE(play(u"Synth - MIDI", note));
    ASSERT_TRUE(play(u"Synth - MIDI", sysex));  // SysEx through the MIDI port works the same
    ASSERT_TRUE(play(u"Synth - SysEx", sysex));
    ASSERT_TRUE(play(u"Synth - SysEx", {0x80, 0x3C, 0x00}));
    EXPECT_EQ(bus.received("Synth"), (std::vector<Bytes>{note, sysex, sysex, {0x80, 0x3C, 0x00}}));
    EXPECT_EQ(bus.violations(), 0);
}

TEST_F(ForwardingTest, ClosedOutputDropsDataAndReopenedOneCarriesItAgain) {
    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", false}));
    EXPECT_TRUE(tick());
    ASSERT_TRUE(play(u"Synth - MIDI", {0x90, 0x40, 0x40}));
    EXPECT_TRUE(bus.received("Synth").empty());

    EXPECT_TRUE(controller->tryEnqueue(PortRequest{0, "Synth", true}));
    EXPECT_TRUE(tick());
    ASSERT_TRUE(play(u"Synth - MIDI", {0x90, 0x41, 0x40}));
    EXPECT_EQ(bus.received("Synth"), (std::vector<Bytes>{{0x90, 0x41, 0x40}}));
}

TEST_F(ForwardingTest, SendErrorsLoseOnlyThatMessage) {
    bus.failSend("Synth", "cable pulled");
    ASSERT_TRUE(play(u"Synth - MIDI", {0x90, 0x40, 0x40}));
    bus.clearFaults();
    ASSERT_TRUE(play(u"Synth - MIDI", {0x80, 0x40, 0x00}));
    EXPECT_EQ(bus.received("Synth"), (std::vector<Bytes>{{0x80, 0x40, 0x00}}));
    EXPECT_TRUE(bus.isOpen("Synth"));
    EXPECT_TRUE(Recorded::errors.empty());
}

TEST_F(ForwardingTest, LoopbackOutComesOutOfInUnchanged) {
    auto reader = tessivane::SimulatedApplicationPort::open(u"Zarvik Loopback In");
    ASSERT_TRUE(reader);
    Bytes const sysex{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    ASSERT_TRUE(play(u"Zarvik Loopback Out", {0x90, 0x3C, 0x7F}));
    ASSERT_TRUE(play(u"Zarvik Loopback Out", sysex));
    EXPECT_EQ(reader->read(2000ms), (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(reader->read(2000ms), sysex);
}

TEST_F(ForwardingTest, CallbackArgumentsThatAreAbsentOrZeroDoNothing) {
    PortEntry* entry = controller->findEntry("Synth");
    ASSERT_NE(entry, nullptr);
    std::uint8_t note[] = {0x90, 0x3C, 0x7F};
    onPortData(nullptr, nullptr, 3, reinterpret_cast<std::uintptr_t>(entry));
    onPortData(nullptr, note, 0, reinterpret_cast<std::uintptr_t>(entry));
    onPortData(nullptr, note, 3, 0);
    PortController::forward(nullptr, note, 3);
    EXPECT_TRUE(bus.received("Synth").empty());
    EXPECT_EQ(entry->inFlight.load(), 0);
    onPortData(nullptr, note, 3, reinterpret_cast<std::uintptr_t>(entry));
    EXPECT_EQ(bus.received("Synth").size(), 1u);
}

TEST_F(ForwardingTest, CloseSequenceWaitsForASendInProgress) {
    PortEntry* entry = controller->findEntry("Synth");
    bus.blockSends("Synth");
    std::thread writer([&] {
        std::uint8_t note[] = {0x90, 0x3C, 0x7F};
        PortController::forward(entry, note, 3);
    });
    while (bus.blockedSends() == 0) std::this_thread::yield();
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        runOutputCloseSequence(*entry);
        closed = true;
    });
    EXPECT_TRUE(within(2000ms, [&] { return entry->closing.isSet(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(closed.load());  // held by the send in progress
    // Arrives while closing: dropped at once. Without the flag it would wait for the send lock
    // behind the blocked writer, hence its own thread and a bounded wait.
    std::atomic<bool> lateDone{false};
    std::thread lateWriter([&] {
        std::uint8_t late[] = {0x80, 0x3C, 0x00};
        PortController::forward(entry, late, 3);
        lateDone = true;
    });
    EXPECT_TRUE(within(2000ms, [&] { return lateDone.load(); }));
    bus.releaseSends();
    writer.join();
    lateWriter.join();
    closer.join();
    EXPECT_TRUE(closed.load());
    EXPECT_FALSE(entry->closing.isSet());
    EXPECT_EQ(bus.received("Synth"), (std::vector<Bytes>{{0x90, 0x3C, 0x7F}}));
    EXPECT_EQ(bus.violations(), 0);
}

TEST_F(ForwardingTest, SendsThroughTheTwoPortsOfAnEntryNeverOverlap) {
    // A long SysEx dump is on its way out through the MIDI port when a note arrives through the
    // SysEx port on another driver thread: the note waits for the dump, it does not cut into it.
    Bytes const dump{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    Bytes const note{0x90, 0x3C, 0x7F};
    bus.blockSends("Synth");
    auto midiPort = tessivane::SimulatedApplicationPort::open(u"Synth - MIDI");
    auto sysexPort = tessivane::SimulatedApplicationPort::open(u"Synth - SysEx");
    ASSERT_TRUE(midiPort && sysexPort);
    ASSERT_TRUE(midiPort->write(dump));
    while (bus.blockedSends() == 0) std::this_thread::yield();
    ASSERT_TRUE(sysexPort->write(note));
    PortEntry* entry = controller->findEntry("Synth");
    while (entry->inFlight.load() < 2) std::this_thread::yield();  // the note is inside forward()
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(bus.received("Synth").empty());  // nothing passed the dump still being sent
    EXPECT_EQ(bus.violations(), 0);

    bus.releaseSends();
    midiPort->flush();
    sysexPort->flush();
    EXPECT_EQ(bus.received("Synth"), (std::vector<Bytes>{dump, note}));
    EXPECT_EQ(bus.violations(), 0);  // the fake output counts overlapping sends
}
