// Unique names of repeated devices and the names of the virtual ports.
#include <gtest/gtest.h>

#include <string>

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
    // The last one-digit and the last two-digit numbers keep their own cuts.
    EXPECT_EQ(makeUniqueName(name30, 8), name30.substr(0, 27) + " (9)");
    EXPECT_EQ(makeUniqueName(name30, 98), name30.substr(0, 26) + " (99)");
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
    // Across the 24-byte limit with one, two or three of its bytes before it: dropped whole.
    for (std::size_t before : {23u, 22u, 21u}) {
        std::string const name = std::string(before, 'a') + "\xF0\x9F\x8E\xB9" + "xyz";
        EXPECT_EQ(portNameUtf8(name, kMidiPortSuffix), std::string(before, 'a') + " - MIDI") << before;
    }
}

TEST(PortName, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(utf8ToUtf16("a\xFF" "b"), u"a\uFFFD" "b");
    EXPECT_EQ(utf8ToUtf16("\xC3"), u"\uFFFD");
    // An encoded surrogate: how many replacement characters is the converter's choice.
    std::u16string const surrogate = utf8ToUtf16("\xED\xA0\x80");
    EXPECT_FALSE(surrogate.empty());
    EXPECT_EQ(surrogate.find_first_not_of(u'\uFFFD'), std::u16string::npos);
}

TEST(UniqueName, ACutNeverSplitsACharacter) {
    // 26 ASCII bytes then "é" across the 27-byte cut: the character goes whole.
    std::string const name = std::string(26, 'a') + "\xC3\xA9" + "xyz";
    EXPECT_EQ(makeUniqueName(name, 1), std::string(26, 'a') + " (2)");
    // At the 26-byte cut of two-digit numbers the same name keeps its 26 ASCII bytes.
    EXPECT_EQ(makeUniqueName(name, 9), std::string(26, 'a') + " (10)");
    // Bytes that are not a whole character are cut like any other byte.
    std::string const broken = std::string(26, 'a') + "\xC3" + "xyz";
    EXPECT_EQ(makeUniqueName(broken, 1), std::string(26, 'a') + "\xC3" + " (2)");
}

TEST(UniqueName, RepeatNumberIsRecognisedOnlyAsMakeUniqueNameWritesIt) {
    EXPECT_EQ(uniqueNumberLength("Synth (2)"), 4u);
    EXPECT_EQ(uniqueNumberLength("Synth (99)"), 5u);
    EXPECT_EQ(uniqueNumberLength(" (10)"), 5u);
    for (char const* plain : {"Synth", "Synth (1)", "Synth (0)", "Synth (07)", "Synth (100)",
                              "Synth(2)", "Synth ()", "Synth (2", "(2)", "Synth (x)"}) {
        EXPECT_EQ(uniqueNumberLength(plain), 0u) << plain;
    }
}

TEST(PortName, RepeatedLongNamesKeepTheirNumberSoTheirPortsDiffer) {
    std::string const name30(30, 'L');
    std::string const second = makeUniqueName(name30, 1);  // 27 bytes + " (2)"
    std::string const tenth = makeUniqueName(name30, 9);   // 26 bytes + " (10)"
    EXPECT_EQ(portNameUtf8(name30, kMidiPortSuffix), std::string(24, 'L') + " - MIDI");
    EXPECT_EQ(portNameUtf8(second, kMidiPortSuffix), std::string(20, 'L') + " (2) - MIDI");
    EXPECT_EQ(portNameUtf8(second, kSysExPortSuffix), std::string(19, 'L') + " (2) - SysEx");
    EXPECT_EQ(portNameUtf8(tenth, kMidiPortSuffix), std::string(19, 'L') + " (10) - MIDI");
    EXPECT_EQ(portNameUtf8(tenth, kSysExPortSuffix).size(), 31u);
    // Names that fit stay exactly as they were, number or not.
    EXPECT_EQ(portNameUtf8("Synth (2)", kSysExPortSuffix), "Synth (2) - SysEx");
    std::string const fits = std::string(20, 'F') + " (2)";  // 24 bytes: fits " - MIDI"
    EXPECT_EQ(portNameUtf8(fits, kMidiPortSuffix), fits + " - MIDI");
    // The cut before the number does not split a character either.
    std::string const accented = std::string(19, 'a') + "\xC3\xA9" + "bcdefg (2)";
    EXPECT_EQ(portNameUtf8(accented, kMidiPortSuffix), std::string(19, 'a') + " (2) - MIDI");
}
