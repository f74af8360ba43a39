// The four entry points and the data callback of the teVirtualMIDI driver library, declared from
// their documented contract. Portable types are used so that the native build (which links the
// simulated driver directly) and the Windows build (which loads teVirtualMIDI64.dll at run time)
// share one declaration; on x64 Windows they are ABI-identical to the Win32 types (DWORD, BYTE,
// DWORD_PTR, LPCWSTR).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define TE_VM_CALL __stdcall
#else
#define TE_VM_CALL
#endif

extern "C" {

// Opaque port handle; the driver owns what it points to.
struct VirtualMidiPort;
typedef VirtualMidiPort* VirtualMidiPortHandle;

// Called on one of the driver's own threads with one whole MIDI message (when the port was created
// with kVirtualMidiParseRx) and the instance value given at creation.
typedef void(TE_VM_CALL* VirtualMidiDataCallback)(VirtualMidiPortHandle port, std::uint8_t* bytes,
                                                  std::uint32_t length, std::uintptr_t instance);

typedef VirtualMidiPortHandle(TE_VM_CALL* VirtualMidiCreatePortEx2Fn)(
    char16_t const* portName, VirtualMidiDataCallback callback, std::uintptr_t instance,
    std::uint32_t maxSysexLength, std::uint32_t flags);
typedef int(TE_VM_CALL* VirtualMidiSendDataFn)(VirtualMidiPortHandle port, std::uint8_t* bytes,
                                                std::uint32_t length);
typedef int(TE_VM_CALL* VirtualMidiShutdownFn)(VirtualMidiPortHandle port);
typedef void(TE_VM_CALL* VirtualMidiClosePortFn)(VirtualMidiPortHandle port);
// virtualMIDIGetVersion and virtualMIDIGetDriverVersion, which the program does not need and the
// diagnostics tool reports: the version of the DLL and of the kernel driver behind it, as four
// numbers and as a text.
typedef char16_t const*(TE_VM_CALL* VirtualMidiGetVersionFn)(std::uint16_t* major, std::uint16_t* minor,
                                                             std::uint16_t* release, std::uint16_t* build);

}  // extern "C"

// Creation flags (a bit set).
std::uint32_t const kVirtualMidiParseRx = 1;       // parse what applications write into whole messages
std::uint32_t const kVirtualMidiParseTx = 2;       // parse what the program sends out of the port
std::uint32_t const kVirtualMidiRxOnly = 4;        // only the side applications write into
std::uint32_t const kVirtualMidiTxOnly = 8;        // only the side applications read from

// Win32 error code for a port whose name is taken (ERROR_ALREADY_EXISTS).
std::uint32_t const kVirtualMidiErrorAlreadyExists = 183;

// The driver as the engine uses it: one table of the four entry points.
struct VirtualMidiDriver {
    VirtualMidiCreatePortEx2Fn createPortEx2 = nullptr;
    VirtualMidiSendDataFn sendData = nullptr;
    VirtualMidiShutdownFn shutdown = nullptr;
    VirtualMidiClosePortFn closePort = nullptr;

    bool complete() const { return createPortEx2 && sendData && shutdown && closePort; }
};
