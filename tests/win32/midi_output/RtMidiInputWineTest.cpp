// The real inputs, RtMidi's WinMM back end under Wine, where the system lists no MIDI input: what
// the program meets on a machine without a keyboard, and how a refused open reports.
#include "midi_input/rtmidi/RtMidiInput.h"

#include "midi_common/MidiOpenError.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct NeverCalled : MidiInputReceiver {
    int calls = 0;
    void receive(std::uint8_t const*, std::size_t) override { ++calls; }
};

}  // namespace

TEST(RtMidiInputUnderWine, WithoutDevicesAnOpenFailsWithWinMmsCode) {
    RtMidiInputFactory factory;
    std::unique_ptr<MidiInput> input = factory.create(4, "Velmora Tessivane client");
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->portCount(), 0u);
    EXPECT_THROW(input->portName(0), std::out_of_range);

    NeverCalled receiver;
    try {
        input->openPort(0, receiver);
        FAIL() << "open should throw";
    } catch (MidiOpenError const& error) {
        // RtMidi's own text, and the code of WinMM's refusal (no such device, not "in use").
        EXPECT_NE(std::string(error.what()).find("MidiInWinMM"), std::string::npos) << error.what();
        EXPECT_NE(error.systemCode(), 0u);
        EXPECT_NE(error.systemCode(), kMidiErrorAllocated);
    }
    EXPECT_FALSE(input->isPortOpen());
    input->closePort();  // closed: nothing to do
    EXPECT_FALSE(input->isPortOpen());
    EXPECT_EQ(receiver.calls, 0);

    EXPECT_THROW(factory.create(0xFFFFFFFFu, "client"), std::invalid_argument);
}
