// The diagnostics tool's portable core: round trips through a stand-in pair, its command line,
// and the findings that devices (which Wine does not have) would lead to.
#include "check/CheckCommand.h"
#include "check/Findings.h"
#include "check/LoopProbe.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace std::chrono_literals;

// Plays the loop: hands each message back at once, except those it is told to drop, change or
// hold; a held one comes back when the next is sent, after its wait has run out.
struct StandInPair {
    explicit StandInPair(LoopProbe* to) : probe(to) {}
    LoopProbe* probe;
    unsigned drop = ~0u, change = ~0u, hold = ~0u, failAt = ~0u, sent = 0;
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
        if (bytes.size() > 100) {  // a long one arrives in two pieces
            probe->received(bytes.data(), 100);
            probe->received(bytes.data() + 100, bytes.size() - 100);
        } else {
            probe->received(bytes.data(), bytes.size());
        }
    }
};

}  // namespace

TEST(LoopProbe, TellsLostChangedAndLateMessagesApartAndIgnoresOthers) {
    LoopProbe probe(50ms);
    StandInPair pair(&probe);
    pair.drop = 2;
    pair.change = 4;
    pair.hold = 6;
    LoopResult const result = probe.run(std::ref(pair), 10, 600);
    EXPECT_EQ(result.sent, 11u);
    EXPECT_EQ(result.lost, 1u);
    EXPECT_EQ(result.changed, 1u);
    EXPECT_EQ(result.late, 1u);
    EXPECT_EQ(result.inTime, 8u);
    EXPECT_GE(result.longUs, 0) << "the long message came back whole, in two pieces";
    EXPECT_TRUE(result.error.empty()) << result.error;
    EXPECT_LE(result.medianUs, result.p99Us);
    EXPECT_LE(result.p99Us, result.maxUs);
    EXPECT_FALSE(result.clean());
}

TEST(LoopProbe, StopsWhenTheOutputFailsOrNothingComesBack) {
    LoopProbe probe(20ms);
    StandInPair failing(&probe);
    failing.failAt = 3;
    LoopResult const vanished = probe.run(std::ref(failing), 10);
    EXPECT_EQ(vanished.sent, 3u);
    EXPECT_EQ(vanished.inTime, 3u);
    EXPECT_NE(vanished.error.find("after 3 messages: device removed"), std::string::npos) << vanished.error;

    LoopResult const silent = probe.run([](LoopProbe::Bytes const&) {}, 1000);
    EXPECT_EQ(silent.sent, 3u) << "it gives up after three losses in a row";
    EXPECT_EQ(silent.lost, 3u);
    EXPECT_EQ(silent.medianUs, -1);
    EXPECT_NE(silent.error.find("gave up"), std::string::npos);
}

TEST(CheckCommand, TakesItsCommandsAndRefusesAnythingElse) {
    CheckCommand const loop = parseCheckCommand({"loop", "Synth Out", "Synth \xC3\x9C In", "--count", "25"});
    EXPECT_EQ(loop.kind, CheckCommand::Kind::Loop);
    EXPECT_EQ(loop.input, "Synth \xC3\x9C In");
    EXPECT_EQ(loop.count, 25u);
    EXPECT_TRUE(parseCheckCommand({"--json"}).json);
    EXPECT_EQ(parseCheckCommand({"panic", "Synth"}).output, "Synth");

    for (std::vector<std::string> const& wrong : std::vector<std::vector<std::string>>{
             {"--jsn"}, {"report"}, {"loop", "a"}, {"loop", "a", "b", "--count", "0"},
             {"loop", "a", "b", "--count", "12x"}, {"panic"}, {"--json", "--json"},
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
}

TEST(Findings, DevicesThatAreHeldUnsharedOrLossyEachGetTheirFix) {
    CheckReport report;
    report.system = {10, 0, 19045, 65001};
    report.driver.state = DriverState::Usable;
    report.stored.state = StoredState::Document;
    report.stored.choices = {{"Held", true, false, true}, {"Shared", true, true, false}, {"Portless", true, false, false}};
    std::vector<Finding> const stopped = findingsOf(report);
    ASSERT_EQ(stopped.size(), 2u) << "not running, and held by another application";
    EXPECT_EQ(stopped[1].problem, "Another application holds \"Held\", so Tessivane cannot open it.");
    EXPECT_NE(stopped[1].fix.find("instead of the device itself"), std::string::npos);

    report.tessivane.running = {{12, "C:\\T\\tessivane.exe", true}};
    report.stored.choices[0].heldElsewhere = false;  // only asked while Tessivane is not running
    report.loopback = LoopResult();
    report.loopback->sent = 201;
    report.loopback->lost = 2;
    std::vector<Finding> const findings = findingsOf(report);
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_NE(findings[0].problem.find("\"Held\" are not listed"), std::string::npos) << findings[0].problem;
    EXPECT_NE(findings[1].problem.find("\"Portless\" are not listed"), std::string::npos);
    EXPECT_NE(findings[2].problem.find("lost 2"), std::string::npos) << findings[2].problem;
    EXPECT_NE(findings[2].fix.find("Reinstall the teVirtualMIDI driver"), std::string::npos);
}
