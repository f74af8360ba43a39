// What tessivane-check reads from Windows, the way Tessivane reads it; only loop and panic send.
#pragma once

#include "check/CheckCommand.h"
#include "check/CheckReport.h"
#include "check/LoopProbe.h"

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

SystemFacts systemFacts();
// Ask after listing the devices: a listing starts the service when it starts on demand.
MidiServicesFacts midiServicesFacts();
DriverFacts driverFacts();
TessivaneFacts tessivaneFacts();
StoredList storedChoices(bool inputs);  // "sharedInputs", or "defaultPorts"

PortListing listOutputs();
PortListing listInputs();
// The system's code for opening this output (0: opened, closed, nothing sent); none after 5 s.
std::optional<std::uint32_t> probeOutput(unsigned index);
// Round trips from the output to the input named; throws UsageError when a name matches nothing.
LoopResult measureLoop(std::string const& output, std::string const& input, unsigned count);
// Sustain off and all notes off on all 16 channels through "<output> - MIDI".
void sendPanic(std::string const& output);

std::wstring registryText(HKEY root, wchar_t const* key, wchar_t const* value);
inline std::string utf8(std::wstring const& text) {
    return utf8(std::u16string_view(reinterpret_cast<char16_t const*>(text.data()), text.size()));
}

// INVALID_HANDLE_VALUE is held as none, so that every failure tests the same way.
struct KernelHandle : std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)> {
    explicit KernelHandle(HANDLE handle) : unique_ptr(handle == INVALID_HANDLE_VALUE ? nullptr : handle, &CloseHandle) {}
};
