#include "check/ReportWriters.h"

#include "settings/JsonHandles.h"

#include <new>

namespace {

char const* roleName(PortRole role) {
    switch (role) {
    case PortRole::TessivanePort: return "tessivanePort";
    case PortRole::Loopback: return "loopback";
    default: return "device";
    }
}

char const* storedName(StoredState state) {
    switch (state) {
    case StoredState::Document: return "stored";
    case StoredState::OtherJson: return "otherJson";
    case StoredState::NotJson: return "notJson";
    case StoredState::TooLong: return "tooLong";
    default: return "absent";
    }
}

std::string midiServiceNote(MidiServiceFacts const& service) {
    if (service.state == "running") {
        return "Windows itself can let several applications use one MIDI device (Windows 11 24H2 "
               "and 25H2 with the February 2026 updates or later); Tessivane's ports work beside it.";
    }
    return "Whether several applications can use one MIDI device at once is up to its driver; "
           "that is what Tessivane is for.";
}

std::string windowsVersion(SystemFacts const& system) {
    return std::to_string(system.major) + "." + std::to_string(system.minor);
}

std::string us(long long value) { return value < 0 ? "-" : std::to_string(value) + " \xC2\xB5s"; }

std::string yes(bool value) { return value ? "yes" : "no"; }

// cJSON's functions answer null when memory runs out; a report with a part left out would be
// wrong, so that ends the report instead.
cJSON* must(cJSON* item) {
    if (!item) {
        throw std::bad_alloc();
    }
    return item;
}
void addText(cJSON* object, char const* key, std::string const& value) {
    must(value.empty() ? cJSON_AddNullToObject(object, key) : cJSON_AddStringToObject(object, key, value.c_str()));
}
void addBool(cJSON* object, char const* key, bool value) { must(cJSON_AddBoolToObject(object, key, value)); }
void addNumber(cJSON* object, char const* key, double value) { must(cJSON_AddNumberToObject(object, key, value)); }
cJSON* addObject(cJSON* object, char const* key) { return must(cJSON_AddObjectToObject(object, key)); }
cJSON* addArray(cJSON* object, char const* key) { return must(cJSON_AddArrayToObject(object, key)); }
cJSON* appendObject(cJSON* array) {
    cJSON* item = must(cJSON_CreateObject());
    if (!cJSON_AddItemToArray(array, item)) {
        cJSON_Delete(item);
        throw std::bad_alloc();
    }
    return item;
}

void portsJson(cJSON* parent, char const* key, std::vector<ListedPort> const& ports) {
    cJSON* array = addArray(parent, key);
    for (ListedPort const& port : ports) {
        cJSON* item = appendObject(array);
        addText(item, "name", port.name);
        addText(item, "role", roleName(port.role));
    }
}

void loopJson(cJSON* parent, std::optional<LoopResult> const& loop) {
    if (!loop) {
        must(cJSON_AddNullToObject(parent, "loopback"));
        return;
    }
    cJSON* item = addObject(parent, "loopback");
    for (auto const& [key, value] :
         {std::pair<char const*, long long>{"sent", loop->sent}, {"inTime", loop->inTime},
          {"lost", loop->lost}, {"changed", loop->changed}, {"late", loop->late},
          {"medianUs", loop->medianUs}, {"p99Us", loop->p99Us}, {"maxUs", loop->maxUs},
          {"longBytes", static_cast<long long>(loop->longBytes)}, {"longUs", loop->longUs}}) {
        addNumber(item, key, static_cast<double>(value));
    }
    addText(item, "error", loop->error);
}

void tessivaneJson(cJSON* root, TessivaneFacts const& facts) {
    cJSON* tessivane = addObject(root, "tessivane");
    cJSON* running = addArray(tessivane, "running");
    for (RunningCopy const& copy : facts.running) {
        cJSON* item = appendObject(running);
        addNumber(item, "processId", static_cast<double>(copy.processId));
        addText(item, "path", copy.path);
        addBool(item, "installed", copy.installed);
    }
    if (facts.installedFolder.empty()) {
        must(cJSON_AddNullToObject(tessivane, "installed"));
    } else {
        cJSON* installed = addObject(tessivane, "installed");
        addText(installed, "folder", facts.installedFolder);
        addText(installed, "version", facts.installedVersion);
    }
    cJSON* launch = addObject(tessivane, "launchOnStartup");
    addText(launch, "value", facts.runValue.value_or(""));
    addBool(launch, "fileExists", facts.runValueFileExists);
    addBool(launch, "startsInstalledCopy", facts.runValueIsInstalled);
}

void driverJson(cJSON* root, DriverFacts const& facts) {
    cJSON* driver = addObject(root, "driver");
    addText(driver, "path", facts.path);
    addText(driver, "from", facts.path.empty() ? "" : facts.inSystemFolder ? "System32" : "program folder");
    addText(driver, "fileVersion", facts.fileVersion);
    cJSON* functions = addObject(driver, "functions");
    for (auto const& [name, present] : facts.functions) {
        addBool(functions, name.c_str(), present);
    }
    addText(driver, "dllVersion", facts.dllVersion);
    addText(driver, "driverVersion", facts.driverVersion);
    addBool(driver, "usable", facts.state == DriverState::Usable);
    addText(driver, "error", facts.error);
}

}  // namespace

