// An executable whose path does not fit the 260-character buffers must never store or match a
// cut path. Meaningful only when this program runs from such a path: run_from_deep_path.sh
// starts a copy of it from one; at its usual place the case skips itself.

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

TEST(LaunchOnStartupDeepPath, ACutPathIsNeverStoredOrMatched) {
    std::string const path = fullModulePath();
    if (path.size() < 260) {
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

}  // namespace
