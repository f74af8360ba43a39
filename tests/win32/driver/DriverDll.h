// teVirtualMIDI64.dll loaded the way the program loads it: by name, at run time.
#pragma once

#include <windows.h>

#include "virtual_midi/VirtualMidiApi.h"

struct DriverDll {
    DriverDll() : module(LoadLibraryW(L"teVirtualMIDI64.dll")) {
        if (!module) return;
        driver.createPortEx2 = reinterpret_cast<VirtualMidiCreatePortEx2Fn>(
            reinterpret_cast<void*>(GetProcAddress(module, "virtualMIDICreatePortEx2")));
        driver.sendData = reinterpret_cast<VirtualMidiSendDataFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "virtualMIDISendData")));
        driver.shutdown = reinterpret_cast<VirtualMidiShutdownFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "virtualMIDIShutdown")));
        driver.closePort = reinterpret_cast<VirtualMidiClosePortFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "virtualMIDIClosePort")));
    }
    // Not unloaded: the DLL's pipe threads of ports still open must not lose their code.
    HMODULE module;
    VirtualMidiDriver driver;
};
