#include "midi_common/MidiStreamParser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace tessivane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

struct Collected {
    explicit Collected(std::size_t maxSysex = 64)
        : parser(maxSysex, [this](std::uint8_t* b, std::size_t n) { messages.emplace_back(b, b + n); }) {}
    void feed(Bytes const& bytes) { parser.feed(bytes.data(), bytes.size()); }
    std::vector<Bytes> messages;
    MidiStreamParser parser;
};

TEST(MidiStreamParser, RunningStatusRepeatsTheLastChannelStatus) {
    Collected c;
    c.feed({0x90, 0x3C, 0x7F, 0x3E, 0x7F, 0x40, 0x00, 0xC1, 0x05, 0x06, 0xD2, 0x10});
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0x90, 0x3E, 0x7F},
                                        Bytes{0x90, 0x40, 0x00}, Bytes{0xC1, 0x05},
                                        Bytes{0xC1, 0x06}, Bytes{0xD2, 0x10}));
}

TEST(MidiStreamParser, SystemCommonHasItsLengthsAndCancelsRunningStatus) {
    Collected c;
    c.feed({0x90, 0x3C, 0x7F, 0xF1, 0x11, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6,
            0x3C, 0x7F,        // no running status any more: dropped
            0xF4, 0xF5, 0x01,  // undefined statuses and what follows them: dropped
            0x80, 0x3C, 0x00});
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0xF1, 0x11},
                                        Bytes{0xF2, 0x01, 0x02}, Bytes{0xF3, 0x05}, Bytes{0xF6},
                                        Bytes{0x80, 0x3C, 0x00}));
}

TEST(MidiStreamParser, RealTimeBytesComeAtOnceWithoutDisturbingOthers) {
    Collected c;
    c.feed({0x90, 0xF8, 0x3C, 0xFE, 0x7F, 0xF0, 0x01, 0xFA, 0x02, 0xF7, 0xFF});
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0xF8}, Bytes{0xFE}, Bytes{0x90, 0x3C, 0x7F},
                                        Bytes{0xFA}, Bytes{0xF0, 0x01, 0x02, 0xF7}, Bytes{0xFF}));
}

TEST(MidiStreamParser, SysexUpToTheLimitPassesALongerOneIsDiscardedWhole) {
    Collected c(4);
    c.feed({0xF0, 0x01, 0x02, 0xF7});        // exactly 4 bytes
    c.feed({0xF0, 0x01, 0x02, 0x03, 0xF7});  // 5 bytes: gone, nothing of it leaks
    c.feed({0x03, 0x04});                    // data after it is stray
    c.feed({0xF0, 0x7E, 0xF7});
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0xF0, 0x01, 0x02, 0xF7}, Bytes{0xF0, 0x7E, 0xF7}));
    EXPECT_EQ(c.parser.discarded(), 1u);  // a loss that a reader of the parser can count
}

TEST(MidiStreamParser, TinyOrZeroLimitDropsEverySysex) {
    Collected zero(0);
    zero.feed({0xF0, 0xF7, 0x90, 0x3C, 0x7F});
    EXPECT_THAT(zero.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}));
    Collected two(2);
    two.feed({0xF0, 0xF7, 0xF0, 0x01, 0xF7});
    EXPECT_THAT(two.messages, ElementsAre(Bytes{0xF0, 0xF7}));
}

TEST(MidiStreamParser, MessagesSplitAcrossFeedsAreCompleted) {
    Collected c;
    Bytes const stream{0x90, 0x3C, 0x7F, 0x3E, 0x40, 0xF0, 0x01, 0x02, 0x03, 0xF7, 0xB0, 0x07, 0x64};
    for (std::uint8_t byte : stream) c.feed({byte});
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0x90, 0x3E, 0x40},
                                        Bytes{0xF0, 0x01, 0x02, 0x03, 0xF7},
                                        Bytes{0xB0, 0x07, 0x64}));
}

TEST(MidiStreamParser, StrayDataLoneEndAndIncompleteMessagesAreDropped) {
    Collected c;
    c.feed({0x01, 0x02, 0xF7, 0x90, 0x3C, 0xB0, 0x07, 0x64, 0xF7, 0x3C, 0x7F});
    // 0x90 0x3C is cut by 0xB0; the second 0xF7 ends running status too.
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0xB0, 0x07, 0x64}));
}

TEST(MidiStreamParser, InterruptedSysexIsDiscardedAndTheNewStatusTakesOver) {
    Collected c;
    c.feed({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x7F, 0x03, 0xF7});
    c.feed({0xF0, 0x05, 0xF0, 0x06, 0xF7});  // a new SysEx start restarts it
    EXPECT_THAT(c.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0xF0, 0x06, 0xF7}));
    EXPECT_EQ(c.parser.discarded(), 2u);
}

TEST(MidiStreamParser, ResetForgetsPartialMessageAndRunningStatus) {
    Collected c;
    c.feed({0x90, 0x3C, 0x7F, 0x3E});
    c.parser.reset();
    c.feed({0x7F, 0x40, 0x00});
    EXPECT_TRUE(c.messages.size() == 1);
}

}  // namespace
}  // namespace tessivane
