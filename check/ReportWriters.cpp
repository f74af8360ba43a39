#include "check/ReportWriters.h"

#include "check/CheckCommand.h"
#include "engine/EngineTexts.h"
#include "engine/PortName.h"
#include "engine/PortRequest.h"

#include <algorithm>
#include <cstdio>

namespace {

// A value as JSON text; groups put their members one to a line, a step further in.
using Json = std::string;
using Members = std::vector<std::pair<char const*, Json>>;

Json text(std::string const& value) { return jsonString(value); }
// An empty text is one the tool could not find out.
Json known(std::string const& value) { return value.empty() ? "null" : jsonString(value); }
template <class T>
Json number(std::optional<T> value) { return value ? std::to_string(*value) : "null"; }
Json number(unsigned long long value) { return std::to_string(value); }
Json flag(std::optional<bool> value) { return value ? (*value ? "true" : "false") : "null"; }

Json block(char open, std::vector<Json> const& lines, char close) {
    Json out(1, open);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += i ? ",\n  " : "\n  ";
        for (char const c : lines[i]) out += c == '\n' ? "\n  " : std::string(1, c);
    }
    return out + (lines.empty() ? "" : "\n") + close;
}
Json list(std::vector<Json> const& items) { return block('[', items, ']'); }
Json group(Members const& members) {
    std::vector<Json> lines;
    for (auto const& [key, value] : members) lines.push_back(jsonString(key) + ": " + value);
    return block('{', lines, '}');
}

Json system(SystemFacts const& system) {
    std::string const version = std::to_string(system.major) + "." + std::to_string(system.minor);
    std::string const update = system.updateBuild ? "." + std::to_string(*system.updateBuild) : "";
    std::string const name = system.major != 10      ? "Windows " + version
                             : system.build >= 22000 ? "Windows 11" : "Windows 10";
    std::vector<Json> compatibility;
    for (auto const& [path, settings] : system.compatibility) {
        compatibility.push_back(group({{"path", text(path)}, {"settings", text(settings)}}));
    }
    return group({{"windows", text(name + (system.displayVersion.empty() ? "" : " " + system.displayVersion))},
                  {"version", text(version + "." + std::to_string(system.build) + update)},
                  {"meetsMinimum", flag(system.major > 10 || (system.major == 10 && system.build >= 18362))},
                  {"ansiCodePage", number(system.ansiCodePage)}, {"compatibilitySettings", list(compatibility)},
                  {"user", known(system.user)}, {"sessionUser", known(system.sessionUser)}});
}

Json tessivane(TessivaneFacts const& facts) {
    std::vector<Json> running;
    for (RunningCopy const& copy : facts.running) {
        running.push_back(group({{"processId", number(copy.processId)}, {"path", known(copy.path)},
                                 {"session", number(copy.session)}, {"otherSession", flag(copy.otherSession)},
                                 {"launcher", flag(copy.launcher)}}));
    }
    return group({{"running", list(running)},
                  {"launchOnStartup", group({{"value", known(facts.runValue.value_or(""))},
                                             {"fileExists", flag(facts.runValueFileExists)},
                                             {"switchedOff", flag(facts.runValueSwitchedOff)}})}});
}

// A state of another layout, or one that cannot be trusted, is ignored, and the status says why.
Json publishedState(PublishedState const& published) {
    std::string const status[] = {
        "absent", "read", "ignored: layout " + std::to_string(published.layoutVersion) + ", unknown to this check",
        "ignored: it is truncated or damaged", "ignored: it was being written on every try",
        "not readable (Windows error " + std::to_string(published.systemError) + ")"};
    ProgramState const& state = published.decoded.state;  // empty unless read
    bool const read = published.status == StateStatus::Read;
    return group({{"status", text(status[static_cast<int>(published.status)])},
                  {"processId", number(read ? std::optional(state.processId) : std::nullopt)},
                  {"version", known(state.version)},
                  {"loopbackCreated", flag(read ? std::optional(state.loopbackCreated) : std::nullopt)},
                  {"leftOut", number(read ? std::optional(published.decoded.omitted) : std::nullopt)}});
}

