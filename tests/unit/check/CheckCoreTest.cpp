// The diagnostics tool's portable core: round trips through a stand-in pair, its command line,
// the listing through the program's seam, every rule on the facts that devices and a running
// Tessivane (which Wine does not have) would give, and the JSON report.
#include "check/CheckCommand.h"
#include "check/Findings.h"
#include "check/LoopProbe.h"
#include "check/CheckReport.h"
#include "check/ReportWriters.h"
#include "midi_common/MidiOpenError.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Plays the loop: hands each message back at once, except those it is told to drop, change, hold
// or echo; a held one comes back when the next is sent, after its wait has run out.
struct StandInPair {
    explicit StandInPair(LoopProbe* to) : probe(to) {}
    LoopProbe* probe;
    unsigned drop = ~0u, change = ~0u, hold = ~0u, echo = ~0u, failAt = ~0u, sent = 0;
    LoopProbe::Bytes held;
    void operator()(LoopProbe::Bytes bytes) {
        unsigned const number = sent++;
        if (number == failAt) throw std::runtime_error("device removed");
        if (!held.empty()) probe->received(held.data(), held.size()), held.clear();
        if (number == drop) return;
        if (number == hold) return held = bytes, void();
        if (number == change) bytes[bytes.size() - 2] ^= 1;
        std::uint8_t const note[] = {0x90, 60, 100};  // someone else's traffic on the same input
        probe->received(note, sizeof note);
        for (int copies = number == echo ? 2 : 1; copies > 0; --copies) probe->received(bytes.data(), bytes.size());
    }
};

std::vector<std::string> idsOf(std::vector<Finding> const& findings) {
    std::vector<std::string> ids;
    for (Finding const& finding : findings) ids.push_back(finding.id);
    return ids;
}

// A machine where all is well: Tessivane runs and published that it opened its one chosen output,
// whose ports Windows lists beside the loopback pair; the driver answers.
CheckReport healthy() {
    CheckReport report;
    report.system = {10, 0, 19045, 4651, "22H2", 65001, {}, "ana", "ana"};
    report.driver.state = DriverState::Usable;
    report.driver.dll = report.driver.kernel = DriverVersion{"1.3.0.43", {1, 3, 0, 43}};
    report.tessivane.running = {{12, "C:\\T\\tessivane.exe", 1ul, false, false}};
    report.state.status = StateStatus::Read;
    ProgramState& state = report.state.decoded.state;
    state.loopbackCreated = true;
    state.outputs = {{"UM-ONE", {"UM-ONE - MIDI", "UM-ONE - SysEx"}, true, true, "", 0, 0}};
    report.outputChoices = {StoredState::Document, "{\"ports\":[\"UM-ONE\"]}", {"UM-ONE"}};
    report.outputs.ports = {{"UM-ONE", PortRole::Device, "UM-ONE", 0},
                            {"UM-ONE - MIDI", PortRole::TessivanePort, "", 1},
                            {"UM-ONE - SysEx", PortRole::TessivanePort, "", 2},
                            {"Zarvik Loopback Out", PortRole::Loopback, "", 3}};
    report.inputs.ports = {{"Zarvik Loopback In", PortRole::Loopback, "", 0}};
    return report;
}

void notRunning(CheckReport& report) {
    report.tessivane.running.clear();
    report.state = PublishedState();
    report.outputs.ports.resize(1);
    report.inputs.ports.clear();
}

}  // namespace

TEST(LoopProbe, TellsLostChangedLateAndRepeatedMessagesApartAndIgnoresOthers) {
    LoopProbe probe(50ms);
    StandInPair pair(&probe);
    pair.drop = 2;
    pair.change = 4;
    pair.hold = 6;
    pair.echo = 8;
    LoopResult const result = probe.run(std::ref(pair), 10, 600);
    EXPECT_EQ(result.sent, 11u);
    EXPECT_EQ(result.lost, 1u);
    EXPECT_EQ(result.changed, 1u);
    EXPECT_EQ(result.late, 1u);
    EXPECT_EQ(result.repeated, 1u) << "a second copy is not a changed message";
    EXPECT_EQ(result.inTime, 8u);
    EXPECT_TRUE(result.longUs.has_value()) << "the long message came back whole";
    EXPECT_GE(*result.maxUs, 50000) << "the late one is in the figures";
    EXPECT_EQ(loopFinding(result, true)->id, "loopLost") << "only a loss or a change blames the driver";
}

