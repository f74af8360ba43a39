// Paths that do not fit 260 narrow bytes. One of 260 characters or more must never store or match
// a cut path; one of fewer characters that takes more bytes (up to three a character in UTF-8, the
// program's code page) is stored and matched whole. Meaningful only when this program runs from
// such a path: run_from_deep_path.sh starts a copy of it from one; elsewhere the cases skip.

#include "settings/LaunchOnStartup.h"
#include "tests/win32/settings/TestRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
char const kValue[] = "Tessivane_x64";

std::string fullModulePath() {
    std::vector<char> path(32768);
    DWORD const length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::string(path.data(), length);
}

std::size_t pathCharacters() {
    std::vector<wchar_t> path(32768);
    return GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
}

TEST(LaunchOnStartupDeepPath, ACutPathIsNeverStoredOrMatched) {
    std::string const path = fullModulePath();
    if (pathCharacters() < 260) {
        GTEST_SKIP() << "needs a copy of this program at a path of 260 characters or more";
    }
    SavedValue const saved(kRunKey, kValue);

    // What a 260-character buffer holds of this path.
    std::string const cut = path.substr(0, 259);
    setRawValue(kRunKey, kValue, REG_SZ, sz(cut));
    EXPECT_FALSE(isLaunchOnStartup());
    toggleLaunchOnStartup();
    std::optional<RawValue> value = rawValue(kRunKey, kValue);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->bytes, sz(cut));

    deleteRawValue(kRunKey, kValue);
    toggleLaunchOnStartup();
    EXPECT_FALSE(rawValue(kRunKey, kValue));
    EXPECT_FALSE(isLaunchOnStartup());
}

TEST(LaunchOnStartupDeepPath, ANonAsciiPathLongerThan260BytesIsStoredAndMatched) {
    std::string const path = fullModulePath();
    if (GetACP() != CP_UTF8 || pathCharacters() >= 260 || path.size() <= 260) {
        GTEST_SKIP() << "needs a copy of this program, in UTF-8, at a path of fewer than 260 "
                        "characters and more than 260 bytes";
    }
    SavedValue const saved(kRunKey, kValue);
    deleteRawValue(kRunKey, kValue);
    toggleLaunchOnStartup();
    std::optional<RawValue> value = rawValue(kRunKey, kValue);
    ASSERT_TRUE(value) << "nothing was written";
    EXPECT_EQ(value->bytes, sz(path));
    EXPECT_TRUE(isLaunchOnStartup());
    toggleLaunchOnStartup();
    EXPECT_FALSE(rawValue(kRunKey, kValue));
}

}  // namespace
