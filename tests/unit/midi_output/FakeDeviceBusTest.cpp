#include "midi_output/fake_bus/FakeDeviceBus.h"

#include <gtest/gtest.h>

#include <chrono>
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