TEST(LoopProbe, StopsWhenTheOutputFailsOrNothingComesBack) {
    LoopProbe probe(20ms);
    StandInPair failing(&probe);
    failing.failAt = 3;
    LoopResult const vanished = probe.run(std::ref(failing), 10);
    EXPECT_EQ(vanished.sent, 3u);
    EXPECT_EQ(vanished.inTime, 3u);
    EXPECT_NE(vanished.error.find("after 3 messages: device removed"), std::string::npos) << vanished.error;
    EXPECT_EQ(loopFinding(vanished, false)->id, "loopStopped");

    LoopResult const silent = probe.run([](LoopProbe::Bytes const&) {}, 1000);
    EXPECT_EQ(silent.sent, 3u) << "it gives up after three losses in a row";
    EXPECT_EQ(silent.lost, 3u);
    EXPECT_FALSE(silent.medianUs.has_value());
    EXPECT_NE(silent.error.find("gave up"), std::string::npos);
}

TEST(LoopProbe, SummarizesAnyNumberOfRoundTripsAndNamesWhatWentWrong) {
    for (unsigned n : {1u, 2u, 100u, 200u}) {
        std::vector<Trip> trips;
        for (unsigned i = n; i > 0; --i) trips.push_back({0, 100000, i * 10, false, 0});  // i * 10 µs
        trips.push_back({0, 100000, 5000, false, 0});  // the long one
        LoopResult const result = summarize(trips);
        EXPECT_EQ(*result.medianUs, ((n + 1) / 2) * 10) << n;
        EXPECT_EQ(*result.p99Us, (n < 100 ? n : n * 99 / 100) * 10) << n;
        EXPECT_EQ(*result.maxUs, n * 10) << n;
        EXPECT_EQ(*result.longUs, 5000) << "the long one is apart";
        EXPECT_EQ(result.inTime, n + 1);
        EXPECT_FALSE(loopFinding(result, true)) << n;
    }
    LoopResult const late = summarize({{0, 10, 50, false, 0}, {0, 10, 5, false, 0}, {0, 10, 5, false, 0}});
    EXPECT_EQ(late.late, 1u);
    EXPECT_EQ(*late.maxUs, 50) << "a late message counts in the figures";
    EXPECT_EQ(loopFinding(late, true)->id, "loopLate");
    EXPECT_NE(loopFinding(late, true)->problem.find("busy"), std::string::npos);
    EXPECT_EQ(loopFinding(summarize({{0, 10, 5, false, 2}, {0, 10, 5, false, 0}}), true)->id, "loopRepeated");
}

TEST(CheckCommand, TakesItsCommandsAndRefusesAnythingElse) {
    CheckCommand const loop = parseCheckCommand({"loop", "Synth Out", "Synth \xC3\x9C In", "--count", "25"});
    EXPECT_EQ(loop.kind, CheckCommand::Kind::Loop);
    EXPECT_EQ(loop.input, "Synth \xC3\x9C In");
    EXPECT_EQ(loop.count, 25u);
    EXPECT_EQ(parseCheckCommand({"loopback"}).kind, CheckCommand::Kind::Loopback);
    EXPECT_EQ(parseCheckCommand({"loopback", "--count", "7"}).count, 7u);
    EXPECT_TRUE(parseCheckCommand({"--json"}).json);
    EXPECT_EQ(parseCheckCommand({"panic", "Synth"}).output, "Synth");

    for (std::vector<std::string> const& wrong : std::vector<std::vector<std::string>>{
             {"--jsn"}, {"report"}, {"loop", "a"}, {"loop", "a", "b", "--count", "0"}, {"loopback", "a"},
             {"loop", "a", "b", "--count", "12x"}, {"panic"}, {"--json", "--json"}, {"--json", "--count", "2"},
             {"panic", "Synth \xFF"}, {"panic", "\xED\xA0\x80"}, {"panic", "\xC0\xAF"}}) {
        EXPECT_THROW(parseCheckCommand(wrong), UsageError) << wrong[0] << " " << wrong.size();
    }

    std::vector<std::string> const listed = {"Synth", "Synth (2)"};
    EXPECT_EQ(findListedName(listed, "Synth (2)", "MIDI output"), 1u);
    try {
        findListedName(listed, "synth", "MIDI output");
        FAIL() << "letter case must matter";
    } catch (UsageError const& error) {
        EXPECT_NE(std::string(error.what()).find("\"Synth\"\n  \"Synth (2)\""), std::string::npos) << error.what();
    }
    EXPECT_EQ(utf8(u"\u00DC \U0001F3B9 \xD800"), "\xC3\x9C \xF0\x9F\x8E\xB9 \xEF\xBF\xBD") << "half a pair is no text";
}

