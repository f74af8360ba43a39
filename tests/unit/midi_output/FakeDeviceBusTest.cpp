#include "midi_output/fake_bus/FakeDeviceBus.h"

#include <gtest/gtest.h>

#include "midi_common/MidiOpenError.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using Message = FakeDeviceBus::Message;

std::uint8_t const kNoteOn[] = {0x90, 60, 100};
std::uint8_t const kNoteOff[] = {0x80, 60, 0};

void send(MidiOutput& output, std::uint8_t const* bytes, std::size_t length) {
    output.sendMessage(bytes, length);
}

// Waits (bounded) until `done` holds; the tests never depend on how long it takes.
template <class Done>
bool eventually(Done done) {
    for (int i = 0; i < 5000 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace

TEST(FakeDeviceBus, IndicesFollowPlugUnplugRenameAndReorder) {
    FakeDeviceBus bus;
    auto output = bus.create(4, "client");
    EXPECT_EQ(bus.plug("A"), 0u);
    EXPECT_EQ(bus.plug("B"), 1u);
    bus.plugAt(0, "C");
    EXPECT_EQ(bus.deviceNames(), (std::vector<std::string>{"C", "A", "B"}));
    bus.reorder({2, 0, 1});
    EXPECT_EQ(bus.deviceNames(), (std::vector<std::string>{"B", "C", "A"}));
    bus.swap(0, 2);
    bus.rename(1, "C\xC3\xA9");  // UTF-8 bytes pass through as they are
    EXPECT_EQ(bus.deviceNames(), (std::vector<std::string>{"A", "C\xC3\xA9", "B"}));
    EXPECT_TRUE(bus.unplug("C\xC3\xA9"));
    EXPECT_FALSE(bus.unplug("nothing"));
    bus.unplugAt(0);

    EXPECT_EQ(output->portCount(), 1u);
    EXPECT_EQ(output->portName(0), "B");
    EXPECT_THROW(output->portName(1), std::out_of_range);
    EXPECT_THROW(bus.reorder({0, 0}), std::invalid_argument);
    EXPECT_THROW(bus.unplugAt(5), std::out_of_range);
}

TEST(FakeDeviceBus, OpensByCurrentIndexAndRefusesAVanishedOne) {
    FakeDeviceBus bus;
    bus.plug("A");
    bus.plug("B");
    auto output = bus.create(4, "client");
    bus.unplugAt(0);
    EXPECT_THROW(output->openPort(1, "port"), std::out_of_range);
    EXPECT_FALSE(output->isPortOpen());

    output->openPort(0, "RtMidi17 Output");
    EXPECT_TRUE(output->isPortOpen());
    EXPECT_TRUE(bus.isOpen("B"));
    EXPECT_EQ(bus.lastOpenIndex("B"), 0);
    EXPECT_EQ(bus.lastOpenPortName("B"), "RtMidi17 Output");
    EXPECT_EQ(bus.lastOpenIndex("A"), -1);
    EXPECT_EQ(bus.openCalls(), 2);
}

TEST(FakeDeviceBus, RecordsByPhysicalDeviceAcrossReorders) {
    FakeDeviceBus bus;
    bus.plug("A");
    bus.plug("B");
    auto output = bus.create(4, "client");
    output->openPort(0, "port");
    send(*output, kNoteOn, 3);
    bus.swap(0, 1);  // A is now at index 1; the open output still writes to A
    send(*output, kNoteOff, 3);

    EXPECT_EQ(bus.received("A"), (std::vector<Message>{{0x90, 60, 100}, {0x80, 60, 0}}));
    EXPECT_TRUE(bus.received("B").empty());
    EXPECT_EQ(bus.receivedAt(1).size(), 2u);
    EXPECT_TRUE(bus.receivedAt(0).empty());
    bus.clearReceived();
    EXPECT_TRUE(bus.received("A").empty());
}

TEST(FakeDeviceBus, UnpluggedDeviceLosesSendsAndAReplugRecordsAgain) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto output = bus.create(4, "client");
    output->openPort(0, "port");
    send(*output, kNoteOn, 3);
    bus.unplug("A");
    EXPECT_TRUE(output->isPortOpen());  // as with a real device pulled out
    send(*output, kNoteOff, 3);         // lost
    EXPECT_EQ(bus.received("A").size(), 1u);

    output->closePort();
    bus.plug("A");
    output->openPort(0, "port");
    send(*output, kNoteOff, 3);
    EXPECT_EQ(bus.received("A"), (std::vector<Message>{{0x90, 60, 100}, {0x80, 60, 0}}));
    EXPECT_EQ(bus.violations(), 0);
}

TEST(FakeDeviceBus, DropsWhatWinMmWouldNotSend) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto output = bus.create(4, "client");
    output->openPort(0, "port");
    std::uint8_t const notSysEx[] = {0x90, 60, 100, 0x40};
    std::uint8_t const sysEx[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    std::uint8_t const clock[] = {0xF8};
    send(*output, notSysEx, sizeof notSysEx);
    send(*output, sysEx, 0);
    send(*output, sysEx, sizeof sysEx);
    send(*output, clock, 1);
    EXPECT_EQ(bus.received("A"),
              (std::vector<Message>{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF8}}));
}

