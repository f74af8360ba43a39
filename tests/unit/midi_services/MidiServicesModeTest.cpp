// Whether Windows MIDI Services carry WinMM, from what Drivers32 holds.
#include "midi_services/MidiServicesMode.h"

#include <gtest/gtest.h>

TEST(MidiServicesMode, OnlyTheNewDriverWithItsTransferCompleteCarriesWinMM) {
    using Mode = MidiServicesMode;
    std::vector<std::pair<std::string, std::string>> const carried = {{"midi", "wdmaud.drv"}, {"midi1", "C:\\Windows\\System32\\WDMAUD2.DRV"}};
    struct Case {
        MidiServicesRegistry registry;
        Mode mode;
    } const cases[] = {
        {{{}, std::nullopt, std::nullopt}, Mode::NotCarryingWinMM},
        {{{{"midi", "wdmaud.drv"}}, 1u, std::nullopt}, Mode::NotCarryingWinMM},
        {{carried, std::nullopt, std::nullopt}, Mode::NotCarryingWinMM},  // installed, not yet handed over
        {{carried, 0u, 0u}, Mode::NotCarryingWinMM},
        {{{{"midi9", "wdmaud2.drv.bak"}}, 1u, std::nullopt}, Mode::NotCarryingWinMM},
        {{carried, 1u, std::nullopt}, Mode::Full},
        {{carried, 1u, 0u}, Mode::Full},
        {{carried, 1u, 1u}, Mode::Legacy},
        {{carried, 1u, 2u}, Mode::Hybrid},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(decideMidiServicesMode(c.registry), c.mode) << midiServicesModeName(c.mode);
    }
}