TEST(MidiFacts, ListsWithTheProgramsScanAndSaysWhyAListingFailed) {
    FakeDeviceBus bus;
    for (char const* name : {"UM-ONE", "Gone", "UM-ONE", "UM-ONE - MIDI", "Zarvik Loopback Out", "Keys - In"}) bus.plug(name);
    // A device that goes between the count and its name: the scan skips it and goes on.
    struct Vanishing : MidiPortList {
        std::unique_ptr<MidiOutput> list;
        unsigned portCount() override { return list->portCount(); }
        std::string portName(unsigned index) override {
            if (index == 1) throw std::out_of_range("gone");
            return list->portName(index);
        }
    };
    PortListing const listing = listPorts([&] {
        auto vanishing = std::make_unique<Vanishing>();
        vanishing->list = bus.create(4, "client");
        return vanishing;
    });
    ASSERT_EQ(listing.ports.size(), 5u);
    EXPECT_EQ(listing.ports[1].uniqueName, "UM-ONE (2)");
    EXPECT_EQ(listing.ports[1].index, 2u) << "the device index, not the place in the list";
    EXPECT_EQ(listing.ports[2].role, PortRole::TessivanePort);
    EXPECT_EQ(listing.ports[3].role, PortRole::Loopback);
    EXPECT_EQ(listing.ports[4].role, PortRole::TessivanePort) << "a shared input's port";
    EXPECT_TRUE(listing.error.empty());

    bus.failCreate("WinMM is gone");
    PortListing const failed = listPorts([&] { return std::unique_ptr<MidiPortList>(bus.create(4, "client")); });
    EXPECT_EQ(failed.error, "WinMM is gone");
    EXPECT_TRUE(failed.ports.empty());

    EXPECT_EQ(withinTime([] { return 4u; }, 5s), 4u);
    auto const hung = std::make_shared<std::promise<void>>();
    EXPECT_FALSE(withinTime([hung] { return hung->get_future().wait(), 0u; }, 50ms)) << "a driver that never answers";
    hung->set_value();
}

