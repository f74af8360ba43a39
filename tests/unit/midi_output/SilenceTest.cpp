#include "midi_output/Silence.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Silence, SustainOffThenAllNotesOffOnEveryChannel) {
    std::vector<std::vector<std::uint8_t>> sent;
    silenceAllChannels([&](std::uint8_t const* bytes, std::size_t length) {
        sent.emplace_back(bytes, bytes + length);
    });
    ASSERT_EQ(sent.size(), 32u);
    for (unsigned channel = 0; channel < 16; ++channel) {
        std::uint8_t const status = static_cast<std::uint8_t>(0xB0 + channel);
        EXPECT_EQ(sent[2 * channel], (std::vector<std::uint8_t>{status, 64, 0})) << "channel " << channel;
        EXPECT_EQ(sent[2 * channel + 1], (std::vector<std::uint8_t>{status, 123, 0})) << "channel " << channel;
    }
}