Json choices(CheckReport const& report, bool inputs) {
    std::vector<Json> items;
    for (Choice const& choice : choicesOf(report)) {
        Json const lost = choice.entry ? number(choice.entry->lost) : "null";
        Members const members = {
            {"name", text(choice.name)}, {"connected", flag(choice.connected)},
            inputs ? std::pair("lost", lost) : std::pair("listedAs", known(choice.listedAs)),
            {inputs ? "portListed" : "portsListed", flag(choice.portsListed)}, {"open", flag(choice.open)},
            {"error", known(choice.error)},
            {"errorCode", number(choice.errorCode ? std::optional(choice.errorCode) : std::nullopt)}};
        if (choice.input == inputs) {
            items.push_back(group(members));
        }
    }
    StoredList const& stored = inputs ? report.inputChoices : report.outputChoices;
    char const* const states[] = {"absent", "stored", "otherJson", "notJson", "tooLong"};
    return group({{"state", text(states[static_cast<int>(stored.state)])}, {"value", known(stored.value)},
                  {inputs ? "inputs" : "choices", list(items)}});
}

Json ports(PortListing const& listing) {
    std::vector<Json> items;
    for (ListedPort const& port : listing.ports) {
        char const* const roles[] = {"device", "tessivanePort", "loopback"};
        items.push_back(group({{"name", text(port.name)}, {"role", text(roles[static_cast<int>(port.role)])}}));
    }
    return group({{"error", known(listing.error)}, {"ports", list(items)}});
}

std::string microseconds(std::optional<long long> value) { return value ? std::to_string(*value) + " \xC2\xB5s" : "-"; }

}  // namespace

std::string jsonString(std::string const& text) {
    std::string out = "\"";
    for (char16_t const unit : utf8ToUtf16(text)) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
        out += unit == '"' || unit == '\\' ? std::string{'\\', static_cast<char>(unit)}
               : unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : escape;
    }
    return out + "\"";
}

std::string reportJson(CheckReport const& report, std::vector<Finding> const& findings, std::string const& version) {
    DriverFacts const& driver = report.driver;
    std::vector<Json> found;
    for (Finding const& finding : findings) {
        found.push_back(
            group({{"id", text(finding.id)}, {"problem", text(finding.problem)}, {"fix", text(finding.fix)}}));
    }
    return group({{"checkVersion", text(version)}, {"system", system(report.system)},
                  {"windowsMidiServices", group({{"mode", text(midiServicesModeName(report.midiServices.mode))},
                                                 {"service", text(report.midiServices.service)}})},
                  {"driver", group({{"path", known(driver.path)},
                                    {"dllVersion", known(driver.dll ? driver.dll->text : "")},
                                    {"driverVersion", known(driver.kernel ? driver.kernel->text : "")},
                                    {"usable", flag(driver.state == DriverState::Usable)},
                                    {"error", known(driver.error)}})},
                  {"tessivane", tessivane(report.tessivane)}, {"publishedState", publishedState(report.state)},
                  {"storedChoices", choices(report, false)}, {"sharedInputs", choices(report, true)},
                  {"outputs", ports(report.outputs)}, {"inputs", ports(report.inputs)},
                  {"loopback", group({{"listed", flag(loopbackListed(report))}, {"roundTrip", text("tessivane-check loopback")}})},
                  {"findings", list(found)}}) +
           "\n";
}

std::string reportText(CheckReport const& report, std::vector<Finding> const& findings, std::string const& version) {
    std::string out = "\nFindings (" + std::to_string(findings.size()) + ")\n";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        out += "  " + std::to_string(i + 1) + ". " + findings[i].problem + "\n     Fix: " + findings[i].fix + "\n";
    }
    out += findings.empty() ? "  none: everything Tessivane needs is in place.\n" : "";
    return validUtf8(out + "\nWhat it found (tessivane-check --json writes this alone):\n" +
                     reportJson(report, findings, version));
}

std::string loopText(LoopResult const& loop) {
    return "  " + std::to_string(loop.sent) + " messages sent: " + std::to_string(loop.inTime) + " back in time, " +
           std::to_string(loop.late) + " late, " + std::to_string(loop.lost) + " lost, " +
           std::to_string(loop.changed) + " changed; " + std::to_string(loop.repeated) + " came back more than once\n" +
           "  round trip of the short ones, late ones included: median " + microseconds(loop.medianUs) +
           ", 99th percentile " + microseconds(loop.p99Us) + ", maximum " + microseconds(loop.maxUs) + "\n" +
           "  one long SysEx of " + std::to_string(loop.longBytes) + " bytes: " +
           (loop.longUs ? microseconds(loop.longUs) : "did not come back whole") + "\n" +
           (loop.error.empty() ? "" : "  stopped: " + loop.error + "\n");
}
