#include "check/Findings.h"

#include <string>

namespace {

// Each is also in installer/README.txt, under "When something does not work".
char const kFixWindows[] =
    "Update Windows to Windows 10 version 1903 or later, or Windows 11 (Settings > Windows Update).";
char const kFixDriverMissing[] =
    "Install the teVirtualMIDI driver from its vendor, then start Tessivane again.";
char const kFixDriverBroken[] =
    "Reinstall the teVirtualMIDI driver from its vendor, then start Tessivane again.";
char const kFixDriverOld[] = "Install the driver's current version, then start Tessivane again.";
char const kFixNotRunning[] = "Start Tessivane from the Start menu and read its message if it shows one.";
char const kFixPortsTaken[] =
    "Choose \"Exit\" in the menu of every Tessivane icon (or close the other program), then start "
    "Tessivane once.";
char const kFixRunValue[] =
    "Start the copy of Tessivane that you use and switch \"Launch on startup\" on in its menu.";
char const kFixStored[] =
    "Choose \"Exit\" in its menu, then enter in a command prompt reg delete "
    "HKCU\\SOFTWARE\\Velmora\\Tessivane /f and start Tessivane again.";
char const kFixUnplugged[] =
    "Plug the device in or switch it on; it appears within a moment, also in a Configure window "
    "that is open.";
char const kFixHeld[] =
    "In that application choose \"<output name> - MIDI\" instead of the device itself, or close "
    "the application.";

std::string quoted(std::string const& name) { return "\"" + name + "\""; }

void driverFinding(DriverFacts const& driver, std::vector<Finding>& findings) {
    switch (driver.state) {
    case DriverState::Usable: return;
    case DriverState::Missing: findings.push_back({driver.error, kFixDriverMissing}); return;
    case DriverState::LoadFailed: findings.push_back({driver.error, kFixDriverBroken}); return;
    case DriverState::FunctionMissing: findings.push_back({driver.error, kFixDriverOld}); return;
    }
}

void tessivaneFindings(TessivaneFacts const& tessivane, std::vector<Finding>& findings) {
    std::size_t const copies = tessivane.running.size();
    if (copies == 0) {
        findings.push_back({"Tessivane is not running, so its ports do not exist.", kFixNotRunning});
    } else if (copies > 1) {
        findings.push_back({"Tessivane runs " + std::to_string(copies) +
                                " times; only the copy started first has its ports.",
                            kFixPortsTaken});
    }
    if (tessivane.runValue && !tessivane.runValueFileExists) {
        findings.push_back({"\"Launch on startup\" starts " + quoted(*tessivane.runValue) +
                                ", which does not exist, so Tessivane does not start at logon.",
                            kFixRunValue});
    }
}

void choiceFindings(CheckReport const& report, std::vector<Finding>& findings) {
    switch (report.stored.state) {
    case StoredState::NotJson:
    case StoredState::OtherJson:
    case StoredState::TooLong:
        findings.push_back({"The stored choices cannot be read, so Tessivane opens none of them.", kFixStored});
        return;
    default: break;
    }
    bool const running = !report.tessivane.running.empty();
    for (StoredChoice const& choice : report.stored.choices) {
        if (!choice.connected) {
            findings.push_back({quoted(choice.name) + " is chosen, but Windows lists no output of that name.",
                                kFixUnplugged});
        } else if (choice.heldElsewhere) {
            findings.push_back({"Another application holds " + quoted(choice.name) +
                                    ", so Tessivane cannot open it.",
                                kFixHeld});
        } else if (running && !choice.portsListed) {
            findings.push_back({"Tessivane runs, but the ports of " + quoted(choice.name) +
                                    " are not listed.",
                                kFixPortsTaken});
        }
    }
}

void loopbackFindings(CheckReport const& report, std::vector<Finding>& findings) {
    if (!report.loopback) {
        if (!report.tessivane.running.empty() && report.driver.state == DriverState::Usable) {
            findings.push_back({"Tessivane runs, but Windows does not list its loopback pair.", kFixPortsTaken});
        }
        return;
    }
    LoopResult const& loop = *report.loopback;
    if (!loop.error.empty()) {
        findings.push_back({"The round trip through the loopback pair stopped: " + loop.error + ".",
                            kFixDriverBroken});
    } else if (!loop.clean()) {
        findings.push_back({"The loopback pair lost " + std::to_string(loop.lost) + ", changed " +
                                std::to_string(loop.changed) + " and delayed " + std::to_string(loop.late) +
                                " of " + std::to_string(loop.sent) + " messages.",
                            kFixDriverBroken});
    }
}

}  // namespace

std::vector<Finding> findingsOf(CheckReport const& report) {
    std::vector<Finding> findings;
    if (!report.system.meetsFloor() || report.system.ansiCodePage != 65001) {
        findings.push_back({"Tessivane needs Windows 10 version 1903 or later.", kFixWindows});
    }
    driverFinding(report.driver, findings);
    tessivaneFindings(report.tessivane, findings);
    choiceFindings(report, findings);
    loopbackFindings(report, findings);
    return findings;
}