TEST(FakeDeviceBus, FaultsThrowUntilCleared) {
    FakeDeviceBus bus;
    bus.plug("A");
    bus.failCreate("no memory");
    EXPECT_THROW(bus.create(4, "client"), std::runtime_error);
    EXPECT_EQ(bus.createdCount(), 0);
    bus.failCreate("");
    auto output = bus.create(4, "Velmora Tessivane client");
    EXPECT_EQ(bus.createdCount(), 1);
    EXPECT_EQ(bus.lastBackEnd(), 4u);
    EXPECT_EQ(bus.lastClientName(), "Velmora Tessivane client");

    bus.failOpen("A", "driver says no");
    try {
        output->openPort(0, "port");
        FAIL() << "open should throw";
    } catch (std::runtime_error const& e) {
        EXPECT_STREQ(e.what(), "driver says no");
    }
    EXPECT_FALSE(output->isPortOpen());
    EXPECT_FALSE(bus.isOpen("A"));

    bus.clearFaults();
    output->openPort(0, "port");
    bus.failSend("A", "device error");
    EXPECT_THROW(send(*output, kNoteOn, 3), std::runtime_error);
    EXPECT_TRUE(bus.received("A").empty());
    bus.clearFaults();
    send(*output, kNoteOn, 3);  // a failed send leaves the output usable
    EXPECT_EQ(bus.received("A").size(), 1u);
    EXPECT_EQ(bus.violations(), 0);
}

TEST(FakeDeviceBus, OneOutputPerDeviceAndOutputsLetGoWhenDestroyed) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto first = bus.create(4, "client");
    auto second = bus.create(4, "client");
    EXPECT_EQ(bus.liveOutputs(), 2);
    first->openPort(0, "port");
    EXPECT_THROW(second->openPort(0, "port"), std::runtime_error);
    EXPECT_FALSE(second->isPortOpen());

    first.reset();
    EXPECT_EQ(bus.liveOutputs(), 1);
    EXPECT_FALSE(bus.isOpen("A"));
    second->openPort(0, "port");
    EXPECT_TRUE(bus.isOpen("A"));
    second->closePort();
    second->closePort();  // harmless when closed
    EXPECT_FALSE(second->isPortOpen());
    EXPECT_EQ(bus.closeCalls(), 2);
}

TEST(FakeDeviceBus, CountsSendsOnAClosedOutput) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto output = bus.create(4, "client");
    send(*output, kNoteOn, 3);  // never opened
    output->openPort(0, "port");
    output->closePort();
    send(*output, kNoteOn, 3);  // after close
    EXPECT_EQ(bus.violations(), 2);
    EXPECT_TRUE(bus.received("A").empty());
}

