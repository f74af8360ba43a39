#include "settings/LaunchOnStartup.h"
#include "tests/win32/settings/TestRegistry.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
char const kValue[] = "Tessivane_x64";

std::string thisExecutable() {
    char path[MAX_PATH];
    DWORD const length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

// The Run key of the test prefix; whatever value was there before is put back afterwards.
class LaunchOnStartup : public ::testing::Test {
protected:
    void SetUp() override {
        deleteRawValue(kRunKey, kValue);
        path_ = thisExecutable();
        ASSERT_FALSE(path_.empty());
    }

    static void store(std::string const& bytes, DWORD type = REG_SZ) {
        setRawValue(kRunKey, kValue, type, bytes);
    }
    // After a toggle that switched it on: exactly this executable's path as REG_SZ.
    void expectOnWithThisPath() const {
        EXPECT_TRUE(isLaunchOnStartup());
        std::optional<RawValue> value = rawValue(kRunKey, kValue);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->bytes, sz(path_));
    }

    std::string path_;

private:
    SavedValue saved_{kRunKey, kValue};  // restored after TearDown, when the fixture goes
};

TEST_F(LaunchOnStartup, NoValueIsOffAndTogglingWritesThisPath) {
    EXPECT_FALSE(isLaunchOnStartup());
    toggleLaunchOnStartup();
    expectOnWithThisPath();
}

TEST_F(LaunchOnStartup, ThisPathIsOnAndTogglingDeletesIt) {
    store(sz(path_));
    EXPECT_TRUE(isLaunchOnStartup());
    toggleLaunchOnStartup();
    EXPECT_FALSE(isLaunchOnStartup());
    EXPECT_FALSE(rawValue(kRunKey, kValue));
}

TEST_F(LaunchOnStartup, TogglingTwiceFromNothingEndsWithNothing) {
    toggleLaunchOnStartup();
    toggleLaunchOnStartup();
    EXPECT_FALSE(isLaunchOnStartup());
    EXPECT_FALSE(rawValue(kRunKey, kValue));
}

TEST_F(LaunchOnStartup, AnyOtherTextIsOffAndTogglingOverwritesIt) {
    std::string otherCase = path_;
    for (char& c : otherCase) {
        c = std::isupper(static_cast<unsigned char>(c)) ? std::tolower(static_cast<unsigned char>(c))
                                                        : std::toupper(static_cast<unsigned char>(c));
    }
    ASSERT_NE(otherCase, path_);
    std::string const others[] = {
        sz("C:\\Program Files\\Tessivane\\tessivane.exe"),
        sz(otherCase),
        sz("\"" + path_ + "\""),
        sz(path_ + " --minimized"),
        sz(""),
        sz(path_ + "\\" + std::string(300, 'x')),  // longer than the 260-byte buffer
    };
    for (std::string const& other : others) {
        store(other);
        EXPECT_FALSE(isLaunchOnStartup()) << other;
        toggleLaunchOnStartup();
        expectOnWithThisPath();
    }
}

TEST_F(LaunchOnStartup, TheStoredTypeIsIgnoredAndTheTextEndsAtItsFirstNul) {
    store(path_, REG_BINARY);  // no terminator
    EXPECT_TRUE(isLaunchOnStartup());
    store(sz(path_) + "left over", REG_EXPAND_SZ);
    EXPECT_TRUE(isLaunchOnStartup());
    toggleLaunchOnStartup();
    EXPECT_FALSE(rawValue(kRunKey, kValue));
}

}  // namespace