std::string reportJson(CheckReport const& report) {
    JsonDocument root(must(cJSON_CreateObject()));
    cJSON* system = addObject(root.get(), "system");
    addText(system, "windowsVersion", windowsVersion(report.system));
    addNumber(system, "build", report.system.build);
    addBool(system, "meetsMinimum", report.system.meetsFloor());
    addNumber(system, "ansiCodePage", report.system.ansiCodePage);

    cJSON* service = addObject(root.get(), "windowsMidiServices");
    addBool(service, "installed", report.midiService.installed);
    addText(service, "state", report.midiService.state);
    addText(service, "note", midiServiceNote(report.midiService));

    driverJson(root.get(), report.driver);
    tessivaneJson(root.get(), report.tessivane);

    cJSON* stored = addObject(root.get(), "storedChoices");
    addText(stored, "state", storedName(report.stored.state));
    addText(stored, "value", report.stored.value);
    cJSON* choices = addArray(stored, "choices");
    for (StoredChoice const& choice : report.stored.choices) {
        cJSON* item = appendObject(choices);
        addText(item, "name", choice.name);
        addBool(item, "connected", choice.connected);
        addBool(item, "portsListed", choice.portsListed);
        addBool(item, "heldElsewhere", choice.heldElsewhere);
    }
    portsJson(root.get(), "outputs", report.outputs);
    portsJson(root.get(), "inputs", report.inputs);
    loopJson(root.get(), report.loopback);
    cJSON* findings = addArray(root.get(), "findings");
    for (Finding const& finding : report.findings) {
        cJSON* item = appendObject(findings);
        addText(item, "problem", finding.problem);
        addText(item, "fix", finding.fix);
    }
    JsonText printed(cJSON_Print(root.get()));
    if (!printed) {
        throw std::bad_alloc();
    }
    return std::string(printed.get()) + "\n";
}

std::string loopText(LoopResult const& loop) {
    std::string out = "  " + std::to_string(loop.sent) + " messages sent: " + std::to_string(loop.inTime) +
                      " back in time, " + std::to_string(loop.lost) + " lost, " +
                      std::to_string(loop.changed) + " changed, " + std::to_string(loop.late) + " late\n";
    out += "  round trip of the short ones: median " + us(loop.medianUs) + ", 99th percentile " +
           us(loop.p99Us) + ", maximum " + us(loop.maxUs) + "\n";
    out += "  one long SysEx of " + std::to_string(loop.longBytes) + " bytes: " +
           (loop.longUs < 0 ? std::string("did not come back whole") : us(loop.longUs)) + "\n";
    if (!loop.error.empty()) {
        out += "  stopped: " + loop.error + "\n";
    }
    return out;
}

