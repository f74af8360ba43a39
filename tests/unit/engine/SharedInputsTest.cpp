// Shared inputs: a device's messages reach every application reading "<input> - In" whole and in
// order, SysEx joined from WinMM's buffers; nothing is lost under load; an input still listed is
// never interrupted by a change of the list; closing meets deliveries safely (run under TSan).
#include "tests/unit/engine/EngineFixture.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "midi_common/MidiOpenError.h"

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using Message = FakeDeviceBus::Message;

std::u16string const kKeysPort = u"Keys - In";

// An application reading a port, on a thread of its own, as a DAW would.
class Reader {
public:
    explicit Reader(std::u16string const& port) : app_(tessivane::SimulatedApplicationPort::open(port)) {
        if (app_) {
            thread_ = std::thread([this] {
                while (!stop_) {
                    if (auto message = app_->read(5ms)) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        got_.push_back(std::move(*message));
                    }
                }
            });
        }
    }
    ~Reader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool connected() const { return app_ != nullptr; }
    // Waits until `count` messages have come (or 10 s went by) and returns what came.
    std::vector<Message> waitFor(std::size_t count) {
        auto const deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline && size() < count) {
            std::this_thread::sleep_for(1ms);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return got_;
    }
    std::size_t size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return got_.size();
    }
    std::uint64_t lost() const { return app_->lost(); }

private:
    std::unique_ptr<tessivane::SimulatedApplicationPort> app_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Message> got_;
    std::thread thread_;
};

class SharedInputs : public EngineTest {
protected:
    // Starts with these inputs plugged and `shared` stored as shared.
    void startWith(std::vector<std::string> const& inputs, std::vector<std::string> const& shared) {
        for (std::string const& name : inputs) bus.plugInput(name);
        Recorded::shared = shared;
        start();
    }
    std::uint64_t lost(std::string const& name) {
        for (EntryState const& input : controller->programState().inputs)
            if (input.name == name) return input.lost;
        return ~0ull;
    }
};

