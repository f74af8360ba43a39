#include "settings/LaunchOnStartup.h"
#include "tests/win32/ImportPatch.h"
#include "tests/win32/settings/TestRegistry.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
char const kValue[] = "Tessivane_x64";

// The byte count of this program's last RegSetValueExA. Wine's registry stores a REG_SZ's
// terminator whether or not the caller counted it, so only the call itself shows a missing one.
DWORD lastSetSize = 0;
decltype(&RegSetValueExA) realSetValue = nullptr;

LSTATUS WINAPI countingSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, BYTE const* data,
                                DWORD size) {
    lastSetSize = size;
    return realSetValue(key, name, reserved, type, data, size);
}

// Counting from the first case on, for the whole program; false if it imports no such function.
bool countSetValueCalls() {
    static ImportPatch const patch("RegSetValueExA", reinterpret_cast<void*>(&countingSetValue));
    realSetValue = reinterpret_cast<decltype(realSetValue)>(patch.original());
    return realSetValue != nullptr;
}

std::string thisExecutable() {
    char path[MAX_PATH];
    DWORD const length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

// The Run key of the test prefix; whatever value was there before is put back afterwards.
class LaunchOnStartup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(countSetValueCalls());
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
        EXPECT_EQ(lastSetSize, path_.size() + 1) << "written without its terminating NUL";
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
        sz(path_ + "\\" + std::string(1000, 'x')),  // longer than any path it writes
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

TEST_F(LaunchOnStartup, SwitchedOffInTaskManagerIsOffAndTogglingSwitchesItOnForReal) {
    char const approvedKey[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    SavedValue const savedApproved(approvedKey, kValue);
    // Twelve bytes as Task Manager writes them: the state (odd when off), then a time.
    auto approved = [](char state) { return std::string(1, state) + std::string(11, '\x01'); };
    store(sz(path_));
    std::pair<char, bool> const states[] = {
        {'\x02', true}, {'\x06', true}, {'\x03', false}, {'\x07', false}};
    for (auto const& [state, on] : states) {
        setRawValue(approvedKey, kValue, REG_BINARY, approved(state));
        EXPECT_EQ(launchSwitchedOffInTaskManager(), !on) << int(state);
        EXPECT_EQ(isLaunchOnStartup(), on) << int(state);
    }
    // Choosing the item then switches it on for real.
    toggleLaunchOnStartup();
    expectOnWithThisPath();
    EXPECT_FALSE(rawValue(approvedKey, kValue));
}

}  // namespace
