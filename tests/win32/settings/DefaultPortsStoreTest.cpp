#include "settings/DefaultPortsStore.h"
#include "settings/SharedInputsStore.h"
#include "settings/SettingsKeyPath.h"
#include "tests/win32/settings/TestRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

char const kParentKey[] = "SOFTWARE\\Velmora";
char const kTestKey[] = "SOFTWARE\\Velmora\\TessivaneTests";
char const kValue[] = "defaultPorts";

// Every case works on a key of its own, removed before and after, so the program's real key is
// never touched even inside the test prefix.
class DefaultPortsStore : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(savedPath_, g_settingsKeyPath, sizeof savedPath_);
        std::strcpy(g_settingsKeyPath, kTestKey);
        parentExisted_ = keyExists(kParentKey);
        deleteKeyTree(kTestKey);
    }
    void TearDown() override {
        deleteKeyTree(kTestKey);
        if (!parentExisted_) {
            RegDeleteKeyA(HKEY_CURRENT_USER, kParentKey);
        }
        std::memcpy(g_settingsKeyPath, savedPath_, sizeof savedPath_);
    }

    static void store(std::string const& bytes, DWORD type = REG_SZ) {
        setRawValue(kTestKey, kValue, type, bytes);
    }
    static std::optional<RawValue> stored() { return rawValue(kTestKey, kValue); }
    static std::vector<std::string> loaded() {
        std::vector<std::string> names;
        loadDefaultPorts(&names);
        return names;
    }
    // The stored value must be exactly these bytes of this type.
    static void expectStored(std::string const& bytes, DWORD type = REG_SZ) {
        std::optional<RawValue> value = stored();
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, type);
        EXPECT_EQ(value->bytes, bytes);
    }

private:
    char savedPath_[kSettingsKeyPathSize] = {};
    bool parentExisted_ = false;
};

TEST_F(DefaultPortsStore, NothingStoredLoadsNothingAndAddCreatesTheKey) {
    char buffer[8192];
    EXPECT_FALSE(readDefaultPortsText(buffer));
    std::vector<std::string> names{"kept"};
    loadDefaultPorts(&names);
    EXPECT_THAT(names, ElementsAre("kept"));

    removeDefaultPort("USB MIDI Interface");
    EXPECT_FALSE(keyExists(kTestKey));

    addDefaultPort("USB MIDI Interface");
    expectStored(sz(R"({"ports":["USB MIDI Interface"]})"));
    EXPECT_EQ(stored()->bytes.size(), 33u);

    addDefaultPort("Synth Module");
    expectStored(sz(R"({"ports":["USB MIDI Interface","Synth Module"]})"));
    EXPECT_EQ(stored()->bytes.size(), 48u);
    ASSERT_TRUE(readDefaultPortsText(buffer));
    EXPECT_STREQ(buffer, R"({"ports":["USB MIDI Interface","Synth Module"]})");
    EXPECT_THAT(loaded(), ElementsAre("USB MIDI Interface", "Synth Module"));
}

TEST_F(DefaultPortsStore, AnEmptyValueCountsAsAbsent) {
    for (std::string const& empty : {sz(""), std::string()}) {
        store(empty);
        char buffer[8192];
        EXPECT_FALSE(readDefaultPortsText(buffer));
        EXPECT_THAT(loaded(), IsEmpty());
        removeDefaultPort("A");
        expectStored(empty);
        addDefaultPort("A");
        expectStored(sz(R"({"ports":["A"]})"));
    }
}

TEST_F(DefaultPortsStore, RemovingRewritesUnformattedAndTakesOutDuplicates) {
    store(sz("{\n  \"ports\": [\"A\", \"B\", \"A\"]\n}"));
    EXPECT_THAT(loaded(), ElementsAre("A", "B", "A"));
    addDefaultPort("B");
    expectStored(sz("{\n  \"ports\": [\"A\", \"B\", \"A\"]\n}"));

    removeDefaultPort("C");
    expectStored(sz(R"({"ports":["A","B","A"]})"));
    removeDefaultPort("A");
    expectStored(sz(R"({"ports":["B"]})"));
    removeDefaultPort("B");
    expectStored(sz(R"({"ports":[]})"));
}

TEST_F(DefaultPortsStore, NamesNeedingEscapesComeBackUnchanged) {
    std::string const name = "Q\"uote\\Back\tslash \xc3\xa9";
    addDefaultPort(name.c_str());
    expectStored(sz("{\"ports\":[\"Q\\\"uote\\\\Back\\tslash \xc3\xa9\"]}"));
    EXPECT_THAT(loaded(), ElementsAre(name));
}