std::vector<Message> concat(std::vector<std::vector<Message>> const& parts) {
    std::vector<Message> all;
    for (auto const& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST_F(SharedInputs, EveryKindOfMessageArrivesWholeAndInOrderAndSysExIsJoinedFromItsBuffers) {
    startWith({"Keys"}, {"Keys"});
    EXPECT_TRUE(bus.isInputOpen("Keys"));  // shared again at start
    EXPECT_EQ(bus.lastInputClientName(), "Velmora Tessivane client");
    Reader daw(kKeysPort), arpeggiator(kKeysPort);
    ASSERT_TRUE(daw.connected() && arpeggiator.connected());

    std::vector<Message> const kinds = {
        {0x90, 0x3C, 0x7F}, {0x80, 0x3C, 0x40}, {0xB0, 0x40, 0x7F}, {0xE0, 0x00, 0x40},
        {0xC5, 0x12},       {0xD0, 0x33},       {0xA2, 0x3C, 0x10}, {0xF1, 0x21},
        {0xF2, 0x10, 0x02}, {0xF3, 0x05},       {0xF6},             {0xF8},
        {0xFA},             {0xFB},             {0xFC},             {0xFE}};
    Message const big = FakeDeviceBus::sysex(65536);  // 64 KiB, F0 and F7 included
    Message const small = FakeDeviceBus::sysex(300);
    bus.playInput("Keys", concat({kinds, FakeDeviceBus::sysexBuffers(big, 4096),
                                  {small}, FakeDeviceBus::sysexBuffers(small, 7)}));
    std::vector<Message> expected = kinds;
    expected.insert(expected.end(), {big, small, small});
    EXPECT_EQ(daw.waitFor(expected.size()), expected);
    EXPECT_EQ(arpeggiator.waitFor(expected.size()), expected);
    EXPECT_EQ(lost("Keys"), 0u);
}

TEST_F(SharedInputs, RealTimeInsideASysExPassesOnItsOwnAndACutSysExIsCountedAsLost) {
    startWith({"Keys"}, {"Keys"});
    Reader daw(kKeysPort);
    Message const sysex = FakeDeviceBus::sysex(1000);
    using At = FakeDeviceBus::RealTimeAt;
    bus.playInput("Keys", concat({FakeDeviceBus::sysexBuffers(sysex, 256, 0xF8, At::BetweenBuffers),
                                  FakeDeviceBus::sysexBuffers(sysex, 256, 0xFE, At::InsideBuffers)}));
    // A SysEx that a note cuts short is lost, and counted; the note itself passes.
    bus.playInput("Keys", {{0xF0, 0x7D, 0x01}, {0x90, 0x3C, 0x7F}});
    std::vector<Message> const got = daw.waitFor(3 + 1 + 4 + 1 + 1);
    std::vector<Message> const clocks(3, Message{0xF8}), sensing(4, Message{0xFE});
    EXPECT_EQ(got, concat({clocks, {sysex}, sensing, {sysex}, {{0x90, 0x3C, 0x7F}}}));
    // The state shows the loss within a tenth of a second of ticks.
    for (int i = 0; i < 100; ++i) tick();
    EXPECT_EQ(lost("Keys"), 1u);
    ASSERT_FALSE(Recorded::states.empty());
    EXPECT_EQ(Recorded::states.back().inputs.at(0).lost, 1u);
}

// 10,000 short messages a second with a 4 KiB SysEx every second, to two readers: nothing lost,
// nothing out of order. One second here; TESSIVANE_INPUT_BURST_SECONDS=10 for the full run
// (scripts/soak.sh).
TEST_F(SharedInputs, ABurstReachesTwoReadersWithNothingLostOrReordered) {
    char const* const setting = std::getenv("TESSIVANE_INPUT_BURST_SECONDS");
    int const seconds = setting != nullptr ? std::max(1, std::atoi(setting)) : 1;
    startWith({"Keys"}, {"Keys"});
    Reader first(kKeysPort), second(kKeysPort);

    Message const sysex = FakeDeviceBus::sysex(4096);
    std::vector<Message> played, expected;
    for (int s = 0; s < seconds; ++s) {
        std::vector<Message> const notes = FakeDeviceBus::shortMessages(10000, 0x90 | (s & 0x0F));
        played.insert(played.end(), notes.begin(), notes.end());
        expected.insert(expected.end(), notes.begin(), notes.end());
        std::vector<Message> const buffers = FakeDeviceBus::sysexBuffers(sysex, 1024);
        played.insert(played.end(), buffers.begin(), buffers.end());
        expected.push_back(sysex);
    }
    bus.playInput("Keys", played, 100us);  // 10,000 deliveries a second
    ASSERT_TRUE(bus.waitUntilPlayed(std::chrono::seconds(30 * seconds)));
    EXPECT_TRUE(first.waitFor(expected.size()) == expected);
    EXPECT_TRUE(second.waitFor(expected.size()) == expected);
    EXPECT_EQ(first.lost() + second.lost(), 0u);
    EXPECT_EQ(lost("Keys"), 0u);
}

TEST_F(SharedInputs, APluggedDeviceInterruptsNothingAndAnUnpluggedOneComesBackIntoItsPort) {
    startWith({"Keys", "Pads"}, {"Keys"});
    Reader daw(kKeysPort);
    int const opens = bus.inputOpenCalls(), closes = bus.inputCloseCalls();

    // A note held while a second device is plugged in below Keys (its index shifts): the input
    // stays open, untouched, and the note-off arrives.
    bus.playInput("Keys", {{0x90, 0x3C, 0x7F}});
    bus.plugInputAt(0, "Drums");
    EXPECT_FALSE(tick());  // the outputs did not change; the inputs were republished
    EXPECT_EQ(Recorded::inputNotices, 2);
    bus.playInput("Keys", {{0x80, 0x3C, 0x00}});
    EXPECT_THAT(daw.waitFor(2), ElementsAre(Message{0x90, 0x3C, 0x7F}, Message{0x80, 0x3C, 0x00}));
    EXPECT_EQ(bus.inputOpenCalls(), opens);
    EXPECT_EQ(bus.inputCloseCalls(), closes);

    // Unplugged: closed, its port stays. Plugged back at another index: open again within one
    // tick, into the same port, for the reader that stayed.
    bus.unplugInput("Keys");
    tick();
    EXPECT_FALSE(bus.isInputOpen("Keys"));
    EXPECT_TRUE(portExists(kKeysPort));
    bus.plugInputAt(1, "Keys");
    tick();
    EXPECT_TRUE(bus.isInputOpen("Keys"));
    EXPECT_EQ(bus.lastInputOpenIndex("Keys"), 1);
    bus.playInput("Keys", {{0xFA}});
    EXPECT_EQ(daw.waitFor(3).size(), 3u);
    EXPECT_EQ(controller->inputEntryCount(), 1u);

    // The Share inputs dialog's requests, checked again against the list: untick, a stale tick
    // (the index no longer names Pads), tick again.
    std::vector<PublishedInputInfo> const shown = controller->publishedInputs();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].name, "Keys");
    EXPECT_TRUE(shown[1].enabled);
    ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{1, "Keys", false}));
    ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{1, "Pads", true}));
    tick();
    EXPECT_FALSE(bus.isInputOpen("Keys"));
    EXPECT_FALSE(bus.isInputOpen("Pads"));
    ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{2, "Pads", true}));
    tick();
    EXPECT_TRUE(bus.isInputOpen("Pads"));
    EXPECT_TRUE(portExists(u"Pads - In"));
    EXPECT_TRUE(Recorded::errors.empty());
}

