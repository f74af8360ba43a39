#include "check/Findings.h"

#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortName.h"
#include "engine/PortRequest.h"
#include "midi_common/MidiOpenError.h"
#include "ui/StartRequirement.h"

#include <algorithm>
#include <cstring>

namespace {

// Each is also in installer/README.txt, under "When something does not work"; <...> is filled in.
char const kFixWindows[] = "Update Windows to Windows 10 version 1903 or later, or Windows 11 (Settings > Windows Update).";
char const kFixCompatibility[] = "Right-click tessivane.exe, choose Properties, clear every setting on the Compatibility tab (also under \"Change settings for all users\"), then start Tessivane again.";
char const kFixOwnAccount[] = "Start Tessivane diagnostics from the Start menu of the account that uses Tessivane, without \"Run as\".";
char const kFixDriverMissing[] = "Install the teVirtualMIDI driver from its vendor, then start Tessivane again.";
char const kFixDriverBroken[] = "Reinstall the teVirtualMIDI driver from its vendor, then start Tessivane again.";
char const kFixDriverOld[] = "Install the driver's current version, then start Tessivane again.";
char const kFixNotRunning[] = "Start Tessivane from the Start menu and read its message if it shows one.";
char const kFixPortsTaken[] = "Choose \"Exit\" in the menu of every Tessivane icon (or close the other program), then start Tessivane once.";
char const kFixOtherSession[] = "Switch to that user and choose \"Exit\" in the menu of its Tessivane icon, or sign that user out.";
char const kFixOtherProgram[] = "Close the program that made them (a renamed copy of Tessivane, or another program that uses the teVirtualMIDI driver), then start Tessivane.";
char const kFixRunValue[] = "Start the copy of Tessivane that you use and switch \"Launch on startup\" on in its menu.";
char const kFixRunValueOff[] = "Open Task Manager (Ctrl+Shift+Esc), choose Startup apps, select Tessivane and choose Enable.";
char const kFixStored[] = "Choose \"Exit\" in its menu, then enter in a command prompt reg delete HKCU\\SOFTWARE\\Velmora\\Tessivane /f and start Tessivane again.";
char const kFixTickAgain[] = "Open \"Configure...\" and tick the outputs you use again.";
char const kFixListing[] = "Restart the computer, then run Tessivane diagnostics again.";
char const kFixUnplugged[] = "Plug the device in or switch it on; it appears within a moment, also in a Configure window that is open.";
char const kFixInputUnplugged[] = "Plug the device in or switch it on.";
char const kFixRenamed[] = "Tick \"<listed name>\" in \"Configure...\".";
char const kFixHeld[] = "In that application choose \"<output name> - MIDI\" instead of the device itself, or close the application.";
char const kFixInputHeld[] = "In that application choose \"<input name> - In\" instead of the device itself, or close the application; then tick the input again in Share inputs.";
char const kFixOpenFailed[] = "Unplug the device and plug it in again (or switch it off and on); if that does not help, restart the computer.";
char const kFixRestartMidiService[] = "Restart the computer: Windows MIDI Services show ports made after the service started only once it starts again.";
char const kFixFeedback[] = "Switch off MIDI Thru (or echo) wherever the input is sent back into the output: in an application, the interface or the device.";
char const kFixBusy[] = "Close what keeps the computer busy, then run it again.";
char const kFixCable[] = "Check the cable and the device, then run it again.";

std::string quoted(std::string const& text) { return "\"" + text + "\""; }

std::string quoted(std::vector<std::string> const& texts) {
    std::string list;
    for (std::string const& text : texts) list += (list.empty() ? "" : ", ") + quoted(text);
    return list;
}

std::string filled(char const* fix, char const* placeholder, std::string const& value) {
    return std::string(fix).replace(std::strstr(fix, placeholder) - fix, std::strlen(placeholder), value);
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return text;
}

// A device name without what Windows adds when a device is renamed or moves: a "MIDIOUT2 (...)"
// wrapper, a leading "2- ", a trailing " (2)", and letter case.
std::string deviceKey(std::string name) {
    auto const digits = [&](std::size_t from) {
        return std::find_if(name.begin() + from, name.end(), [](char c) { return c < '0' || c > '9'; }) - name.begin();
    };
    for (std::string const wrapper : {"MIDIOUT", "MIDIIN"}) {
        std::size_t const at = name.compare(0, wrapper.size(), wrapper) == 0 ? digits(wrapper.size()) : 0;
        if (at > 0 && name.compare(at, 2, " (") == 0 && name.back() == ')') {
            name = name.substr(at + 2, name.size() - at - 3);
        }
    }
    std::size_t const number = digits(0);
    name.erase(0, number > 0 && name.compare(number, 2, "- ") == 0 ? number + 2 : 0);
    return lowerAscii(name.substr(0, name.size() - uniqueNumberLength(name)));
}

bool countsAsCopy(RunningCopy const& copy) { return !copy.otherSession && !copy.launcher; }

void machineFindings(CheckReport const& report, std::vector<Finding>& found) {
    SystemFacts const& system = report.system;
    DriverFacts const& driver = report.driver;
    if (!codePageLetsTessivaneStart(system.ansiCodePage)) {
        found.push_back({"windowsTooOld", codePageRequirementText(system.ansiCodePage), kFixWindows});
    }
    for (auto const& [path, settings] : system.compatibility) {
        found.push_back({"compatibility", "Windows starts " + quoted(path) + " with compatibility settings (" +
                                              settings + "), which can hide the real Windows from it.",
                         kFixCompatibility});
    }
    if (!system.sessionUser.empty() && lowerAscii(system.user) != lowerAscii(system.sessionUser)) {
        found.push_back({"otherUser", "This check runs as " + quoted(system.user) + ", not as " +
                                          quoted(system.sessionUser) + " who is signed in: it shows " +
                                          quoted(system.user) + "'s settings.", kFixOwnAccount});
    }
    char const* const ids[] = {"", "driverMissing", "driverBroken", "driverOld"};
    char const* const fixes[] = {"", kFixDriverMissing, kFixDriverBroken, kFixDriverOld};
    std::string const dll = driver.dll ? driver.dll->text : "unknown";
    if (driver.state != DriverState::Usable) {
        found.push_back({ids[static_cast<int>(driver.state)], driver.error, fixes[static_cast<int>(driver.state)]});
    } else if (!driver.kernel || driver.kernel->numbers == std::array<unsigned, 4>{}) {
        found.push_back({"driverNoAnswer", "The teVirtualMIDI kernel driver does not answer: it gives no version.",
                         kFixDriverBroken});
    } else if (!driver.dll || driver.dll->numbers != driver.kernel->numbers) {
        found.push_back({"driverMismatch", "teVirtualMIDI64.dll (version " + dll + ") and its kernel driver (version " +
                                               driver.kernel->text + ") are of different versions.",
                         kFixDriverBroken});
    }
    TessivaneFacts const& tessivane = report.tessivane;
    auto const copies = std::count_if(tessivane.running.begin(), tessivane.running.end(), countsAsCopy);
    if (!tessivaneRuns(report)) {
        found.push_back({"notRunning", "Tessivane is not running, so its ports do not exist.", kFixNotRunning});
    } else if (copies > 1) {
        found.push_back({"runsTwice", "Tessivane runs " + std::to_string(copies) +
                                          " times; only the copy started first has its ports.", kFixPortsTaken});
    }
    for (RunningCopy const& copy : tessivane.running) {
        std::string const session = copy.session ? "session " + std::to_string(*copy.session) + ", " : "";
        if (copy.otherSession && !copy.launcher) {
            found.push_back({"otherSession", "Tessivane also runs in another user's session (" + session + "process " +
                                                 std::to_string(copy.processId) + "): it may hold outputs and ports.",
                             kFixOtherSession});
        }
    }
    std::string const starts = "\"Launch on startup\" starts " + quoted(tessivane.runValue.value_or(""));
    if (tessivane.runValue && !tessivane.runValueFileExists) {
        found.push_back({"runValueMissing", starts + ", which does not exist.", kFixRunValue});
    } else if (tessivane.runValue && tessivane.runValueSwitchedOff) {
        found.push_back({"runValueOff", starts + ", but Task Manager has switched it off.", kFixRunValueOff});
    }
    StoredState const stored = report.outputChoices.state;
    if (stored == StoredState::NotJson) {
        found.push_back({"storedNotJson", "The stored choices are not JSON, so Tessivane opens none of them.",
                         kFixTickAgain});
    } else if (stored == StoredState::OtherJson || stored == StoredState::TooLong) {
        found.push_back({"storedUnreadable", "The stored choices cannot be read, so Tessivane opens none of them.",
                         kFixStored});
    }
    for (auto const& [listing, what] : {std::pair{&report.outputs, "outputs: "}, {&report.inputs, "inputs: "}}) {
        if (!listing->error.empty()) {
            found.push_back({"listingFailed", std::string("Windows could not list the MIDI ") + what + listing->error,
                             kFixListing});
        }
    }
}

// Why a chosen output is not connected, or not open: Tessivane's state says while it runs, the
// tool's own open while it does not.
void choiceFindings(CheckReport const& report, std::vector<Finding>& found) {
    for (Choice const& choice : choicesOf(report)) {
        std::string const name = quoted(choice.name);
        std::string const who = choice.entry ? "Tessivane could not open " : "Windows could not open ";
        std::string const number = " (WinMM error " + std::to_string(choice.errorCode) + ")";
        std::string const code = choice.entry && choice.errorCode ? number : "";
        bool const output = choice.connected != false;  // an output, or a shared input
        if (choice.connected == false && !choice.listedAs.empty()) {
            found.push_back({"renamed", "Windows now lists " + name + " as " + quoted(choice.listedAs) + ".",
                             filled(kFixRenamed, "<listed name>", choice.listedAs)});
        } else if (choice.connected == false && choice.input) {
            found.push_back({"inputNotConnected", "The shared input " + name + " is not connected.",
                             kFixInputUnplugged});
        } else if (choice.connected == false) {
            found.push_back({"notConnected", name + " is chosen, but Windows lists no output of that name.",
                             kFixUnplugged});
        } else if (output && choice.entry && !choice.entry->portsExist) {
            found.push_back({"portsNotMade", "Tessivane could not make the ports of " + name + ": " + choice.error,
                             kFixPortsTaken});
        } else if (output && choice.open == false && choice.errorCode == kMidiErrorAllocated) {
            found.push_back({"held", who + name + ": another application has it (" + choice.error + ").",
                             choice.input ? filled(kFixInputHeld, "<input name> - In",
                                                   portNameUtf8(choice.name, kInputPortSuffix))
                                          : filled(kFixHeld, "<output name> - MIDI",
                                                   portNameUtf8(choice.name, kMidiPortSuffix))});
        } else if (output && choice.open == false && !choice.error.empty()) {
            found.push_back({"openFailed", who + name + ": " + choice.error + code, kFixOpenFailed});
        }
    }
}

// The ports Tessivane says it made and Windows does not list; its port names that Windows lists
// while it does not run.
void portFindings(CheckReport const& report, std::vector<Finding>& found) {
    std::vector<std::string> unlisted, unowned;
    for (Choice const& choice : choicesOf(report)) {
        if (choice.entry && choice.entry->portsExist && !choice.portsListed) {
            unlisted.insert(unlisted.end(), choice.entry->ports.begin(), choice.entry->ports.end());
        }
    }
    bool const read = report.state.status == StateStatus::Read;
    if (read && !report.state.decoded.state.loopbackCreated) {
        found.push_back({"portsNotMade", "Tessivane could not make its loopback pair.", kFixPortsTaken});
    } else if (read && !loopbackListed(report)) {
        unlisted.insert(unlisted.end(), {kLoopbackName + std::string(kLoopbackOutSuffix),
                                         kLoopbackName + std::string(kLoopbackInSuffix)});
    }
    MidiServicesMode const mode = report.midiServices.mode;
    if (!unlisted.empty() && report.outputs.error.empty() && report.inputs.error.empty()) {
        found.push_back({"portsNotListed", "Windows does not list the ports Tessivane made: " + quoted(unlisted) + ".",
                         mode == MidiServicesMode::Full || mode == MidiServicesMode::Hybrid ? kFixRestartMidiService
                                                                                              : kFixDriverBroken});
    }
    for (PortListing const* listing : {&report.outputs, &report.inputs}) {
        for (ListedPort const& port : listing->ports) {
            if (port.role != PortRole::Device) unowned.push_back(port.name);
        }
    }
    if (!tessivaneRuns(report) && !unowned.empty()) {
        found.push_back({"portsWithoutTessivane", "Windows lists " + quoted(unowned) + ", but Tessivane does not "
                                                  "run: another program (or a renamed copy) holds these names.",
                         kFixOtherProgram});
    }
}

}  // namespace

