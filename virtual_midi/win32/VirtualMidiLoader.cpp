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

// The file name at the end of a path.
std::wstring fileNameOf(std::wstring const& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

bool sameFolder(std::wstring const& path, std::wstring const& folder) {
    std::wstring const own = folderOf(path.c_str(), static_cast<DWORD>(path.size()));
    return !folder.empty() &&
           CompareStringOrdinal(own.c_str(), static_cast<int>(own.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// Where the loaded module really comes from: a module of that name that the process has already
// loaded from elsewhere is handed back instead of the copy that was looked for.
std::wstring loadedPath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD const length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// "126: a DLL that it needs is missing", "193: Bad EXE format for teVirtualMIDI64.dll": Windows'
// text for the error with the file's name in its place holders, without its closing full stop.
std::string windowsError(DWORD code, std::wstring const& path) {
    // The file exists (it was found): what is missing is a DLL that it imports.
    if (code == ERROR_MOD_NOT_FOUND) {
        return std::to_string(code) + ": a DLL that it needs is missing";
    }
    std::wstring const name = fileNameOf(path);
    // Every place holder a message can have (%1 to %99) names the file.
    DWORD_PTR inserts[99];
    for (DWORD_PTR& insert : inserts) {
        insert = reinterpret_cast<DWORD_PTR>(name.c_str());
    }
    wchar_t* text = nullptr;
    DWORD const length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, reinterpret_cast<va_list*>(inserts));
    std::wstring message(text ? text : L"", text ? length : 0);
    LocalFree(text);
    for (wchar_t& c : message) {
        if (c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.')) {
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
            : "Error: could not load " + utf8(library.path) + " (Windows error " +
                  windowsError(code, library.path) + "). Reinstall the teVirtualMIDI driver.";
        return library;
    }
    std::wstring const loaded = loadedPath(library.module);
    if (!loaded.empty()) {
        library.path = loaded;
        library.inSystemFolder = sameFolder(loaded, systemFolder());
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
