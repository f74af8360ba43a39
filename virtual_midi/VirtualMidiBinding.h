// Where the engine gets the virtual-port driver from: on Windows teVirtualMIDI64.dll, loaded at
// run time so that a machine without the driver gets our error box rather than the system loader's
// refusal to start; in the native build the simulated driver, linked in.
#pragma once

#include "virtual_midi/VirtualMidiApi.h"

#include <string>

struct VirtualMidiBinding {
    VirtualMidiDriver driver;
    std::string error;  // empty: the driver is usable; otherwise a text for the user
};

// Bound on first use (thread-safe) and kept for the life of the process.
VirtualMidiBinding const& virtualMidiBinding();
