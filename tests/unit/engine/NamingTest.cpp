// Unique names of repeated devices and the names of the virtual ports.
#include <gtest/gtest.h>

#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortName.h"

TEST(UniqueName, FirstKeepsNameThenNumbersTwoToNinetyNine) {
    EXPECT_EQ(makeUniqueName("Synth", 0), "Synth");
    EXPECT_EQ(makeUniqueName("Synth", 1), "Synth (2)");
    EXPECT_EQ(makeUniqueName("Synth", 8), "Synth (9)");
    EXPECT_EQ(makeUniqueName("Synth", 9), "Synth (10)");
    EXPECT_EQ(makeUniqueName("Synth", 98), "Synth (99)");
    // From the hundredth on, no suffix: they share the plain name.
    EXPECT_EQ(makeUniqueName("Synth", 99), "Synth");
    EXPECT_EQ(makeUniqueName("Synth", 500), "Synth");
}

TEST(UniqueName, LongNamesAreCutSoTheResultFitsIn31Bytes) {
    std::string const name30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    ASSERT_EQ(name30.size(), 30u);
    EXPECT_EQ(makeUniqueName(name30, 0), name30);
    EXPECT_EQ(makeUniqueName(name30, 1), name30.substr(0, 27) + " (2)");
    EXPECT_EQ(makeUniqueName(name30, 1).size(), 31u);
    EXPECT_EQ(makeUniqueName(name30, 9), name30.substr(0, 26) + " (10)");
    EXPECT_EQ(makeUniqueName(name30, 9).size(), 31u);
}

TEST(Suffix, MatchesWholeSuffixOnlyAndNullIsFalse) {
    EXPECT_TRUE(hasSuffix("Synth - MIDI", " - MIDI"));
    EXPECT_TRUE(hasSuffix(" - MIDI", " - MIDI"));
    EXPECT_FALSE(hasSuffix("- MIDI", " - MIDI"));
    EXPECT_FALSE(hasSuffix("Synth - MIDI ", " - MIDI"));
    EXPECT_FALSE(hasSuffix(nullptr, " - MIDI"));
    EXPECT_FALSE(hasSuffix("Synth", nullptr));
    EXPECT_TRUE(isOwnPortName("X - SysEx"));
    EXPECT_FALSE(isOwnPortName("X - Sysex"));
}

TEST(PortName, ShortNamesAreNotCut) {
    std::string const name18 = "USB MIDI Interfac2";
    ASSERT_EQ(name18.size(), 18u);
    EXPECT_EQ(makePortName(name18, kMidiPortSuffix), u"USB MIDI Interfac2 - MIDI");
    EXPECT_EQ(makePortName(name18, kSysExPortSuffix), u"USB MIDI Interfac2 - SysEx");
    EXPECT_EQ(makePortName("Zarvik Loopback", kLoopbackInSuffix), u"Zarvik Loopback In");
    EXPECT_EQ(makePortName("Zarvik Loopback", kLoopbackOutSuffix), u"Zarvik Loopback Out");
}

TEST(PortName, LongNamesAreCutPerSuffixTo31Bytes) {
    std::string const name30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    EXPECT_EQ(portNameUtf8(name30, kMidiPortSuffix), name30.substr(0, 24) + " - MIDI");
    EXPECT_EQ(portNameUtf8(name30, kSysExPortSuffix), name30.substr(0, 23) + " - SysEx");
    EXPECT_EQ(portNameUtf8(name30, kLoopbackInSuffix).size(), 31u);
    EXPECT_EQ(portNameUtf8(name30, kLoopbackOutSuffix), name30.substr(0, 27) + " Out");
}

TEST(PortName, NonAsciiNamesConvertAndACutNeverSplitsACharacter) {
    // "Café" converts to four UTF-16 units.
    EXPECT_EQ(makePortName("Caf\xC3\xA9", kMidiPortSuffix), u"Caf\u00E9 - MIDI");
    // 23 ASCII bytes then a 2-byte character straddling the 24-byte limit: it is dropped whole.
    std::string const straddling = std::string(23, 'a') + "\xC3\xA9" + "xyz";
    EXPECT_EQ(portNameUtf8(straddling, kMidiPortSuffix), std::string(23, 'a') + " - MIDI");
    // A 4-byte character (U+1F3B9) becomes a surrogate pair.
    EXPECT_EQ(makePortName("\xF0\x9F\x8E\xB9", kLoopbackInSuffix), u"\U0001F3B9 In");
}

TEST(PortName, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(utf8ToUtf16("a\xFF" "b"), u"a\uFFFD" "b");
    EXPECT_EQ(utf8ToUtf16("\xC3"), u"\uFFFD");
    // An encoded surrogate: how many replacement characters is the converter's choice.
    std::u16string const surrogate = utf8ToUtf16("\xED\xA0\x80");
    EXPECT_FALSE(surrogate.empty());
    EXPECT_EQ(surrogate.find_first_not_of(u'\uFFFD'), std::u16string::npos);
}
