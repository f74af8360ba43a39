// The state the program publishes for the diagnostics tool: its bytes, and the section that the
// program writes while the tool reads, without a lock between them.
#include "program_state/StateSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

ProgramState sample() {
    ProgramState state;
    state.processId = 4242;
    state.version = "1.0";
    state.loopbackCreated = true;
    state.outputs = {{"UM-ONE", {"UM-ONE - MIDI", "UM-ONE - SysEx"}, true, false, "MidiOutWinMM::openPort: error", 4, 0},
                     {"\xC3\x9C", {}, false, false, "", 0, 0}};
    state.inputs = {{"Keys", {"Keys - In"}, true, true, "", 0, 0x1'0000'0001}};
    return state;
}

void expectSame(ProgramState const& a, ProgramState const& b) {
    EXPECT_EQ(a.processId, b.processId);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.loopbackCreated, b.loopbackCreated);
    ASSERT_EQ(a.outputs.size(), b.outputs.size());
    ASSERT_EQ(a.inputs.size(), b.inputs.size());
    for (auto const* lists : {&a.outputs, &a.inputs}) {
        auto const& other = lists == &a.outputs ? b.outputs : b.inputs;
        for (std::size_t i = 0; i < lists->size(); ++i) {
            EntryState const &x = (*lists)[i], &y = other[i];
            EXPECT_EQ(std::tie(x.name, x.ports, x.portsExist, x.deviceOpen, x.lastError, x.lastErrorCode, x.lost),
                      std::tie(y.name, y.ports, y.portsExist, y.deviceOpen, y.lastError, y.lastErrorCode, y.lost));
        }
    }
}

}  // namespace

TEST(ProgramStateCodec, RoundTripsAndRefusesWhatItDidNotWrite) {
    std::string const bytes = encodeProgramState(sample(), kStatePayloadBytes);
    std::optional<DecodedState> const decoded = decodeProgramState(bytes);
    ASSERT_TRUE(decoded);
    expectSame(decoded->state, sample());
    EXPECT_EQ(decoded->omitted, 0u);

    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(decodeProgramState(bytes.substr(0, length))) << "cut at " << length;
    }
    EXPECT_FALSE(decodeProgramState(bytes + '\0')) << "bytes after the state";
    std::string lying = bytes;
    lying[4] = '\xFF';  // the version's length, far past the end
    EXPECT_FALSE(decodeProgramState(lying));

    // Too little room: whole entries are left out and counted, and what is left still decodes.
    std::string const cut = encodeProgramState(sample(), bytes.size() - 10);
    ASSERT_LE(cut.size(), bytes.size() - 10);
    std::optional<DecodedState> const shorter = decodeProgramState(cut);
    ASSERT_TRUE(shorter);
    EXPECT_EQ(shorter->omitted, 1u);
    EXPECT_EQ(shorter->state.outputs.size() + shorter->state.inputs.size(), 2u);
}

TEST(StateSection, ReadsWhatWasWrittenAndIgnoresWhatItCannotTrust) {
    std::vector<unsigned char> section(kStateSectionBytes);
    EXPECT_EQ(readStateSection(section.data(), section.size(), 10).status, StateStatus::Busy) << "never written";
    writeStateSection(section.data(), encodeProgramState(sample(), kStatePayloadBytes));
    PublishedState const read = readStateSection(section.data(), section.size());
    ASSERT_EQ(read.status, StateStatus::Read);
    expectSame(read.decoded.state, sample());

    EXPECT_EQ(readStateSection(section.data(), 30).status, StateStatus::Truncated) << "a section smaller than its state";
    std::vector<unsigned char> other = section;
    other[12] = 2;  // layout version 2
    PublishedState const newer = readStateSection(other.data(), other.size());
    EXPECT_EQ(newer.status, StateStatus::OtherVersion);
    EXPECT_EQ(newer.layoutVersion, 2u);
    other = section;
    other[0] = 'X';
    EXPECT_EQ(readStateSection(other.data(), other.size()).status, StateStatus::Truncated) << "not a state at all";
    other = section;
    other[kStateHeaderBytes + 4] = '\x7F';  // a text length past the payload
    EXPECT_EQ(readStateSection(other.data(), other.size()).status, StateStatus::Truncated);
}

// The program rewrites its state while the tool reads: every read is one whole state, never a mix.
TEST(StateSection, AReaderNeverTakesAStateHalfWritten) {
    std::vector<unsigned char> section(kStateSectionBytes);
    ProgramState small = sample(), large = sample();
    small.outputs.clear();
    large.outputs.resize(40, large.outputs[0]);
    std::string const payloads[] = {encodeProgramState(small, kStatePayloadBytes), encodeProgramState(large, kStatePayloadBytes)};
    writeStateSection(section.data(), payloads[0]);
    std::atomic<int> written{0};
    // The writer pauses a millisecond after each state, as the program writes at most once a tick;
    // a writer that never paused could keep a slow reader (a sanitizer build copies a byte in
    // about a microsecond) from ever finishing a copy, which says nothing about mixing. The reader
    // reads without pause all along, so reads keep meeting writes.
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            writeStateSection(section.data(), payloads[i % 2]);
            written = i + 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    int seen[2] = {0, 0};
    while (written < 200) {
        PublishedState const read = readStateSection(section.data(), section.size());
        if (read.status == StateStatus::Busy) continue;
        EXPECT_EQ(read.status, StateStatus::Read);  // not ASSERT: the writer must be joined
        std::size_t const outputs = read.decoded.state.outputs.size();
        EXPECT_TRUE(outputs == 0 || outputs == 40) << outputs;
        ++seen[outputs == 40 ? 1 : 0];
    }
    writer.join();
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
}