TEST_F(SharedInputs, AnInputAnotherApplicationHoldsIsSaidOnceAndTheStateTellsWhy) {
    bus.plugInput("Keys");
    bus.holdInputElsewhere("Keys");
    startWith({}, {"Keys"});
    ASSERT_EQ(Recorded::errors.size(), 1u);
    EXPECT_EQ(Recorded::errors[0],
              "Error: could not share the MIDI input \"Keys\": another application is using it. "
              "Close that application, then tick the input again in Share inputs.");
    ASSERT_FALSE(Recorded::states.empty());
    EntryState const keys = Recorded::states.back().inputs.at(0);
    EXPECT_TRUE(keys.portsExist);
    EXPECT_FALSE(keys.deviceOpen);
    EXPECT_EQ(keys.lastErrorCode, kMidiErrorAllocated);
    EXPECT_THAT(keys.ports, ElementsAre("Keys - In"));

    // Another change of the list tries again without a second box; once the other application has
    // let go, the user's tick shares it.
    bus.plugInput("Pads");
    tick();
    EXPECT_EQ(Recorded::errors.size(), 1u);
    bus.clearFaults();
    ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{0, "Keys", true}));
    tick();
    EXPECT_TRUE(bus.isInputOpen("Keys"));
    EXPECT_TRUE(Recorded::states.back().inputs.at(0).lastError.empty());
}

// Closing while the device plays, by the tick and at teardown: a delivery under way is waited out,
// none reaches the entry afterwards, and the port goes last.
TEST_F(SharedInputs, ClosingWhileReceivingWaitsForTheDeliveryAndNothingFollows) {
    startWith({"Keys"}, {"Keys"});
    Reader daw(kKeysPort);
    bus.blockDeliveries("Keys");
    bus.playInput("Keys", {{0x90, 0x3C, 0x7F}});
    while (bus.blockedDeliveries() == 0) std::this_thread::yield();
    std::thread closer([&] {
        ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{0, "Keys", false}));
        tick();
    });
    std::this_thread::sleep_for(20ms);
    bus.releaseDeliveries();
    closer.join();
    EXPECT_FALSE(bus.isInputOpen("Keys"));
    bus.playInput("Keys", {{0x80, 0x3C, 0x00}});  // dropped: the input is closed
    ASSERT_TRUE(bus.waitUntilPlayed(5s));
    EXPECT_LE(daw.size(), 1u);  // the note-on, if its delivery got in before the close

    // Open again and playing without pause while the controller goes: the input closes first.
    ASSERT_TRUE(controller->tryEnqueueInput(PortRequest{0, "Keys", true}));
    tick();
    ASSERT_TRUE(bus.isInputOpen("Keys"));
    bus.playInput("Keys", FakeDeviceBus::shortMessages(20000));
    while (bus.deliveredCount() < 100) std::this_thread::yield();
    controller->stopServiceTimer();  // as the program's exit does first
    controller.reset();
    EXPECT_FALSE(bus.isInputOpen("Keys"));
    EXPECT_FALSE(portExists(kKeysPort));
    ASSERT_TRUE(bus.waitUntilPlayed(10s));
    EXPECT_EQ(bus.inputViolations(), 0);
    EXPECT_EQ(bus.liveInputs(), 0);
}