TEST(FakeDeviceBus, BlockedSendWaitsForReleaseFromAnotherThread) {
    FakeDeviceBus bus;
    bus.plug("A");
    bus.plug("B");
    auto blocked = bus.create(4, "client");
    auto other = bus.create(4, "client");
    blocked->openPort(0, "port");
    other->openPort(1, "port");
    bus.blockSends("A");

    std::thread sender([&] { send(*blocked, kNoteOn, 3); });
    ASSERT_TRUE(eventually([&] { return bus.blockedSends() == 1; }));
    EXPECT_TRUE(bus.received("A").empty());
    send(*other, kNoteOn, 3);  // other devices are not held up, nor is the bus
    EXPECT_EQ(bus.received("B").size(), 1u);

    bus.releaseSends();
    sender.join();
    EXPECT_EQ(bus.blockedSends(), 0);
    EXPECT_EQ(bus.received("A").size(), 1u);
    send(*blocked, kNoteOff, 3);  // released for good
    EXPECT_EQ(bus.received("A").size(), 2u);
    EXPECT_EQ(bus.violations(), 0);
}

TEST(FakeDeviceBus, CountsACloseOrASecondSendDuringABlockedSend) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto output = bus.create(4, "client");
    output->openPort(0, "port");
    bus.blockSends("A");
    std::thread sender([&] { send(*output, kNoteOn, 3); });
    ASSERT_TRUE(eventually([&] { return bus.blockedSends() == 1; }));

    send(*output, kNoteOff, 3);  // overlaps the blocked one
    EXPECT_EQ(bus.violations(), 1);
    output->closePort();  // closes under a running send
    EXPECT_EQ(bus.violations(), 2);

    bus.releaseSends();
    sender.join();
}

TEST(FakeDeviceBus, OpenStateIsPublishedToOtherThreads) {
    FakeDeviceBus bus;
    bus.plug("A");
    auto output = bus.create(4, "client");
    std::thread watcher([&] {
        while (!output->isPortOpen()) {
            std::this_thread::yield();
        }
        // What open did is visible once the flag reads true (checked by TSan in that build).
        send(*output, kNoteOn, 3);
    });
    output->openPort(0, "port");
    watcher.join();
    EXPECT_EQ(bus.received("A").size(), 1u);
    EXPECT_EQ(bus.violations(), 0);
}

// ---- Inputs ----------------------------------------------------------------------------------

namespace {

// Records every delivery, and the thread it came on.
struct Recorder : MidiInputReceiver {
    std::mutex mutex;
    std::vector<Message> got;
    std::thread::id thread;
    std::function<void()> during;  // runs inside every call
    void receive(std::uint8_t const* bytes, std::size_t length) override {
        if (during) {
            during();
        }
        std::lock_guard<std::mutex> lock(mutex);
        got.emplace_back(bytes, bytes + length);
        thread = std::this_thread::get_id();
    }
    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(mutex);
        return got;
    }
};

