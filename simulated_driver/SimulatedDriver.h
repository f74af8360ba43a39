// The simulated virtual-port driver, in process: the same four entry points and callback contract
// as the vendor's driver, for tests and for development without it. The application side, which
// plays the other programs that open these ports, is in SimulatedApplication.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual_midi/VirtualMidiApi.h"

namespace tessivane {

// The four entry points as one table, ready for the engine.
VirtualMidiDriver simulatedDriver();

// The error of the last failed create on this thread (183 for a name already taken).
std::uint32_t simulatedDriverLastError();

// Makes creates of this exact name fail with a null handle, to reach failure paths.
void refusePortName(std::u16string name);
void clearRefusedPortNames();

// Names of the ports that exist and are not shut down.
std::vector<std::u16string> simulatedPortNames();

// The entry points themselves; the DLL wraps them.
VirtualMidiPortHandle TE_VM_CALL simulatedCreatePortEx2(char16_t const* portName,
                                                        VirtualMidiDataCallback callback,
                                                        std::uintptr_t instance,
                                                        std::uint32_t maxSysexLength,
                                                        std::uint32_t flags);
int TE_VM_CALL simulatedSendData(VirtualMidiPortHandle port, std::uint8_t* bytes,
                                 std::uint32_t length);
int TE_VM_CALL simulatedShutdown(VirtualMidiPortHandle port);
void TE_VM_CALL simulatedClosePort(VirtualMidiPortHandle port);

// Win32 error codes the driver reports.
std::uint32_t const kSimErrorAccessDenied = 5;        // refused on purpose
std::uint32_t const kSimErrorInvalidParameter = 87;   // no name, empty name

}  // namespace tessivane
