// Tessivane on this machine: its running copies, its installation, its Run value and the choices
// it stores, read with the program's own settings code.
#include "check/win32/MachineFacts.h"

#include "check/win32/ScopedHandles.h"

#include "check/CheckCommand.h"
#include "engine/EngineTexts.h"
#include "engine/PortName.h"
#include "settings/DefaultPortsDocument.h"
#include "settings/SettingsValue.h"
#include "settings/LaunchOnStartup.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>

namespace {

wchar_t const kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessivane";

std::wstring registryText(wchar_t const* key, wchar_t const* value) {
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return L"";
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_SZ, nullptr, &text[0], &bytes) != ERROR_SUCCESS) {
        return L"";
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

// Windows compares paths without regard to letter case.
bool samePath(std::wstring const& a, std::wstring const& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::vector<RunningCopy> runningCopies(std::wstring const& installedExe) {
    std::vector<RunningCopy> copies;
    KernelHandle const snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) {
        return copies;
    }
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (!samePath(entry.szExeFile, L"tessivane.exe")) {
            continue;
        }
        KernelHandle const process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t path[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
            size = 0;  // still a running copy, of unknown place
        }
        std::wstring const image(path, size);
        copies.push_back({entry.th32ProcessID, utf8(image), samePath(image, installedExe)});
    }
    return copies;
}

}  // namespace

TessivaneFacts tessivaneFacts() {
    TessivaneFacts facts;
    std::wstring const folder = registryText(kUninstallKey, L"InstallLocation");
    std::wstring const installedExe = folder.empty() ? L"" : folder + L"\\tessivane.exe";
    facts.installedFolder = utf8(folder);
    facts.installedVersion = utf8(registryText(kUninstallKey, L"DisplayVersion"));
    facts.running = runningCopies(installedExe);
    facts.runValue = launchOnStartupValue();
    if (facts.runValue) {
        std::u16string const text = utf8ToUtf16(*facts.runValue);
        std::wstring const path(text.begin(), text.end());
        DWORD const attributes = GetFileAttributesW(path.c_str());
        facts.runValueFileExists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                   samePath(path.substr(path.find_last_of(L'\\') + 1), L"tessivane.exe");
        facts.runValueIsInstalled = launchValueStarts(*facts.runValue, utf8(installedExe));
    }
    return facts;
}

StoredChoicesFacts storedChoicesFacts(std::vector<ListedPort> const& outputs, bool tessivaneRuns) {
    StoredChoicesFacts facts;
    char buffer[kDefaultPortsMaxBytes];
    StoredValue const value = readDefaultPortsValue(buffer);
    if (value != StoredValue::Text) {
        facts.state = value == StoredValue::TooLong ? StoredState::TooLong : StoredState::Absent;
        return facts;
    }
    facts.value = validUtf8(buffer);
    StoredTextKind const kind = storedTextKind(buffer);
    facts.state = kind == StoredTextKind::NotJson     ? StoredState::NotJson
                  : kind == StoredTextKind::OtherJson ? StoredState::OtherJson
                                                      : StoredState::Document;
    auto const port = [&](std::string const& name) {
        return std::find_if(outputs.begin(), outputs.end(), [&](ListedPort const& listed) {
            return listed.role == PortRole::TessivanePort && listed.name == name;
        }) != outputs.end();
    };
    for (std::string const& name : storedPortNames(buffer)) {
        StoredChoice choice;
        choice.name = validUtf8(name);
        auto const device = std::find_if(outputs.begin(), outputs.end(), [&](ListedPort const& listed) {
            return listed.role == PortRole::Device && listed.uniqueName == name;
        });
        choice.connected = device != outputs.end();
        choice.portsListed = port(portNameUtf8(name, kMidiPortSuffix)) && port(portNameUtf8(name, kSysExPortSuffix));
        // Only while Tessivane is not running: it holds the outputs it shares itself.
        choice.heldElsewhere = choice.connected && !tessivaneRuns &&
                               !outputCanBeOpened(static_cast<unsigned>(device - outputs.begin()));
        facts.choices.push_back(std::move(choice));
    }
    return facts;
}
