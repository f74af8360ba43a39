// What WinMM loads, read from HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Drivers32. Only
// reads: it starts no service and opens no device.
#pragma once

#include "midi_services/MidiServicesMode.h"

MidiServicesRegistry readMidiServicesRegistry();
MidiServicesMode windowsMidiServicesMode();  // read + decide
