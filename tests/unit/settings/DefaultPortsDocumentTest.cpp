#include "settings/DefaultPortsDocument.h"
#include "settings/JsonParsing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;

namespace {

std::string const kTwoNames = R"({"ports":["USB MIDI Interface","Synth Module"]})";

// A document whose single name makes its text exactly `length` characters long.
std::string nameForDocumentOfLength(std::size_t length) {
    std::size_t const frame = std::string(R"({"ports":[""]})").size();
    return std::string(length - frame, 'n');
}

TEST(StoredPortNames, ReadsTheNamesInOrderWithDuplicates) {
    EXPECT_THAT(storedPortNames(kTwoNames.c_str()), ElementsAre("USB MIDI Interface", "Synth Module"));
    EXPECT_THAT(storedPortNames(R"({"ports":["A","B","A"]})"), ElementsAre("A", "B", "A"));
}

TEST(StoredPortNames, FindsPortsInAnyLetterCaseAndTakesTheFirstMatch) {
    EXPECT_THAT(storedPortNames(R"({"Ports":["A"]})"), ElementsAre("A"));
    EXPECT_THAT(storedPortNames(R"({"PORTS":["A"],"ports":["B"]})"), ElementsAre("A"));
}

TEST(StoredPortNames, SkipsLeadingBlanksAndIgnoresTextAfterTheDocument) {
    EXPECT_THAT(storedPortNames(" \r\n\t\x01{\"ports\":[\"A\"]} and then {\"ports\":[\"B\"]}"),
                ElementsAre("A"));
}

TEST(StoredPortNames, UndoesEscapes) {
    EXPECT_THAT(storedPortNames(R"({"ports":["q\"b\\s\/\u00e9\ud83c\udfb9\t"]})"),
                ElementsAre("q\"b\\s/\xc3\xa9\xf0\x9f\x8e\xb9\t"));
}

TEST(StoredPortNames, NothingForAbsentEmptyOrInvalidText) {
    EXPECT_THAT(storedPortNames(nullptr), IsEmpty());
    EXPECT_THAT(storedPortNames(""), IsEmpty());
    EXPECT_THAT(storedPortNames("{\"ports\":[\"A\""), IsEmpty());
    EXPECT_THAT(storedPortNames("USB MIDI Interface"), IsEmpty());
    EXPECT_THAT(storedPortNames("{}"), IsEmpty());
}

TEST(StoredPortNames, ReadsNothingButStringsFromADocumentOfAnotherShape) {
    EXPECT_THAT(storedPortNames(R"(["A","B"])"), IsEmpty());
    EXPECT_THAT(storedPortNames(R"("A")"), IsEmpty());
    EXPECT_THAT(storedPortNames(R"({"ports":"A"})"), IsEmpty());
    EXPECT_THAT(storedPortNames(R"({"ports":{"A":"B"}})"), IsEmpty());
    EXPECT_THAT(storedPortNames(R"({"ports":null,"Ports":["A"]})"), IsEmpty());
    EXPECT_THAT(storedPortNames(R"({"ports":["A",1,null,true,["B"],{"C":"D"},"E"]})"),
                ElementsAre("A", "E"));
}

TEST(TextAfterAddingPort, BuildsTheDocumentFromNothing) {
    std::optional<std::string> first = textAfterAddingPort(nullptr, "USB MIDI Interface");
    ASSERT_THAT(first, Optional(std::string(R"({"ports":["USB MIDI Interface"]})")));
    EXPECT_EQ(first->size() + 1, 33u);

    std::optional<std::string> second = textAfterAddingPort(first->c_str(), "Synth Module");
    ASSERT_THAT(second, Optional(kTwoNames));
    EXPECT_EQ(second->size(), 47u);
}

TEST(TextAfterAddingPort, WritesNothingWhenTheNameIsStored) {
    EXPECT_EQ(textAfterAddingPort(kTwoNames.c_str(), "Synth Module"), std::nullopt);
    EXPECT_EQ(textAfterAddingPort("{\n  \"ports\" : [ \"A\" ,\n \"B\" ]\n}", "B"), std::nullopt);
}

TEST(TextAfterAddingPort, TreatsLetterCaseAsSignificantInNames) {
    EXPECT_THAT(textAfterAddingPort(R"({"ports":["synth"]})", "Synth"),
                Optional(std::string(R"({"ports":["synth","Synth"]})")));
}

