// Whether Windows MIDI Services carry what WinMM applications see, decided from what WinMM loads:
// the one rule that the diagnostics tool and the program's dialogs both use. Portable; the registry
// is read by win32/MidiServicesRegistry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class MidiServicesMode {
    NotCarryingWinMM,  // WinMM talks to the drivers itself, as before Windows MIDI Services
    Full,              // the service carries WinMM: its ports, device sharing and naming
    Legacy,            // the service is installed, but WinMM was switched back to the old path
    Hybrid,            // both
};

struct MidiServicesRegistry {  // what HKLM\...\Drivers32 holds
    std::vector<std::pair<std::string, std::string>> midiDrivers;  // "midi", "midi1".. values
    std::optional<std::uint32_t> transferComplete;                  // MidisrvTransferComplete
    std::optional<std::uint32_t> useLegacyMidi;                     // UseLegacyMidi
};

// The service carries WinMM when a "midiN" driver is wdmaud2.drv and the transfer to it is complete
// (MidisrvTransferComplete = 1); then UseLegacyMidi 1 is legacy, 2 hybrid, and anything else (it
// is absent or 0 by default) full.
MidiServicesMode decideMidiServicesMode(MidiServicesRegistry const& registry);

// "not carrying WinMM", "full", "legacy" or "hybrid", for reports.
char const* midiServicesModeName(MidiServicesMode mode);
