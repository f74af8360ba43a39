// A stand-in driver library for the binding tests: it has the vendor's entry-point names and
// returns marks instead of doing anything. Built twice, with and without virtualMIDIShutdown and
// virtualMIDIClosePort.
#include "virtual_midi/VirtualMidiApi.h"

extern "C" {

__declspec(dllexport) VirtualMidiPortHandle TE_VM_CALL virtualMIDICreatePortEx2(
    char16_t const*, VirtualMidiDataCallback, std::uintptr_t, std::uint32_t, std::uint32_t) {
    return nullptr;
}

__declspec(dllexport) int TE_VM_CALL virtualMIDISendData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t) {
    return 2;
}

#if STAND_IN_COMPLETE
__declspec(dllexport) int TE_VM_CALL virtualMIDIShutdown(VirtualMidiPortHandle) {
    return 3;
}

__declspec(dllexport) void TE_VM_CALL virtualMIDIClosePort(VirtualMidiPortHandle) {}
#endif

}  // extern "C"
