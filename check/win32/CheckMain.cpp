// tessivane-check.exe: looks at the machine the way Tessivane does and says what is wrong and
// what to do; measures a MIDI loop; silences a shared output. Exit codes: 0 nothing found (or the
// command went well), 1 something found (or the command failed), 2 a usage error.
#include "check/CheckCommand.h"
#include "check/Findings.h"
#include "check/ReportWriters.h"
#include "check/win32/MachineFacts.h"
#include "check/win32/ScopedHandles.h"
#include "engine/EngineTexts.h"
#include "engine/PortRequest.h"

#include "TessivaneVersion.h"

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

namespace {

int const kFound = 1, kUsage = 2;

// UTF-16 to the console itself, whatever its code page; UTF-8 bytes to a file or pipe.
void write(HANDLE stream, std::string const& text) {
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(stream, &mode)) {
        std::wstring wide(text.size(), L'\0');
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                        static_cast<int>(wide.size())));
        WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void out(std::string const& text) { write(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void err(std::string const& text) { write(GetStdHandle(STD_ERROR_HANDLE), text); }

// An argument that is not valid UTF-16 is handed on as bytes that are not valid UTF-8 either,
// so that the parser refuses it rather than look up a different name.
std::vector<std::string> arguments(int argc, wchar_t** argv) {
    std::vector<std::string> result;
    for (int i = 1; i < argc; ++i) {
        std::wstring const argument = argv[i];
        bool const valid = argument.empty() ||
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argument.data(), static_cast<int>(argument.size()),
                                nullptr, 0, nullptr, nullptr) > 0;
        result.push_back(valid ? utf8(argument) : utf8(argument) + "\xFF");
    }
    return result;
}

CheckReport gatherReport() {
    CheckReport report;
    report.system = systemFacts();
    report.midiService = midiServiceFacts();
    report.driver = driverFacts();
    report.tessivane = tessivaneFacts();
    report.outputs = listedOutputs();
    report.inputs = listedInputs();
    report.stored = storedChoicesFacts(report.outputs, !report.tessivane.running.empty());
    std::string const loopOut = std::string(kLoopbackName) + kLoopbackOutSuffix;
    std::string const loopIn = std::string(kLoopbackName) + kLoopbackInSuffix;
    auto const listed = [](std::vector<ListedPort> const& ports, std::string const& name) {
        for (ListedPort const& port : ports) {
            if (port.name == name) return true;
        }
        return false;
    };
    if (listed(report.outputs, loopOut) && listed(report.inputs, loopIn)) {
        try {
            report.loopback = measureLoop(loopOut, loopIn, 200);
        } catch (std::exception const& error) {
            report.loopback = LoopResult();
            report.loopback->error = std::string("could not open the loopback pair: ") + error.what();
        }
    }
    report.findings = findingsOf(report);
    return report;
}

// Also in a file, to attach to a question or a bug report; its path, or empty when it could not
// be written.
std::string saved(std::string const& text) {
    wchar_t folder[MAX_PATH + 1];
    DWORD const length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        return "";
    }
    std::wstring const path = std::wstring(folder, length) + L"tessivane-check.txt";
    KernelHandle const file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    bool const whole = file && file.get() != INVALID_HANDLE_VALUE &&
                       WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                       written == text.size();
    return whole ? utf8(path) : "";
}

// Started from its shortcut, the tool has a console of its own, which would close with the
// last line; redirected or started from a prompt, it must never wait.
void waitIfOwnConsole() {
    DWORD processes[2];
    DWORD mode = 0;
    if (GetConsoleProcessList(processes, 2) == 1 && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
        GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        out("\nPress Enter to close this window.");
        wchar_t buffer[64];
        DWORD read = 0;
        ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), buffer, 64, &read, nullptr);
    }
}

int run(CheckCommand const& command) {
    switch (command.kind) {
    case CheckCommand::Kind::Help:
        out(kCheckUsage);
        return 0;
    case CheckCommand::Kind::Panic:
        sendPanic(command.output);
        out("Sent Sustain off and All Notes Off on all 16 channels to \"" + command.output + kMidiPortSuffix + "\".\n");
        return 0;
    case CheckCommand::Kind::Loop: {
        LoopResult const loop = measureLoop(command.output, command.input, command.count);
        out("Round trips from \"" + command.output + "\" to \"" + command.input + "\"\n" + loopText(loop));
        return loop.clean() ? 0 : kFound;
    }
    case CheckCommand::Kind::Report: break;
    }
    CheckReport const report = gatherReport();
    if (command.json) {
        out(reportJson(report));
    } else {
        std::string const text = "Tessivane check, version " TESSIVANE_VERSION_TEXT "\n\n" + reportText(report);
        std::string const path = saved(text);
        out(text + (path.empty() ? "" : "\nThis report is also in " + path + "\n"));
    }
    return report.findings.empty() ? 0 : kFound;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CheckCommand command;
    int code = 0;
    try {
        command = parseCheckCommand(arguments(argc, argv));
        code = run(command);
    } catch (UsageError const& error) {
        err(std::string("tessivane-check: ") + error.what() + "\n\n" + kCheckUsage);
        code = kUsage;
    } catch (std::exception const& error) {
        err(std::string("tessivane-check: ") + error.what() + "\n");
        code = kFound;
    }
    if (!command.json) {
        waitIfOwnConsole();
    }
    return code;
}
