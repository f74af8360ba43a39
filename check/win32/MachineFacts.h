// What tessivane-check reads from Windows, the way Tessivane itself reads it. Nothing here writes
// a setting, makes a port or touches a running Tessivane.
#pragma once

#include "check/CheckReport.h"

#include <string>

SystemFacts systemFacts();
MidiServiceFacts midiServiceFacts();
DriverFacts driverFacts();
TessivaneFacts tessivaneFacts();
// The stored choices, each checked against the outputs listed now.
StoredChoicesFacts storedChoicesFacts(std::vector<ListedPort> const& outputs, bool tessivaneRuns);

// MIDI ports through RtMidi's WinMM back end, as the program sees them.
std::vector<ListedPort> listedOutputs();
std::vector<ListedPort> listedInputs();
// Whether the output at this index can be opened now; it is closed again at once, sent nothing.
bool outputCanBeOpened(unsigned index);
// Round trips from the output to the input named (exactly); throws UsageError when a name matches
// nothing listed.
LoopResult measureLoop(std::string const& output, std::string const& input, unsigned count);
// Sustain off and all notes off on all 16 channels through "<output> - MIDI".
void sendPanic(std::string const& output);

std::string utf8(std::wstring const& text);
