// Looks at an installed Tessivane from outside, for the release tests under Wine:
//   value KEY NAME     a value under HKEY_CURRENT_USER: "<type> <byte count> <text>"; exit 1 if absent
//   module-path        the executable path of the running Tessivane, as its own process sees it
//   count [NAME]       how many tessivane.exe (or NAME) processes are running
//   exit               "Exit" (WM_COMMAND 105) to every running Tessivane's main window
//   command N          WM_COMMAND N to every running Tessivane's main window (203: the menu's
//                      "Launch on startup")
//   shortcut LNK       the target path of a shell shortcut
//   short-path FILE    the short (8.3) spelling of an existing file's path
//   wizard-step TITLE [BUTTON]
//                      one step through a setup wizard whose window titles start so: presses
//                      a message box's BUTTON (an id: 1 OK, the default; 2 Cancel; 4 Retry),
//                      printing "box: <text>", or the wizard's default button (printing
//                      "page: <button text>"); exit 1 when no such window
//   wizard-rect TITLE  where that wizard's topmost window is (a message box, if one is up):
//                      "box|page <left> <top> <width> <height>"; exit 1 when no such window
//   windows            the visible top-level windows, "<class> | <title>" (for failure reports)
//   file-version FILE  the ProductVersion text of a file's version resource
//   windows-version    the Windows version this process is told, "<major>.<minor>" (10.0 only
//                      through the manifest's supportedOS; 6.2 without it)
//   start CMDLINE      starts a command line as Windows starts a Run value (no shell, no quoting
//                      added); prints the new process's id
//   run CMDLINE        the same, as Windows runs an uninstall entry's command: waits for it and
//                      ends with its exit code (255 when it could not start)
//   stand-in MODE      plays a Tessivane that will not end, until killed: "obeys" has the
//                      program's window and ends on its Exit; "lingers" takes Exit by closing its
//                      window and lives on; "windowless" has no window; "locked" lingers and
//                      lets no other process open it
//   hold FILE          holds FILE open and mapped, as a copy of the program starting from it
//                      would, until killed: it can still be opened for writing, not replaced
//                      or deleted
// Built with the program's manifest, so its narrow calls speak UTF-8 as the program's do.
#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kWindowClass[] = L"TESSIVANE";
constexpr WPARAM kExitCommand = 105;

std::string narrow(std::wstring const& text) {
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(char const* text) {
    int const size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    return out;
}

// Read with the narrow API and the byte count as the program itself reads it.
int printValue(char const* key, char const* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return 1;
    }
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(handle, name, nullptr, &type, nullptr, &size);
    std::vector<char> data(size + 1, '\0');
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExA(handle, name, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS) {
        return 1;
    }
    std::printf("%lu %lu %s\n", static_cast<unsigned long>(type), static_cast<unsigned long>(size),
                data.data());
    return 0;
}

std::vector<HWND> programWindows() {
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) != nullptr) {
        windows.push_back(window);
    }
    return windows;
}

int printModulePath() {
    for (HWND window : programWindows()) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        HANDLE process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
        if (process == nullptr) continue;
        // The main module's name from the process's own loader data: what GetModuleFileNameA
        // gives inside the program.
        char path[MAX_PATH] = {};
        DWORD const length = GetModuleFileNameExA(process, nullptr, path, MAX_PATH);
        CloseHandle(process);
        if (length > 0) {
            std::printf("%s\n", path);
            return 0;
        }
    }
    return 1;
}

int countPrograms(char const* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 2;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, wide(name).c_str()) == 0) ++count;
    }
    CloseHandle(snapshot);
    std::printf("%d\n", count);
    return 0;
}

int postCommand(WPARAM command) {
    std::vector<HWND> const windows = programWindows();
    for (HWND window : windows) PostMessageW(window, WM_COMMAND, command, 0);
    return windows.empty() ? 1 : 0;
}

int printShortcutTarget(char const* file) {
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    int code = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(wide(file).c_str(), STGM_READ))) {
        // From the item list, as the shell resolves it: Wine's GetPath gives the link's ANSI
        // copy of the path, which loses letters outside the code page.
        wchar_t target[MAX_PATH] = {};
        PIDLIST_ABSOLUTE items = nullptr;
        if (SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, target) &&
            target[0]) {
            std::printf("%s\n", narrow(target).c_str());
            code = 0;
        }
        CoTaskMemFree(items);
    }
    if (persist) persist->Release();
    if (link) link->Release();
    CoUninitialize();
    return code;
}

int printShortPath(char const* file) {
    wchar_t path[MAX_PATH] = {};
    DWORD const length = GetShortPathNameW(wide(file).c_str(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::printf("%s\n", narrow(path).c_str());
    return 0;
}

int printFileVersion(char const* file) {
    std::wstring const path = wide(file);
    DWORD const size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) return 1;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return 1;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        return 1;
    }
    wchar_t query[64] = {};
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translations[0].language,
             translations[0].codePage);
    wchar_t* text = nullptr;
    if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || !text) {
        return 1;
    }
    std::printf("%s\n", narrow(text).c_str());
    return 0;
}

