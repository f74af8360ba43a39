// The cross-built RtMidi with its WinMM back end, under Wine, where the system lists no MIDI
// output: the paths the program meets on a machine without devices, and its open errors.
#include "midi_output/rtmidi/RtMidiOutput.h"

#include "midi_common/MidiOpenError.h"

#include <rtmidi/RtMidi.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(RtMidiUnderWine, WinMmListsNoDeviceAndRefusesToOpenOne) {
    RtMidiOut output(RtMidi::WINDOWS_MM, "Velmora Tessivane client");
    EXPECT_EQ(output.getCurrentApi(), RtMidi::WINDOWS_MM);
    EXPECT_EQ(output.getPortCount(), 0u);
    EXPECT_THROW(output.openPort(0, "RtMidi17 Output"), RtMidiError);
    EXPECT_FALSE(output.isPortOpen());
}

TEST(RtMidiOutputUnderWine, FactoryOutputWithoutDevices) {
    RtMidiOutputFactory factory;
    std::unique_ptr<MidiOutput> output = factory.create(4, "Velmora Tessivane client");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->portCount(), 0u);
    EXPECT_THROW(output->portName(0), std::out_of_range);
    // The refusal carries RtMidi's text and the system's own code, which RtMidi keeps to itself.
    try {
        output->openPort(0, "RtMidi17 Output");
        ADD_FAILURE() << "opened a device that Windows does not list";
    } catch (std::exception const& error) {
        EXPECT_EQ(openErrorCode(error), 2u) << "MMSYSERR_BADDEVICEID";
        EXPECT_STREQ(error.what(), "MidiOutWinMM::openPort: no MIDI output destinations found!");
    }
    EXPECT_EQ(probeWinMmOutput(0), 2u);
    EXPECT_FALSE(output->isPortOpen());
    output->closePort();  // closed: nothing to silence, nothing to close
    EXPECT_FALSE(output->isPortOpen());
    std::uint8_t const note[] = {0x90, 60, 100};
    output->sendMessage(note, sizeof note);  // WinMM ignores a send on a closed port
}

TEST(RtMidiOutputUnderWine, RejectsAnUnknownBackEnd) {
    RtMidiOutputFactory factory;
    EXPECT_THROW(factory.create(RtMidi::NUM_APIS, "client"), std::invalid_argument);
    EXPECT_THROW(factory.create(0xFFFFFFFFu, "client"), std::invalid_argument);
}