TEST_F(DefaultPortsStore, AValueTooLongToReadIsLeftAlone) {
    std::string longDocument = R"({"ports":["A","B"],"pad":")" + std::string(9000, 'x') + "\"}";
    store(sz(longDocument));
    char buffer[8192];
    EXPECT_FALSE(readDefaultPortsText(buffer));
    EXPECT_THAT(loaded(), IsEmpty());
    removeDefaultPort("A");
    addDefaultPort("C");
    expectStored(sz(longDocument));
}

TEST_F(DefaultPortsStore, TheLimitCountsTheTerminator) {
    std::string const frame = R"({"ports":["A"],"pad":""})";
    std::string const fits = R"({"ports":["A"],"pad":")" + std::string(8191 - frame.size(), 'x') + "\"}";
    ASSERT_EQ(fits.size(), 8191u);
    store(sz(fits));
    EXPECT_THAT(loaded(), ElementsAre("A"));

    // The same 8192 bytes with no terminator would need one byte more.
    store(fits + "x", REG_BINARY);
    EXPECT_THAT(loaded(), IsEmpty());
    addDefaultPort("B");
    expectStored(fits + "x", REG_BINARY);

    // A text we would not be able to read back is never written.
    deleteKeyTree(kTestKey);
    writeDefaultPortsText(std::string(8192, 'x').c_str());
    EXPECT_FALSE(stored());
}

TEST_F(DefaultPortsStore, TextThatIsNotJsonIsReplacedOnlyByAnAdd) {
    store(sz("USB MIDI Interface"));
    EXPECT_THAT(loaded(), IsEmpty());
    removeDefaultPort("USB MIDI Interface");
    expectStored(sz("USB MIDI Interface"));
    addDefaultPort("A");
    expectStored(sz(R"({"ports":["A"]})"));
}

TEST_F(DefaultPortsStore, TheStoredTypeIsIgnoredAndTheTextEndsAtItsFirstNul) {
    store(R"({"ports":["A"]})", REG_BINARY);  // no terminator at all
    EXPECT_THAT(loaded(), ElementsAre("A"));
    addDefaultPort("B");
    expectStored(sz(R"({"ports":["A","B"]})"));

    store(sz(R"({"Ports":["%A%"]})"), REG_EXPAND_SZ);
    EXPECT_THAT(loaded(), ElementsAre("%A%"));
    addDefaultPort("B");
    expectStored(sz(R"({"Ports":["%A%","B"]})"));

    store(std::string(R"({"ports":["A"]})") + '\0' + R"(,"B"]})", REG_BINARY);
    EXPECT_THAT(loaded(), ElementsAre("A"));
}

TEST_F(DefaultPortsStore, ADocumentOfAnotherShapeKeepsItsNames) {
    store(sz(R"({"ports":"A"})"));
    EXPECT_THAT(loaded(), IsEmpty());
    addDefaultPort("B");
    removeDefaultPort("A");
    expectStored(sz(R"({"ports":"A"})"));

    store(sz(R"({"ports":[7,"A",{"n":"B"}]})"));
    EXPECT_THAT(loaded(), ElementsAre("A"));
    addDefaultPort("B");
    expectStored(sz(R"({"ports":[7,"A",{"n":"B"},"B"]})"));
}

TEST_F(DefaultPortsStore, AnEmptyKeyPathTouchesNothing) {
    g_settingsKeyPath[0] = '\0';
    addDefaultPort("A");
    std::vector<std::string> names;
    loadDefaultPorts(&names);
    EXPECT_THAT(names, IsEmpty());
    EXPECT_FALSE(rawValue("", kValue));
}

}  // namespace

// The shared inputs live in a value of their own beside the chosen outputs, by the same rules.
TEST_F(DefaultPortsStore, SharedInputsKeepTheSameRulesInAValueOfTheirOwn) {
    addDefaultPort("Synth Module");
    addSharedInput("Keys");
    addSharedInput("Pads");
    addSharedInput("Keys");
    EXPECT_EQ(rawValue(kTestKey, "sharedInputs")->bytes, sz(R"({"inputs":["Keys","Pads"]})"));
    expectStored(sz(R"({"ports":["Synth Module"]})"));
    removeSharedInput("Keys");
    std::vector<std::string> names;
    loadSharedInputs(&names);
    EXPECT_THAT(names, ElementsAre("Pads"));

    // Another shape, or a value too long to read: nothing is lost, nothing written.
    for (std::string const& foreign :
         {sz(R"({"inputs":"Keys"})"), sz(R"({"inputs":[],"pad":")" + std::string(9000, 'x') + "\"}")}) {
        setRawValue(kTestKey, "sharedInputs", REG_SZ, foreign);
        addSharedInput("Keys");
        removeSharedInput("Pads");
        EXPECT_EQ(rawValue(kTestKey, "sharedInputs")->bytes, foreign);
    }
}
