#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <windows.h>

#include <string>

namespace {

char const kDriverFile[] = "teVirtualMIDI64.dll";

template <class Fn>
bool lookUp(HMODULE module, char const* function, Fn& target) {
    FARPROC address = GetProcAddress(module, function);
    if (!address) {
        return false;
    }
    // Through void(*)() so the compiler accepts the change of function type.
    target = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    return true;
}

}  // namespace

VirtualMidiBinding loadVirtualMidiLibrary(char const* fileName) {
    VirtualMidiBinding binding;
    std::wstring const wideName(fileName, fileName + std::char_traits<char>::length(fileName));
    // System32 first, where the driver's setup puts the DLL that matches its kernel driver: a copy
    // beside a portable tessivane.exe (in Downloads, say) must not override it. The program's own
    // folder only when System32 has none, for a portable setup without an installed driver.
    // Never the current folder or PATH, which a program started at logon does not control.
    // Never freed, so no RAII owner: the driver may call back on its own threads until the process
    // ends, and the module must stay mapped for that.
    HMODULE module = LoadLibraryExW(wideName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        module = LoadLibraryExW(wideName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    }
    if (!module) {
        binding.error = std::string("Error: could not load ") + fileName +
                        ". Is the teVirtualMIDI driver installed?";
        return binding;
    }
    VirtualMidiDriver driver;
    char const* missing = nullptr;
    if (!lookUp(module, "virtualMIDICreatePortEx2", driver.createPortEx2)) {
        missing = "virtualMIDICreatePortEx2";
    } else if (!lookUp(module, "virtualMIDISendData", driver.sendData)) {
        missing = "virtualMIDISendData";
    } else if (!lookUp(module, "virtualMIDIShutdown", driver.shutdown)) {
        missing = "virtualMIDIShutdown";
    } else if (!lookUp(module, "virtualMIDIClosePort", driver.closePort)) {
        missing = "virtualMIDIClosePort";
    }
    if (missing) {
        // A table with some entries would invite a half-working engine; hand out none.
        binding.error = std::string("Error: ") + fileName + " has no function " + missing +
                        ". Is the teVirtualMIDI driver up to date?";
        return binding;
    }
    binding.driver = driver;
    return binding;
}

VirtualMidiBinding const& virtualMidiBinding() {
    static VirtualMidiBinding const binding = loadVirtualMidiLibrary(kDriverFile);
    return binding;
}
