#include "simulated_driver/PortNameCodec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessivane {
namespace {

using ::testing::ElementsAre;

TEST(PortNameCodec, PipeNamesCarryAnyPortNameAndDecodeBack) {
    std::u16string const name = u"Synth \u00e9 \U0001F3B9 - MIDI";
    std::u16string const pipe = pipeNameForPort(name);
    EXPECT_EQ(pipe.rfind(u"\\\\.\\pipe\\tessivane-sim-", 0), 0u);
    std::u16string const component = pipe.substr(pipe.rfind(u'\\') + 1);
    EXPECT_EQ(portNameFromPipeComponent(component), name);
    EXPECT_EQ(pipeNameForPort(u"A"), u"\\\\.\\pipe\\tessivane-sim-41");

    EXPECT_FALSE(portNameFromPipeComponent(u"other-pipe").has_value());
    EXPECT_FALSE(portNameFromPipeComponent(u"tessivane-sim-4").has_value());
    EXPECT_FALSE(portNameFromPipeComponent(u"tessivane-sim-ZZ").has_value());
}

TEST(PortNameCodec, BrokenTextBecomesReplacementCharacters) {
    EXPECT_EQ(utf16FromUtf8("a\xC3"), u"a\uFFFD");            // cut sequence
    EXPECT_EQ(utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // encoded surrogate
    EXPECT_EQ(utf8FromUtf16(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(PortNameCodec, RefusalListSplitsOnBarsAndSkipsEmptyNames) {
    EXPECT_THAT(splitRefusedNames("A - MIDI||B \xC3\xA9|"), ElementsAre(u"A - MIDI", u"B \u00e9"));
    EXPECT_TRUE(splitRefusedNames("").empty());
}

}  // namespace
}  // namespace tessivane