TEST(Findings, EachRuleFiresOnItsCaseAndStaysQuietOnTheOthers) {
    using Change = std::function<void(CheckReport&)>;
    auto const stateOutput = [](CheckReport& r) -> EntryState& { return r.state.decoded.state.outputs[0]; };
    auto const refused = [&](std::uint32_t code) {
        return [=](CheckReport& r) { stateOutput(r).deviceOpen = false, stateOutput(r).lastError = "refused", stateOutput(r).lastErrorCode = code; };
    };
    auto const probed = [](std::optional<std::uint32_t> code) {
        return [=](CheckReport& r) { notRunning(r), r.probes = {{"UM-ONE", code}}; };
    };
    // "Keys" shared; Tessivane holds it open, or not because of `code`; Windows lists it and its port.
    auto const sharedKeys = [](CheckReport& r, bool open, std::uint32_t code) {
        r.inputChoices = {StoredState::Document, "", {"Keys"}};
        r.inputs.ports.push_back({"Keys", PortRole::Device, "Keys", 1});
        r.inputs.ports.push_back({"Keys - In", PortRole::TessivanePort, "", 2});
        r.state.decoded.state.inputs = {{"Keys", {"Keys - In"}, true, open, open ? "" : "refused", code, 0}};
    };
    auto const renamedTo = [](char const* name) {
        return [=](CheckReport& r) { r.outputs.ports[0].uniqueName = r.outputs.ports[0].name = name; };
    };
    std::vector<std::tuple<char const*, Change, std::vector<std::string>>> const cases = {
        {"ANSI code page", [](CheckReport& r) { r.system.ansiCodePage = 1252; }, {"windowsTooOld"}},
        {"compatibility", [](CheckReport& r) { r.system.compatibility = {{"C:\\T\\tessivane.exe", "~ WIN7RTM"}}; }, {"compatibility"}},
        {"other user", [](CheckReport& r) { r.system.user = "admin"; }, {"otherUser"}},
        {"user in other case", [](CheckReport& r) { r.system.user = "ANA"; }, {}},
        {"no driver", [](CheckReport& r) { r.driver.state = DriverState::Missing; }, {"driverMissing"}},
        {"driver not loaded", [](CheckReport& r) { r.driver.state = DriverState::LoadFailed; }, {"driverBroken"}},
        {"driver old", [](CheckReport& r) { r.driver.state = DriverState::FunctionMissing; }, {"driverOld"}},
        {"kernel silent", [](CheckReport& r) { r.driver.kernel->numbers = {}; }, {"driverNoAnswer"}},
        {"kernel missing", [](CheckReport& r) { r.driver.kernel.reset(); }, {"driverNoAnswer"}},
        {"versions differ", [](CheckReport& r) { r.driver.dll->numbers[3] = 42; }, {"driverMismatch"}},
        {"not running", notRunning, {"notRunning"}},
        {"ports without Tessivane", [](CheckReport& r) { notRunning(r), r.inputs.ports = {{"Zarvik Loopback In", PortRole::Loopback, "", 0}}; },
         {"notRunning", "portsWithoutTessivane"}},
        {"two copies", [](CheckReport& r) { r.tessivane.running.push_back({13, "D:\\tessivane.exe", 1ul, false, false}); }, {"runsTwice"}},
        {"a shim and its copy", [](CheckReport& r) { r.tessivane.running.push_back({11, "C:\\s\\tessivane.exe", 1ul, false, true}); }, {}},
        {"other session", [](CheckReport& r) { r.tessivane.running.push_back({14, "", std::nullopt, true, false}); }, {"otherSession"}},
        {"only another user's copy", [](CheckReport& r) { notRunning(r), r.tessivane.running = {{14, "", 2ul, true, false}}; },
         {"notRunning", "otherSession"}},
        {"renamed copy", [](CheckReport& r) { r.tessivane.running.clear(); }, {}},
        {"Run value gone", [](CheckReport& r) { r.tessivane.runValue = "C:\\Moved\\tessivane.exe"; }, {"runValueMissing"}},
        {"Run value off", [](CheckReport& r) { r.tessivane.runValue = "C:\\T\\t.exe", r.tessivane.runValueFileExists = r.tessivane.runValueSwitchedOff = true; },
         {"runValueOff"}},
        {"stored not JSON", [](CheckReport& r) { r.outputChoices = {StoredState::NotJson, "{", {}}; }, {"storedNotJson"}},
        {"stored other JSON", [](CheckReport& r) { r.outputChoices = {StoredState::OtherJson, "[]", {}}; }, {"storedUnreadable"}},
        {"listing failed", [](CheckReport& r) { r.outputs = {{}, "WinMM failed"}; }, {"listingFailed"}},
        {"unplugged", [](CheckReport& r) { r.outputs.ports.erase(r.outputs.ports.begin()); }, {"notConnected"}},
        {"renamed N-", renamedTo("2- UM-ONE"), {"renamed"}},
        {"renamed MIDIOUT", renamedTo("MIDIOUT2 (um-one)"), {"renamed"}},
        {"renamed (n)", renamedTo("UM-ONE (2)"), {"renamed"}},
        {"renamed to a chosen one", [&](CheckReport& r) { renamedTo("UM-ONE (2)")(r), r.outputChoices.names.push_back("UM-ONE (2)"); },
         {"notConnected"}},
        {"chosen twice", [](CheckReport& r) { r.outputChoices.names = {"UM-ONE", "UM-ONE"}, r.outputs.ports.erase(r.outputs.ports.begin()); },
         {"notConnected"}},
        {"held (state)", refused(kMidiErrorAllocated), {"held"}},
        {"refused (state)", refused(6), {"openFailed"}},
        {"ports not made", [&](CheckReport& r) { stateOutput(r).portsExist = false; }, {"portsNotMade"}},
        {"loopback not made", [](CheckReport& r) { r.state.decoded.state.loopbackCreated = false; }, {"portsNotMade"}},
        {"ports not listed", [](CheckReport& r) { r.outputs.ports.resize(1); }, {"portsNotListed"}},
        {"state of another version", [](CheckReport& r) { r.state = {StateStatus::OtherVersion, {}, 2, 0}, r.outputs.ports.resize(1); }, {}},
        {"held (probe)", probed(kMidiErrorAllocated), {"notRunning", "held"}},
        {"refused (probe)", probed(6), {"notRunning", "openFailed"}},
        {"no answer (probe)", probed(std::nullopt), {"notRunning", "openFailed"}},
        {"opens (probe)", probed(0), {"notRunning"}},
        {"shared input gone", [](CheckReport& r) { r.inputChoices = {StoredState::Document, "", {"Keys"}}; }, {"inputNotConnected"}},
        {"shared input held", [&](CheckReport& r) { sharedKeys(r, false, kMidiErrorAllocated); }, {"held"}},
        {"shared input open", [&](CheckReport& r) { sharedKeys(r, true, 0); }, {}},
    };
    EXPECT_EQ(idsOf(findingsOf(healthy())), std::vector<std::string>{});
    for (auto const& [name, change, ids] : cases) {
        CheckReport report = healthy();
        change(report);
        EXPECT_EQ(idsOf(findingsOf(report)), ids) << name;
    }

    // The fixes name what the user must pick.
    CheckReport held = healthy();
    refused(kMidiErrorAllocated)(held);
    EXPECT_NE(findingsOf(held)[0].fix.find("choose \"UM-ONE - MIDI\" instead"), std::string::npos);
    EXPECT_NE(findingsOf(held)[0].problem.find("another application has it (refused)"), std::string::npos);
    CheckReport heldInput = healthy();
    sharedKeys(heldInput, false, kMidiErrorAllocated);
    EXPECT_NE(findingsOf(heldInput)[0].fix.find("choose \"Keys - In\" instead"), std::string::npos);
    CheckReport renamed = healthy();
    renamedTo("2- UM-ONE")(renamed);
    EXPECT_EQ(findingsOf(renamed)[0].problem, "Windows now lists \"UM-ONE\" as \"2- UM-ONE\".");
    EXPECT_EQ(findingsOf(renamed)[0].fix, "Tick \"2- UM-ONE\" in \"Configure...\".");
    CheckReport services = healthy();
    services.outputs.ports.resize(1);
    std::string const reinstall = findingsOf(services)[0].fix;
    services.midiServices.mode = MidiServicesMode::Full;
    EXPECT_NE(findingsOf(services)[0].fix, reinstall) << "ports made after the service started wait for its restart";
}