Message join(std::vector<Message> const& pieces) {
    Message all;
    for (auto const& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

}  // namespace

TEST(FakeDeviceBusInputs, OwnListAndOpensRefusedAsWinMmRefusesThem) {
    FakeDeviceBus bus;
    bus.plug("Out");
    bus.plugInput("A");
    bus.plugInput("B");
    bus.plugInputAt(0, "C");
    bus.reorderInputs({1, 2, 0});
    bus.renameInput(2, "C2");
    EXPECT_EQ(bus.inputNames(), (std::vector<std::string>{"A", "B", "C2"}));
    EXPECT_EQ(bus.deviceNames(), (std::vector<std::string>{"Out"}));
    MidiInputFactory& factory = bus;
    bus.failInputCreate("no memory");
    EXPECT_THROW(factory.create(4, "client"), std::runtime_error);
    bus.clearFaults();
    auto first = factory.create(4, "Velmora Tessivane client");
    auto second = bus.createInput(4, "client");
    EXPECT_EQ(first->portCount(), 3u);
    EXPECT_EQ(first->portName(1), "B");
    EXPECT_THROW(first->portName(3), std::out_of_range);
    EXPECT_EQ(bus.liveInputs(), 2);

    Recorder receiver;
    bus.failInputOpen("A", "driver says no");
    bus.failInputOpen("B", "bad handle", 5);
    bus.holdInputElsewhere("C2");
    EXPECT_THROW(first->openPort(0, receiver), std::runtime_error);
    try {
        first->openPort(1, receiver);
        FAIL() << "open should throw";
    } catch (MidiOpenError const& error) {
        EXPECT_EQ(error.systemCode(), 5u);
        EXPECT_STREQ(error.what(), "bad handle");
    }
    try {
        first->openPort(2, receiver);
        FAIL() << "open should throw";
    } catch (std::exception const& error) {
        EXPECT_EQ(openErrorCode(error), kMidiErrorAllocated);
    }
    EXPECT_FALSE(first->isPortOpen());
    EXPECT_FALSE(bus.isInputOpen("C2"));

    bus.clearFaults();
    first->openPort(2, receiver);
    EXPECT_TRUE(first->isPortOpen());
    EXPECT_EQ(bus.lastInputOpenIndex("C2"), 2);
    EXPECT_EQ(bus.lastInputOpenIndex("A"), -1);
    // One open per device, as WinMM: the second is refused as "in use".
    try {
        second->openPort(2, receiver);
        FAIL() << "open should throw";
    } catch (std::exception const& error) {
        EXPECT_EQ(openErrorCode(error), kMidiErrorAllocated);
    }
    first.reset();  // lets go of the device
    EXPECT_FALSE(bus.isInputOpen("C2"));
    second->openPort(2, receiver);
    second->closePort();
    second->closePort();  // harmless when closed
    EXPECT_EQ(bus.inputOpenCalls(), 6);
    EXPECT_EQ(bus.inputCloseCalls(), 2);
    EXPECT_EQ(bus.liveInputs(), 1);
    EXPECT_EQ(bus.createdInputs(), 2);
    EXPECT_EQ(bus.lastInputClientName(), "client");
}

TEST(FakeDeviceBusInputs, DevicePlaysInOrderOnItsOwnThreadAcrossIndexChanges) {
    FakeDeviceBus bus;
    bus.plugInput("A");
    bus.plugInput("B");
    auto input = bus.createInput(4, "client");
    Recorder receiver;
    input->openPort(0, receiver);

    Message const sysex = FakeDeviceBus::sysex(1000);
    auto between = FakeDeviceBus::sysexBuffers(sysex, 256, 0xF8);
    auto inside = FakeDeviceBus::sysexBuffers(sysex, 300, 0xFE, FakeDeviceBus::RealTimeAt::InsideBuffers);
    ASSERT_EQ(between.size(), 7u);  // four buffers, three clocks between them
    EXPECT_EQ(between[1], (Message{0xF8}));
    EXPECT_EQ(inside.size(), 4u);
    EXPECT_EQ(inside[0][150], 0xFE);
    inside[0].erase(inside[0].begin() + 150);
    EXPECT_EQ(join(inside).size(), sysex.size() + 3);

    auto const burst = FakeDeviceBus::shortMessages(500);
    bus.playInput("A", burst);
    bus.reorderInputs({1, 0});  // A moves; the open input still hears A
    bus.playInput("A", between);
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));

    std::vector<Message> expected = burst;
    expected.insert(expected.end(), between.begin(), between.end());
    EXPECT_EQ(receiver.messages(), expected);
    EXPECT_NE(receiver.thread, std::this_thread::get_id());
    EXPECT_EQ(bus.inputDelivered("A"), expected);
    EXPECT_TRUE(bus.inputDelivered("B").empty());
    EXPECT_EQ(bus.deliveredCount(), expected.size());
    EXPECT_EQ(bus.droppedCount(), 0u);

    // Paced: one every 2 ms on average, so never sooner.
    auto const start = std::chrono::steady_clock::now();
    bus.playInput("A", FakeDeviceBus::shortMessages(10), std::chrono::milliseconds(2));
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_EQ(bus.inputViolations(), 0);
}

