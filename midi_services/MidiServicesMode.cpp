#include "midi_services/MidiServicesMode.h"

#include <algorithm>
#include <cctype>

namespace {

// The file name of a driver value, in lower case: Drivers32 names the file, with or without a path.
std::string driverFile(std::string const& value) {
    std::string file = value.substr(value.find_last_of("\\/") + 1);
    std::transform(file.begin(), file.end(), file.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return file;
}

}  // namespace

MidiServicesMode decideMidiServicesMode(MidiServicesRegistry const& registry) {
    bool const loaded = std::any_of(registry.midiDrivers.begin(), registry.midiDrivers.end(),
                                    [](auto const& driver) { return driverFile(driver.second) == "wdmaud2.drv"; });
    if (!loaded || registry.transferComplete != 1u) {
        return MidiServicesMode::NotCarryingWinMM;
    }
    switch (registry.useLegacyMidi.value_or(0)) {
    case 1: return MidiServicesMode::Legacy;
    case 2: return MidiServicesMode::Hybrid;
    default: return MidiServicesMode::Full;
    }
}

char const* midiServicesModeName(MidiServicesMode mode) {
    switch (mode) {
    case MidiServicesMode::Full: return "full";
    case MidiServicesMode::Legacy: return "legacy";
    case MidiServicesMode::Hybrid: return "hybrid";
    default: return "not carrying WinMM";
    }
}
