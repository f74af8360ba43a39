// Tessivane's running copies, Run value and stored choices, read with the program's own code.
#include "check/win32/MachineFacts.h"

#include "engine/PortName.h"
#include "settings/DefaultPortsDocument.h"
#include "settings/LaunchOnStartup.h"
#include "settings/SettingsValue.h"
#include "settings/SharedInputsDocument.h"

#include <tlhelp32.h>

#include <algorithm>

namespace {


std::vector<RunningCopy> runningCopies() {
    std::vector<PROCESSENTRY32W> found;
    KernelHandle const snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry);
    for (; more; more = Process32NextW(snapshot.get(), &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, L"tessivane.exe", -1, TRUE) == CSTR_EQUAL) {
            found.push_back(entry);
        }
    }
    DWORD ownSession = 0, session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &ownSession);
    std::vector<RunningCopy> copies;
    for (PROCESSENTRY32W const& process : found) {
        KernelHandle const handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.th32ProcessID));
        wchar_t path[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        RunningCopy copy;
        copy.processId = process.th32ProcessID;
        copy.path = utf8(std::wstring(path, handle && QueryFullProcessImageNameW(handle.get(), 0, path, &size) ? size : 0));
        // Another user's process does not even tell us its session.
        copy.session = ProcessIdToSessionId(process.th32ProcessID, &session) ? std::optional(session) : std::nullopt;
        copy.otherSession = copy.session != ownSession;
        copy.launcher = std::any_of(found.begin(), found.end(), [&](PROCESSENTRY32W const& other) {
            return other.th32ParentProcessID == process.th32ProcessID;
        });
        copies.push_back(copy);
    }
    return copies;
}


}  // namespace

TessivaneFacts tessivaneFacts() {
    TessivaneFacts facts;
    facts.running = runningCopies();
    facts.runValue = launchOnStartupValue();
    if (facts.runValue) {
        // Any file: a copy renamed (tessivane-1.0.exe, say) still starts.
        std::u16string const path = utf8ToUtf16(*facts.runValue);
        DWORD const attributes = GetFileAttributesW(reinterpret_cast<wchar_t const*>(path.c_str()));
        facts.runValueFileExists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        facts.runValueSwitchedOff = launchSwitchedOffInTaskManager();
    }
    return facts;
}

StoredList storedChoices(bool inputs) {
    StoredList list;
    char buffer[kStoredListMaxBytes];
    StoredValue const value = inputs ? readSharedInputsValue(buffer) : readDefaultPortsValue(buffer);
    char const* const member = inputs ? kInputsMember : kPortsMember;
    if (value == StoredValue::Text) {
        StoredState const states[] = {StoredState::Document, StoredState::OtherJson, StoredState::NotJson};
        list.state = states[static_cast<int>(storedTextKind(buffer, member))];
        list.value = buffer;
        list.names = storedNames(buffer, member);
    } else {
        list.state = value == StoredValue::TooLong ? StoredState::TooLong : StoredState::Absent;
    }
    return list;
}