TEST(FakeDeviceBusInputs, DropsAndCountsWhatNoOpenInputHears) {
    FakeDeviceBus bus;
    bus.plugInput("A");
    auto input = bus.createInput(4, "client");
    Recorder receiver;
    bus.playInput("A", FakeDeviceBus::shortMessages(3));  // nobody holds A open
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_EQ(bus.droppedCount(), 3u);

    input->openPort(0, receiver);
    bus.unplugInput("A");
    EXPECT_TRUE(input->isPortOpen());  // as with a real device pulled out
    EXPECT_TRUE(bus.isInputOpen("A"));
    bus.playInput("A", FakeDeviceBus::shortMessages(2));  // the unplugged device: lost
    bus.plugInput("A");  // a new device of that name, not held by the old input
    bus.playInput("A", FakeDeviceBus::shortMessages(4));
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_EQ(bus.droppedCount(), 9u);
    EXPECT_TRUE(receiver.messages().empty());

    input->closePort();
    input->openPort(0, receiver);
    bus.playInput("A", {{0xF8}});
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_EQ(receiver.messages(), (std::vector<Message>{{0xF8}}));
    EXPECT_THROW(bus.playInput("never", {{0xF8}}), std::invalid_argument);
}

TEST(FakeDeviceBusInputs, CloseWaitsForTheDeliveryItInterruptsAndNothingFollows) {
    FakeDeviceBus bus;
    bus.plugInput("A");
    auto input = bus.createInput(4, "client");
    Recorder receiver;
    std::atomic<bool> closed{false};
    std::atomic<int> late{0};
    receiver.during = [&] { late += closed ? 1 : 0; };
    input->openPort(0, receiver);
    bus.blockDeliveries("A");
    bus.playInput("A", FakeDeviceBus::shortMessages(3));
    ASSERT_TRUE(eventually([&] { return bus.blockedDeliveries() == 1; }));

    std::thread closer([&] {
        input->closePort();
        closed = true;
    });
    EXPECT_TRUE(eventually([&] { return bus.inputCloseCalls() == 1; }));  // detached: waits now
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(closed);  // held by the delivery that got in before the close
    bus.releaseDeliveries();
    closer.join();
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_EQ(receiver.messages().size(), 1u);  // the held one, then nothing
    EXPECT_EQ(bus.droppedCount(), 2u);
    EXPECT_EQ(late.load(), 0);

    // A receiver that calls back into its own input breaks the contract: counted, never a hang.
    Recorder rude;
    rude.during = [&] { input->closePort(); };
    input->openPort(0, rude);
    bus.playInput("A", {{0xF8}});
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(10)));
    EXPECT_EQ(bus.inputViolations(), 1);
}

// Opens and closes race a playing device: no call may come once closePort has returned.
TEST(FakeDeviceBusInputs, NoDeliveryReachesAReceiverAfterItsCloseReturned) {
    FakeDeviceBus bus;
    bus.plugInput("A");
    auto input = bus.createInput(4, "client");
    std::atomic<bool> closed{false};
    std::atomic<int> late{0};
    Recorder receiver;
    receiver.during = [&] {
        std::this_thread::yield();  // widens the window a close that does not wait would leave
        late += closed ? 1 : 0;
    };
    for (int round = 0; round < 200; ++round) {
        closed = false;
        input->openPort(0, receiver);
        bus.playInput("A", FakeDeviceBus::shortMessages(20));
        std::this_thread::yield();
        input->closePort();
        closed = true;
    }
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(30)));
    EXPECT_EQ(late.load(), 0);
    EXPECT_EQ(bus.deliveredCount() + bus.droppedCount(), 200u * 20u);
    EXPECT_EQ(bus.deliveredCount(), receiver.messages().size());
}