TEST(TextAfterAddingPort, KeepsTheSpellingOfPortsAndOtherMembers) {
    EXPECT_THAT(textAfterAddingPort(R"({"Ports":["A"]})", "B"),
                Optional(std::string(R"({"Ports":["A","B"]})")));
    EXPECT_THAT(textAfterAddingPort("{}", "A"), Optional(std::string(R"({"ports":["A"]})")));
    EXPECT_THAT(textAfterAddingPort(R"({"v": 2, "x": {"y": [true, null]}})", "A"),
                Optional(std::string(R"({"v":2,"x":{"y":[true,null]},"ports":["A"]})")));
}

TEST(TextAfterAddingPort, StartsOverFromInvalidText) {
    EXPECT_THAT(textAfterAddingPort("not json", "A"), Optional(std::string(R"({"ports":["A"]})")));
    EXPECT_THAT(textAfterAddingPort("", "A"), Optional(std::string(R"({"ports":["A"]})")));
}

TEST(TextAfterAddingPort, DropsLeadingBlanksAndTrailingText) {
    EXPECT_THAT(textAfterAddingPort("  \n{\"ports\":[\"A\"]}\n-- junk", "B"),
                Optional(std::string(R"({"ports":["A","B"]})")));
}

TEST(TextAfterAddingPort, EscapesWhatJsonNeedsAndReadsItBackUnchanged) {
    std::string const name = "say \"hi\" C:\\dir\x01\b\f\n\r\t\x1f\x7f\xc3\xa9";
    std::optional<std::string> text = textAfterAddingPort(nullptr, name.c_str());
    ASSERT_THAT(text, Optional(std::string(
                          "{\"ports\":[\"say \\\"hi\\\" C:\\\\dir\\u0001\\b\\f\\n\\r\\t\\u001f"
                          "\x7f\xc3\xa9\"]}")));
    EXPECT_THAT(storedPortNames(text->c_str()), ElementsAre(name));
    EXPECT_EQ(textAfterAddingPort(text->c_str(), name.c_str()), std::nullopt);
}

TEST(TextAfterAddingPort, LeavesADocumentOfAnotherShapeAsItIs) {
    EXPECT_EQ(textAfterAddingPort(R"(["A"])", "B"), std::nullopt);
    EXPECT_EQ(textAfterAddingPort("42", "B"), std::nullopt);
    EXPECT_EQ(textAfterAddingPort(R"({"ports":"A"})", "B"), std::nullopt);
    EXPECT_EQ(textAfterAddingPort(R"({"PORTS":{"A":1},"ports":[]})", "B"), std::nullopt);
}

TEST(TextAfterAddingPort, KeepsElementsThatAreNotStrings) {
    EXPECT_THAT(textAfterAddingPort(R"({"ports":[1,{"A":"B"},"A"]})", "B"),
                Optional(std::string(R"({"ports":[1,{"A":"B"},"A","B"]})")));
    EXPECT_EQ(textAfterAddingPort(R"({"ports":[1,"A"]})", "A"), std::nullopt);
}

TEST(TextAfterAddingPort, NeverGivesATextTooLongToReadBack) {
    std::string const fits = nameForDocumentOfLength(kDefaultPortsMaxBytes - 1);
    std::optional<std::string> text = textAfterAddingPort(nullptr, fits.c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size() + 1, kDefaultPortsMaxBytes);

    std::string const tooLong = nameForDocumentOfLength(kDefaultPortsMaxBytes);
    EXPECT_EQ(textAfterAddingPort(nullptr, tooLong.c_str()), std::nullopt);
    EXPECT_EQ(textAfterAddingPort(R"({"ports":["A"]})", tooLong.c_str()), std::nullopt);
}

TEST(TextAfterAddingPort, NoNameChangesNothing) {
    EXPECT_EQ(textAfterAddingPort(kTwoNames.c_str(), nullptr), std::nullopt);
}

TEST(TextAfterRemovingPort, RemovesTheNameAndRewritesUnformatted) {
    EXPECT_THAT(textAfterRemovingPort(kTwoNames.c_str(), "USB MIDI Interface"),
                Optional(std::string(R"({"ports":["Synth Module"]})")));
    EXPECT_THAT(textAfterRemovingPort(R"({"ports":["A"]})", "A"),
                Optional(std::string(R"({"ports":[]})")));
    EXPECT_THAT(textAfterRemovingPort("{ \"ports\" : [ \"A\" ] }", "B"),
                Optional(std::string(R"({"ports":["A"]})")));
    EXPECT_THAT(textAfterRemovingPort("\t{\"ports\":[\"A\",\"B\"]} trailing", "B"),
                Optional(std::string(R"({"ports":["A"]})")));
}

TEST(TextAfterRemovingPort, RemovesEveryOccurrenceAndKeepsTheOrder) {
    EXPECT_THAT(textAfterRemovingPort(R"({"ports":["A","B","A","A","C","A"]})", "A"),
                Optional(std::string(R"({"ports":["B","C"]})")));
}

