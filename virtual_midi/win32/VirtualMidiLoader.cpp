#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <string>

char const* const kVirtualMidiFunctions[4] = {"virtualMIDICreatePortEx2", "virtualMIDISendData",
                                              "virtualMIDIShutdown", "virtualMIDIClosePort"};

namespace {

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

std::wstring folderOf(wchar_t const* path, DWORD length) {
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring systemFolder() {
    wchar_t path[MAX_PATH];
    UINT const length = GetSystemDirectoryW(path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    DWORD const length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folderOf(path, length) : std::wstring();
}

bool fileExists(std::wstring const& path) {
    DWORD const attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string utf8(std::wstring const& text) {
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0],
                            size, nullptr, nullptr);
    }
    return result;
}

// "Windows error 126: The specified module could not be found."
std::string windowsError(DWORD code) {
    wchar_t* text = nullptr;
    DWORD const length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
        message.pop_back();
    }
    return std::to_string(code) + (message.empty() ? "" : ": " + utf8(message));
}

}  // namespace

VirtualMidiLibrary openVirtualMidiLibrary(char const* fileName) {
    VirtualMidiLibrary library;
    std::wstring const wideName(fileName, fileName + std::char_traits<char>::length(fileName));
    // System32 first, where the driver's setup puts the DLL that matches its kernel driver: a copy
    // beside a portable tessivane.exe (in Downloads, say) must not override it, not even when
    // System32's copy exists but fails to load (a wrong build, refused by its DllMain or by
    // policy). The program's own folder only when System32 has none, for a portable setup without
    // an installed driver; that copy's own imports are still looked for in System32, where
    // Windows would otherwise not search them. Never the current folder or PATH, which a program
    // started at logon does not control. Never freed, so no RAII owner: the driver may call back
    // on its own threads until the process ends, and the module must stay mapped for that.
    std::wstring const inSystem = systemFolder() + L"\\" + wideName;
    std::wstring const besideProgram = programFolder() + L"\\" + wideName;
    DWORD code = 0;
    if (fileExists(inSystem)) {
        library.path = inSystem;
        library.inSystemFolder = true;
        library.module = LoadLibraryExW(wideName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        code = GetLastError();
    } else {
        library.module = LoadLibraryExW(wideName.c_str(), nullptr,
                                        LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        code = GetLastError();
        if (library.module || fileExists(besideProgram)) {
            library.path = besideProgram;
        }
    }
    VirtualMidiBinding& binding = library.binding;
    if (!library.module) {
        binding.error = library.path.empty()
            ? std::string("Error: could not load ") + fileName + ". Is the teVirtualMIDI driver installed?"
            : "Error: could not load " + utf8(library.path) + " (Windows error " + windowsError(code) +
                  "). Reinstall the teVirtualMIDI driver.";
        return library;
    }
    VirtualMidiDriver driver;
    char const* missing = nullptr;
    if (!lookUp(library.module, kVirtualMidiFunctions[0], driver.createPortEx2)) {
        missing = kVirtualMidiFunctions[0];
    } else if (!lookUp(library.module, kVirtualMidiFunctions[1], driver.sendData)) {
        missing = kVirtualMidiFunctions[1];
    } else if (!lookUp(library.module, kVirtualMidiFunctions[2], driver.shutdown)) {
        missing = kVirtualMidiFunctions[2];
    } else if (!lookUp(library.module, kVirtualMidiFunctions[3], driver.closePort)) {
        missing = kVirtualMidiFunctions[3];
    }
    if (missing) {
        // A table with some entries would invite a half-working engine; hand out none.
        binding.error = std::string("Error: ") + fileName + " has no function " + missing +
                        ". Is the teVirtualMIDI driver up to date?";
        return library;
    }
    binding.driver = driver;
    return library;
}

VirtualMidiBinding loadVirtualMidiLibrary(char const* fileName) {
    return openVirtualMidiLibrary(fileName).binding;
}

VirtualMidiBinding const& virtualMidiBinding() {
    static VirtualMidiBinding const binding = loadVirtualMidiLibrary(kVirtualMidiDriverFile);
    return binding;
}