std::string reportText(CheckReport const& report) {
    std::string out = "System\n  Windows " + windowsVersion(report.system) + " build " +
                      std::to_string(report.system.build) +
                      (report.system.meetsFloor() ? " (meets" : " (older than") +
                      " the minimum, Windows 10 version 1903)\n  ANSI code page " +
                      std::to_string(report.system.ansiCodePage) +
                      (report.system.ansiCodePage == 65001 ? " (UTF-8)\n" : "\n");

    MidiServiceFacts const& service = report.midiService;
    out += "\nWindows MIDI Services\n  " +
           (service.installed ? "installed, " + service.state : std::string("not installed")) + ". " +
           midiServiceNote(service) + "\n";

    DriverFacts const& driver = report.driver;
    out += "\nDriver\n";
    if (!driver.path.empty()) {
        out += "  " + driver.path + (driver.inSystemFolder ? " (System32)" : " (the program's folder)") +
               ", file version " + (driver.fileVersion.empty() ? "unknown" : driver.fileVersion) + "\n";
        for (auto const& [name, present] : driver.functions) {
            out += "  " + name + (present ? ": present\n" : ": MISSING\n");
        }
        out += "  DLL version " + (driver.dllVersion.empty() ? "unknown" : driver.dllVersion) +
               ", driver version " + (driver.driverVersion.empty() ? "unknown" : driver.driverVersion) + "\n";
    }
    if (!driver.error.empty()) {
        out += "  " + driver.error + "\n";
    }

    TessivaneFacts const& tessivane = report.tessivane;
    out += "\nTessivane\n";
    for (RunningCopy const& copy : tessivane.running) {
        out += "  running: process " + std::to_string(copy.processId) + ", " + copy.path +
               (copy.installed ? " (installed)\n" : "\n");
    }
    if (tessivane.running.empty()) {
        out += "  not running\n";
    }
    out += tessivane.installedFolder.empty()
               ? "  not installed\n"
               : "  installed: version " + tessivane.installedVersion + " in " + tessivane.installedFolder + "\n";
    out += "  Launch on startup: " +
           (tessivane.runValue ? *tessivane.runValue + (tessivane.runValueIsInstalled ? " (the installed copy)"
                                                        : tessivane.runValueFileExists ? "" : " (MISSING)")
                               : std::string("off")) + "\n";

    out += std::string("\nStored choices: ") + storedName(report.stored.state) + "\n";
    if (!report.stored.value.empty()) {
        out += "  " + report.stored.value + "\n";
    }
    for (StoredChoice const& choice : report.stored.choices) {
        out += "  " + choice.name + ": connected " + yes(choice.connected) + ", ports listed " +
               yes(choice.portsListed) + (choice.heldElsewhere ? ", held by another application\n" : "\n");
    }

    for (auto const* list : {&report.outputs, &report.inputs}) {
        out += std::string(list == &report.outputs ? "\nOutputs (" : "\nInputs (") +
               std::to_string(list->size()) + ")\n";
        for (ListedPort const& port : *list) {
            out += "  " + port.name +
                   (port.role == PortRole::Device ? "\n" : port.role == PortRole::Loopback ? "  [loopback]\n"
                                                                                            : "  [Tessivane]\n");
        }
    }

    out += "\nLoopback\n";
    out += report.loopback ? loopText(*report.loopback) : "  not listed, not measured\n";

    out += "\nFindings (" + std::to_string(report.findings.size()) + ")\n";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        out += "  " + std::to_string(i + 1) + ". " + report.findings[i].problem + "\n     Fix: " +
               report.findings[i].fix + "\n";
    }
    if (report.findings.empty()) {
        out += "  none: everything Tessivane needs is in place.\n";
    }
    return out;
}