TEST(TextAfterRemovingPort, ComparesNamesByteForByte) {
    EXPECT_THAT(textAfterRemovingPort(R"({"ports":["a","A","A "]})", "A"),
                Optional(std::string(R"({"ports":["a","A "]})")));
}

TEST(TextAfterRemovingPort, KeepsOtherMembersSpellingAndNonStrings) {
    EXPECT_THAT(textAfterRemovingPort(R"({"x":1,"Ports":[1,"A",null,"B"],"y":"A"})", "A"),
                Optional(std::string(R"({"x":1,"Ports":[1,null,"B"],"y":"A"})")));
}

TEST(TextAfterRemovingPort, LeavesWhatItCannotReadAsItIs) {
    EXPECT_EQ(textAfterRemovingPort(nullptr, "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort("", "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort("not json", "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort("{}", "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort(R"(["A"])", "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort(R"({"ports":"A"})", "A"), std::nullopt);
    EXPECT_EQ(textAfterRemovingPort(R"({"ports":["A"]})", nullptr), std::nullopt);
}

TEST(TextAfterRemovingPort, LeavesAValueThatWouldPrintTooLongAsItIs) {
    // Numbers print in full: a short stored exponent can become a text past the limit.
    std::string stored = R"({"ports":["A"],"n":[)";
    for (int i = 0; i < 1500; ++i) {
        stored += (i ? ",1E9" : "1E9");
    }
    stored += "]}";
    ASSERT_LT(stored.size() + 1, kDefaultPortsMaxBytes);
    EXPECT_EQ(textAfterRemovingPort(stored.c_str(), "A"), std::nullopt);
}

// Runs `operation` with every allocation limit from 0 until one lets it complete.
template <class Operation>
void withEveryAllocationLimit(Operation operation) {
    for (long limit = 0; limit < 200; ++limit) {
        limitJsonAllocationsOnThisThread(limit);
        bool const done = operation(limit);
        limitJsonAllocationsOnThisThread(-1);
        if (done) {
            return;
        }
    }
    FAIL() << "never completed";
}

TEST(OutOfMemory, AnAddNeverLosesTheStoredNames) {
    std::string const stored = R"({"ports":["A","B"],"x":{"y":[1,2]}})";
    std::string const added = R"({"ports":["A","B","C"],"x":{"y":[1,2]}})";
    long needed = 0;
    withEveryAllocationLimit([&](long limit) {
        std::optional<std::string> const text = textAfterAddingPort(stored.c_str(), "C");
        if (!text) {
            return false;  // nothing written: the stored names stay
        }
        EXPECT_EQ(*text, added) << "with " << limit << " allocations";
        needed = limit;
        return true;
    });
    // One allocation fails and the later ones succeed: a parse that ran out of memory must not
    // pass for text that is not JSON, or a fresh document would replace the stored names.
    for (long failing = 0; failing < needed; ++failing) {
        failJsonAllocationsOnThisThread(failing, 1);
        std::optional<std::string> const text = textAfterAddingPort(stored.c_str(), "C");
        limitJsonAllocationsOnThisThread(-1);
        EXPECT_EQ(text.value_or(added), added) << "with allocation " << failing << " failing";
    }
    // With no memory at all the parse fails: that is not text to start over from.
    limitJsonAllocationsOnThisThread(0);
    EXPECT_EQ(textAfterAddingPort(stored.c_str(), "C"), std::nullopt);
    limitJsonAllocationsOnThisThread(-1);
    // Text that is not JSON is still replaced.
    EXPECT_THAT(textAfterAddingPort("not json", "C"), Optional(std::string(R"({"ports":["C"]})")));
}

TEST(OutOfMemory, ARemoveWritesAllOrNothing) {
    std::string const stored = R"({"ports":["A","B","A"]})";
    withEveryAllocationLimit([&](long) {
        std::optional<std::string> const text = textAfterRemovingPort(stored.c_str(), "A");
        if (!text) {
            return false;
        }
        EXPECT_EQ(*text, R"({"ports":["B"]})");
        return true;
    });
}

TEST(OutOfMemory, LoadingSaysSoInsteadOfListingNothing) {
    limitJsonAllocationsOnThisThread(1);
    EXPECT_THROW(storedPortNames(kTwoNames.c_str()), std::bad_alloc);
    limitJsonAllocationsOnThisThread(-1);
    EXPECT_THAT(storedPortNames(kTwoNames.c_str()), ElementsAre("USB MIDI Interface", "Synth Module"));
    EXPECT_THAT(storedPortNames("not json"), IsEmpty());
}

}  // namespace