TEST(ReportWriters, JsonIsAsciiWithNullForTheUnknownAndTextShowsTheSame) {
    CheckReport report = healthy();
    report.outputChoices.names = {"Quote \" back\\slash", "\x01\n", "bad \xFF", "", "\xC3\x9C \xF0\x9F\x8E\xB9"};
    report.driver.kernel.reset();
    std::string const json = reportJson(report, findingsOf(report), "1.0");
    EXPECT_TRUE(std::all_of(json.begin(), json.end(), [](char c) { return c > 0 && c < 0x7F; }));
    for (char const* expected : {"\"name\": \"Quote \\\" back\\\\slash\"", "\"name\": \"\\u0001\\u000A\"",
                                 "\"name\": \"bad \\uFFFD\"", "\"name\": \"\"", "\"name\": \"\\u00DC \\uD83C\\uDFB9\"",
                                 "\"driverVersion\": null", "\"connected\": false", "\"checkVersion\": \"1.0\"",
                                 "\"id\": \"driverNoAnswer\"", "\"ansiCodePage\": 65001", "\"compatibilitySettings\": []"}) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    }
    EXPECT_EQ(json.find("-1"), std::string::npos);
    std::string const text = reportText(report, findingsOf(report), "1.0");
    EXPECT_NE(text.find("\nFindings (6)\n  1. The teVirtualMIDI kernel driver"), std::string::npos) << text;
    EXPECT_NE(text.find("     Fix: Reinstall the teVirtualMIDI driver"), std::string::npos) << text;
    EXPECT_NE(text.find(json), std::string::npos) << "the text report shows the same facts";
}