bool listed(PortListing const& listing, std::string const& name) {
    auto const same = [&](ListedPort const& port) { return port.name == name; };
    return std::any_of(listing.ports.begin(), listing.ports.end(), same);
}

bool loopbackListed(CheckReport const& report) {
    return listed(report.outputs, kLoopbackName + std::string(kLoopbackOutSuffix)) &&
           listed(report.inputs, kLoopbackName + std::string(kLoopbackInSuffix));
}

bool tessivaneRuns(CheckReport const& report) {
    auto const& running = report.tessivane.running;
    return report.state.status != StateStatus::Absent || std::any_of(running.begin(), running.end(), countsAsCopy);
}

std::vector<Choice> choicesOf(CheckReport const& report) {
    std::vector<Choice> choices;
    for (bool const input : {false, true}) {
        StoredList const& stored = input ? report.inputChoices : report.outputChoices;
        PortListing const& listing = input ? report.inputs : report.outputs;
        for (std::string const& name : stored.names) {
            Choice choice;
            choice.input = input;
            choice.name = name;
            for (ListedPort const& port : listing.ports) {
                bool const device = port.role == PortRole::Device;
                choice.device = !choice.device && device && port.uniqueName == name ? &port : choice.device;
                // Under a name that differs only by what Windows adds, and is not chosen itself.
                bool const renamed = device && !input && !deviceKey(name).empty() &&
                                     deviceKey(port.uniqueName) == deviceKey(name) &&
                                     std::count(stored.names.begin(), stored.names.end(), port.uniqueName) == 0;
                choice.listedAs = choice.listedAs.empty() && renamed ? port.uniqueName : choice.listedAs;
            }
            choice.connected = choice.device || listing.error.empty() ? std::optional(!!choice.device)
                                                                      : std::nullopt;
            choice.portsListed = input ? listed(listing, portNameUtf8(name, kInputPortSuffix))
                                       : listed(listing, portNameUtf8(name, kMidiPortSuffix)) &&
                                             listed(listing, portNameUtf8(name, kSysExPortSuffix));
            for (auto const& [probed, code] : report.probes) {
                if (probed == name && !input) {
                    choice.open = code == 0u;
                    choice.errorCode = code.value_or(0);
                    choice.error = !code    ? "no answer within 5 seconds"
                                   : *code ? "WinMM error " + std::to_string(*code) : "";
                }
            }
            ProgramState const& state = report.state.decoded.state;  // empty unless read
            for (EntryState const& entry : input ? state.inputs : state.outputs) {
                if (entry.name == name) {
                    choice.entry = &entry;
                    choice.open = entry.deviceOpen;
                    choice.error = entry.lastError;
                    choice.errorCode = entry.lastErrorCode;
                }
            }
            auto const same = [&](Choice const& known) { return known.input == input && known.name == name; };
            if (std::none_of(choices.begin(), choices.end(), same)) {
                choices.push_back(std::move(choice));  // a name stored twice is one choice all the same
            }
        }
    }
    return choices;
}

std::vector<Finding> findingsOf(CheckReport const& report) {
    std::vector<Finding> found;
    machineFindings(report, found);
    choiceFindings(report, found);
    portFindings(report, found);
    return found;
}

std::optional<Finding> loopFinding(LoopResult const& loop, bool loopback) {
    std::string const of = " of " + std::to_string(loop.sent) + " messages";
    std::string const stopped = loop.error.empty() ? "." : ": " + loop.error + ".";
    char const* const fix = loopback ? kFixDriverBroken : kFixCable;
    if (loop.lost > 0 || loop.changed > 0) {
        return Finding{"loopLost", "The round trip lost " + std::to_string(loop.lost) + " and changed " +
                                       std::to_string(loop.changed) + of + stopped, fix};
    } else if (loop.repeated > 0) {
        return Finding{"loopRepeated", std::to_string(loop.repeated) + " messages came back twice: something feeds "
                                       "the input back into the output.", kFixFeedback};
    } else if (loop.late > 0) {
        return Finding{"loopLate", std::to_string(loop.late) + of + " came back late: the computer was busy.",
                       kFixBusy};
    } else if (!loop.error.empty()) {
        return Finding{"loopStopped", "The round trip stopped" + stopped, fix};
    }
    return std::nullopt;
}