struct WizardSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK findVisibleTitled(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WizardSearch*>(parameter);
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    // Setup adds a page's subtitle to its title: the title given is a prefix.
    if (IsWindowVisible(window) && std::wstring(title).rfind(search->title, 0) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK printVisible(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t title[256] = {};
    wchar_t windowClass[256] = {};
    GetWindowTextW(window, title, 256);
    GetClassNameW(window, windowClass, 256);
    std::printf("%s | %s\n", narrow(windowClass).c_str(), narrow(title).c_str());
    return TRUE;
}

int wizardStep(char const* title, WPARAM boxButton) {
    WizardSearch search;
    search.title = wide(title);
    EnumWindows(findVisibleTitled, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 1;
    HWND const window = search.found;
    // A message box shows its text in a static control with id 0xFFFF.
    if (HWND text = GetDlgItem(window, 0xFFFF)) {
        wchar_t buffer[2048] = {};
        GetWindowTextW(text, buffer, 2048);
        std::printf("box: %s\n", narrow(buffer).c_str());
        PostMessageW(window, WM_COMMAND, boxButton, 0);
        return 0;
    }
    HWND const next = GetDlgItem(window, IDOK);
    if (next == nullptr || !IsWindowEnabled(next)) {
        std::printf("busy\n");
        return 0;
    }
    wchar_t label[256] = {};
    GetWindowTextW(next, label, 256);
    std::printf("page: %s\n", narrow(label).c_str());
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    return 0;
}

int printWizardRect(char const* title) {
    WizardSearch search;
    search.title = wide(title);
    EnumWindows(findVisibleTitled, reinterpret_cast<LPARAM>(&search));
    RECT rect = {};
    if (search.found == nullptr || !GetWindowRect(search.found, &rect)) return 1;
    bool const box = GetDlgItem(search.found, 0xFFFF) != nullptr;
    std::printf("%s %ld %ld %ld %ld\n", box ? "box" : "page", rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top);
    return 0;
}

int printWindowsVersion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) return 1;
    std::printf("%lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
    return 0;
}

int start(char* commandLine, bool wait) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return wait ? 255 : 1;
    }
    CloseHandle(process.hThread);
    DWORD code = 0;
    if (wait) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        std::printf("%lu\n", static_cast<unsigned long>(process.dwProcessId));
    }
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && wParam == kExitCommand) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY && GetWindowLongPtrW(window, GWLP_USERDATA)) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

int standIn(std::string const& mode) {
    if (mode == "locked") {
        // An empty protected DACL: no other process of the user may open this one.
        ACL acl;
        InitializeAcl(&acl, sizeof acl, ACL_REVISION);
        if (SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &acl, nullptr) != ERROR_SUCCESS) {
            return 2;
        }
    }
    if (mode != "windowless") {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = standInProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
        HWND const window = CreateWindowW(kWindowClass, L"Tessivane", 0, 0, 0, 0, 0, nullptr, nullptr,
                                          windowClass.hInstance, nullptr);
        if (window == nullptr) return 2;
        SetWindowLongPtrW(window, GWLP_USERDATA, mode == "obeys");
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

int hold(char const* file) {
    HANDLE const handle = CreateFileW(wide(file).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 2;
    HANDLE const mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr || MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) == nullptr) return 2;
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string const command = argc > 1 ? argv[1] : "";
    if (command == "value" && argc == 4) return printValue(argv[2], argv[3]);
    if (command == "module-path") return printModulePath();
    if (command == "count" && argc <= 3) return countPrograms(argc == 3 ? argv[2] : "tessivane.exe");
    if (command == "exit") return postCommand(kExitCommand);
    if (command == "command" && argc == 3) return postCommand(std::strtoul(argv[2], nullptr, 10));
    if (command == "shortcut" && argc == 3) return printShortcutTarget(argv[2]);
    if (command == "short-path" && argc == 3) return printShortPath(argv[2]);
    if (command == "wizard-step" && (argc == 3 || argc == 4)) {
        return wizardStep(argv[2], argc == 4 ? std::strtoul(argv[3], nullptr, 10) : IDOK);
    }
    if (command == "wizard-rect" && argc == 3) return printWizardRect(argv[2]);
    if (command == "windows") return EnumWindows(printVisible, 0) ? 0 : 1;
    if (command == "file-version" && argc == 3) return printFileVersion(argv[2]);
    if (command == "windows-version") return printWindowsVersion();
    if (command == "start" && argc == 3) return start(argv[2], false);
    if (command == "run" && argc == 3) return start(argv[2], true);
    if (command == "stand-in" && argc == 3) return standIn(argv[2]);
    if (command == "hold" && argc == 3) return hold(argv[2]);
    std::fprintf(stderr,
                 "usage: release-probe value KEY NAME | module-path | count [NAME] | exit | command N | "
                 "shortcut LNK | short-path FILE | wizard-step TITLE [BUTTON] | wizard-rect TITLE | windows | "
                 "file-version FILE | windows-version | start CMDLINE | run CMDLINE | "
                 "stand-in obeys|lingers|windowless|locked | hold FILE\n");
    return 3;
}
