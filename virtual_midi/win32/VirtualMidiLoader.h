// Loads a driver library by file name and looks up the four entry points. Separate from
// virtualMidiBinding() so that tests can load stand-in libraries under other names.
#pragma once

#include "virtual_midi/VirtualMidiBinding.h"

// fileName is plain ASCII (a DLL name), looked for in System32 and then in the program's folder,
// nowhere else.
// On failure the driver table is empty and error says why.
VirtualMidiBinding loadVirtualMidiLibrary(char const* fileName);
