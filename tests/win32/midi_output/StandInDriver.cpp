// A stand-in driver library for the binding tests: it has the vendor's entry-point names and
// returns marks instead of doing anything. Built three times: complete, without
// virtualMIDIShutdown and virtualMIDIClosePort, complete but refusing to load (its DllMain fails,
// as a wrong build or a blocked copy does), and complete with an import from System32.
#include "virtual_midi/VirtualMidiApi.h"

#if STAND_IN_REFUSES
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return reason != DLL_PROCESS_ATTACH; }
#endif

extern "C" {

__declspec(dllexport) VirtualMidiPortHandle TE_VM_CALL virtualMIDICreatePortEx2(
    char16_t const*, VirtualMidiDataCallback, std::uintptr_t, std::uint32_t, std::uint32_t) {
    return nullptr;
}

#if STAND_IN_IMPORTS
__declspec(dllimport) int standInDependencyMark();
#else
static int standInDependencyMark() { return 2; }
#endif

__declspec(dllexport) int TE_VM_CALL virtualMIDISendData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t) {
    return standInDependencyMark();
}

#if STAND_IN_COMPLETE
__declspec(dllexport) int TE_VM_CALL virtualMIDIShutdown(VirtualMidiPortHandle) {
    return 3;
}

__declspec(dllexport) void TE_VM_CALL virtualMIDIClosePort(VirtualMidiPortHandle) {}
#endif

}  // extern "C"
