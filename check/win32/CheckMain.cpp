// tessivane-check.exe. Exit codes: 0 nothing found (or the command went well), 1 something found
// (or the command failed), 2 a usage error.
#include "check/Findings.h"
#include "check/ReportWriters.h"
#include "check/win32/MachineFacts.h"
#include "engine/EngineTexts.h"
#include "engine/PortName.h"
#include "engine/PortRequest.h"
#include "program_state/win32/PublishedState.h"

#include "TessivaneVersion.h"

#include <iostream>

namespace {

int const kFound = 1, kUsage = 2;

// UTF-16 to the console itself, whatever its code page; UTF-8 bytes to a file or pipe.
void write(DWORD stream, std::string const& text) {
    HANDLE const handle = GetStdHandle(stream);
    std::u16string const wide = utf8ToUtf16(text);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        auto const* units = reinterpret_cast<wchar_t const*>(wide.data());
        WriteConsoleW(handle, units, static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

CheckReport gatherReport() {
    CheckReport report;
    report.system = systemFacts();
    report.driver = driverFacts();
    report.tessivane = tessivaneFacts();
    report.state = readPublishedState();
    report.outputChoices = storedChoices(false);
    report.inputChoices = storedChoices(true);
    report.outputs = listOutputs();
    report.inputs = listInputs();
    report.midiServices = midiServicesFacts();
    // A Tessivane that runs holds its outputs itself, and its state says why one is not open.
    for (Choice const& choice : tessivaneRuns(report) ? std::vector<Choice>() : choicesOf(report)) {
        if (!choice.input && choice.device) {
            report.probes.emplace_back(choice.name, probeOutput(choice.device->index));
        }
    }
    return report;
}

// Also in a file with Windows' line ends, to attach to a question or a bug report.
std::string saved(std::string const& text) {
    std::wstring folder(GetTempPathW(0, nullptr), L'\0');
    folder.resize(folder.empty() ? 0 : GetTempPathW(static_cast<DWORD>(folder.size()), &folder[0]));
    // Its long form (C:\Users\Ana Maria\...), not the 8.3 names that Windows may give a folder.
    std::wstring path(GetLongPathNameW(folder.c_str(), nullptr, 0), L'\0');
    path.resize(path.empty() ? 0 : GetLongPathNameW(folder.c_str(), &path[0], static_cast<DWORD>(path.size())));
    path = (path.empty() ? folder : path) + L"tessivane-check.txt";
    std::string lines;
    for (char const c : text) {
        lines += c == '\n' ? "\r\n" : std::string(1, c);
    }
    // Others (an editor, a mail program) may read it while it is written.
    KernelHandle const file(folder.empty() ? nullptr
                                           : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    bool const whole = file && WriteFile(file.get(), lines.data(), static_cast<DWORD>(lines.size()), &written,
                                         nullptr) && written == lines.size();
    return whole ? "It changed nothing and wrote only this report, also in " + utf8(path) + "\n"
                 : "It changed nothing, and could not save this report in " + utf8(path) + " (Windows error " +
                       std::to_string(GetLastError()) + ").\n";
}

// A console of its own (started from its shortcut) would close with the last line.
void waitIfOwnConsole() {
    DWORD processes[2], mode = 0, read = 0;
    if (GetConsoleProcessList(processes, 2) == 1 && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
        GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        write(STD_OUTPUT_HANDLE, "\nPress Enter to close this window.");
        wchar_t buffer[64];
        ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), buffer, 64, &read, nullptr);
    }
}

int loop(CheckCommand const& command) {
    bool const loopback = command.kind == CheckCommand::Kind::Loopback;
    std::string const output = loopback ? std::string(kLoopbackName) + kLoopbackOutSuffix : command.output;
    std::string const input = loopback ? std::string(kLoopbackName) + kLoopbackInSuffix : command.input;
    LoopResult result;
    try {
        result = measureLoop(output, input, command.count);
    } catch (UsageError const&) {
        // The pair's names are not the user's: when it is missing, the command line is not at fault.
        if (!loopback) throw;
        throw std::runtime_error("Windows does not list Tessivane's loopback pair: start Tessivane first.");
    }
    std::optional<Finding> const finding = loopFinding(result, loopback);
    write(STD_OUTPUT_HANDLE, "Round trips from \"" + output + "\" to \"" + input + "\"\n" + loopText(result) +
                                 (finding ? "\n" + finding->problem + "\nFix: " + finding->fix + "\n" : ""));
    return finding ? kFound : 0;
}

int run(CheckCommand const& command) {
    if (command.kind == CheckCommand::Kind::Help) {
        write(STD_OUTPUT_HANDLE, kCheckUsage);
        return 0;
    } else if (command.kind == CheckCommand::Kind::Panic) {
        sendPanic(command.output);
        write(STD_OUTPUT_HANDLE, "Handed Sustain off and All Notes Off on all 16 channels to \"" +
                                     portNameUtf8(command.output, kMidiPortSuffix) +
                                     "\"; Tessivane passes them on to the device while it has it open.\n");
        return 0;
    } else if (command.kind != CheckCommand::Kind::Report) {
        return loop(command);
    }
    CheckReport const report = gatherReport();
    std::vector<Finding> const findings = findingsOf(report);
    if (command.json) {
        write(STD_OUTPUT_HANDLE, reportJson(report, findings, TESSIVANE_VERSION_TEXT));
    } else {
        std::string const text = "Tessivane check, version " TESSIVANE_VERSION_TEXT "\n" +
                                 reportText(report, findings, TESSIVANE_VERSION_TEXT);
        write(STD_OUTPUT_HANDLE, text + "\n" + saved(text));
    }
    return findings.empty() ? 0 : kFound;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The tool writes to the console itself; RtMidi's warnings would only repeat what it says.
    std::cerr.rdbuf(nullptr);
    CheckCommand command;
    int code = 0;
    try {
        // Half a surrogate pair gets a byte that is not UTF-8 either: refused, not looked up.
        std::vector<std::string> arguments;
        for (int i = 1; i < argc; ++i) {
            std::string const text = utf8(argv[i]);
            arguments.push_back(utf8ToUtf16(text) == reinterpret_cast<char16_t const*>(argv[i]) ? text : text + "\xFF");
        }
        command = parseCheckCommand(arguments);
        code = run(command);
    } catch (UsageError const& error) {
        write(STD_ERROR_HANDLE, std::string("tessivane-check: ") + error.what() + "\n\n" + kCheckUsage);
        code = kUsage;
    } catch (std::exception const& error) {
        write(STD_ERROR_HANDLE, std::string("tessivane-check: ") + error.what() + "\n");
        code = kFound;
    }
    if (!command.json) {
        waitIfOwnConsole();
    }
    return code;
}
