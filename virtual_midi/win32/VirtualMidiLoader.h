// Finds and loads a driver library by file name and looks up the four entry points. Separate from
// virtualMidiBinding() so that tests can load stand-in libraries under other names, and so that
// the diagnostics tool reports the very copy the program would use.
#pragma once

#include "virtual_midi/VirtualMidiBinding.h"

#include <windows.h>

#include <string>

char const* const kVirtualMidiDriverFile = "teVirtualMIDI64.dll";

// The entry points the program needs, in the order they are looked up.
extern char const* const kVirtualMidiFunctions[4];

struct VirtualMidiLibrary {
    VirtualMidiBinding binding;  // complete, or empty with its error set
    HMODULE module = nullptr;    // loaded (kept for the life of the process), or null
    // The copy loaded, as Windows names it (a module of that name already loaded from elsewhere
    // is the one used); when none loaded, the copy chosen; empty when neither place has one.
    std::wstring path;
    bool inSystemFolder = false; // that copy is System32's
};

// The copy in System32 when System32 has a file of that name, otherwise the one in the program's
// folder; never the current folder or PATH. fileName is plain ASCII (a DLL name).
VirtualMidiLibrary openVirtualMidiLibrary(char const* fileName);

// openVirtualMidiLibrary's binding alone.
VirtualMidiBinding loadVirtualMidiLibrary(char const* fileName);
