// The tray icon's callback and menu, and the About box, through the real main window procedure.
#include <future>

#include "TessivaneVersion.h"
#include "tests/win32/settings/TestRegistry.h"
#include "tests/win32/ui/UiFixture.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/AppMessages.h"
#include "ui/ConfigureDialog.h"
#include "ui/resource.h"

namespace {

char const kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
char const kRunValue[] = "Tessivane_x64";

void rightClickIcon() { PostMessageW(mainWindow(), kTrayCallback, kTrayIconId, WM_RBUTTONDOWN); }

// Right-clicks the icon with the cursor at `cursor`, reads the menu that opens and closes it.
std::vector<robot::MenuItem> trayMenuAt(POINT cursor, RECT* menuRect = nullptr) {
    std::vector<robot::MenuItem> items;
    robot::moveCursor(cursor);
    rightClickIcon();
    HWND const menu = robot::waitForMenu();
    EXPECT_NE(menu, nullptr) << "no menu opened";
    if (menu != nullptr) {
        items = robot::menuItems(menu);
        if (menuRect != nullptr) {
            GetWindowRect(menu, menuRect);
        }
        robot::pressKey(VK_ESCAPE);
        EXPECT_TRUE(robot::waitUntilGone(menu));
    }
    return items;
}

void expectItems(std::vector<robot::MenuItem> const& items, UINT configureFlags, UINT launchFlags,
                 UINT shareFlags = 0) {
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].text, "Configure...");
    EXPECT_EQ(items[0].id, static_cast<UINT>(IDM_CONFIGURE));
    EXPECT_EQ(items[0].flags, configureFlags);
    EXPECT_EQ(items[1].text, "Share inputs...");
    EXPECT_EQ(items[1].id, static_cast<UINT>(IDM_SHARE_INPUTS));
    EXPECT_EQ(items[1].flags, shareFlags);
    EXPECT_EQ(items[2].text, "Launch on startup");
    EXPECT_EQ(items[2].id, static_cast<UINT>(IDM_LAUNCH_ON_STARTUP));
    EXPECT_EQ(items[2].flags, launchFlags);
    EXPECT_NE(items[3].flags & MF_SEPARATOR, 0u);
    EXPECT_EQ(items[3].id, static_cast<UINT>(IDM_SEPARATOR));
    EXPECT_EQ(items[4].text, "Exit");
    EXPECT_EQ(items[4].id, static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(items[4].flags, 0u);
}

std::string thisExecutable() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace

TEST(TrayMenu, IsBuiltAfreshWithItsItemsAtTheCursorAndFollowsDialogAndLaunchOnStartup) {
    SavedValue const savedRun(kRunKey, kRunValue);
    deleteRawValue(kRunKey, kRunValue);
    robot::play([] {
        RECT rect = {};
        expectItems(trayMenuAt({400, 300}, &rect), 0, 0);
        // Its bottom-left corner lies at the cursor.
        EXPECT_NEAR(rect.left, 400, 1);
        EXPECT_NEAR(rect.bottom, 300, 1);

        // Launch on startup is read at every right-click.
        setRawValue(kRunKey, kRunValue, REG_SZ, sz(thisExecutable()));
        expectItems(trayMenuAt({400, 300}), 0, MF_CHECKED);
        setRawValue(kRunKey, kRunValue, REG_SZ, sz("\"" + thisExecutable() + "\""));
        expectItems(trayMenuAt({400, 300}), 0, 0);

        // While a Configure dialog is open, "Configure..." is grayed.
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        expectItems(trayMenuAt({400, 300}), MF_GRAYED, 0);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(robot::waitUntilGone(dialog));
        expectItems(trayMenuAt({400, 300}), 0, 0);

        // The same for "Share inputs..." and its dialog, the other one staying available.
        HWND const inputs = openShareInputsDialog();
        ASSERT_NE(inputs, nullptr);
        expectItems(trayMenuAt({400, 300}), 0, 0, MF_GRAYED);
        PostMessageW(inputs, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(robot::waitUntilGone(inputs));
        expectItems(trayMenuAt({400, 300}), 0, 0);
    });
}

TEST(TrayMenu, LaunchOnStartupCommandTogglesTheRunValue) {
    SavedValue const savedRun(kRunKey, kRunValue);
    deleteRawValue(kRunKey, kRunValue);
    SendMessageW(mainWindow(), WM_COMMAND, IDM_LAUNCH_ON_STARTUP, 0);
    std::optional<RawValue> value = rawValue(kRunKey, kRunValue);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->bytes, sz(thisExecutable()));
    SendMessageW(mainWindow(), WM_COMMAND, IDM_LAUNCH_ON_STARTUP, 0);
    EXPECT_FALSE(rawValue(kRunKey, kRunValue));
}

TEST(TrayCallback, DoubleClickOpensTheDialogAndOtherMouseMessagesDoNothing) {
    robot::play([] {
        for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE, WM_MBUTTONDOWN}) {
            DWORD_PTR result = 99;
            ASSERT_TRUE(SendMessageTimeoutW(mainWindow(), kTrayCallback, kTrayIconId, mouse,
                                            SMTO_NORMAL, 5000, &result))
                << "mouse message " << mouse << " started something modal";
            EXPECT_EQ(result, 0u);
        }
        EXPECT_TRUE(robot::windowsTitled(nullptr, "#32768").empty());
        EXPECT_TRUE(robot::windowsTitled(nullptr, "#32770").empty());

        // A right-button press shows the menu and answers 1 once the menu is gone.
        auto answer = std::async(std::launch::async, [] {
            return SendMessageW(mainWindow(), kTrayCallback, kTrayIconId, WM_RBUTTONDOWN);
        });
        HWND const menu = robot::waitForMenu();
        ASSERT_NE(menu, nullptr);
        robot::pressKey(VK_ESCAPE);
        EXPECT_EQ(answer.get(), 1);

        PostMessageW(mainWindow(), kTrayCallback, kTrayIconId, WM_LBUTTONDBLCLK);
        HWND const dialog = robot::waitForWindow("Velmora Tessivane", "#32770");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(configureDialogHandle(), dialog);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
    EXPECT_EQ(configureDialogHandle(), nullptr);
}

TEST(AboutBox, OpensOnCommand104WithVersionAndClosesWithOkOrEsc) {
    robot::play([] {
        for (WORD close : {WORD(VK_RETURN), WORD(VK_ESCAPE)}) {
            PostMessageW(mainWindow(), WM_COMMAND, IDM_ABOUT, 0);
            HWND const about = robot::waitForWindow("About Velmora Tessivane", "#32770");
            ASSERT_NE(about, nullptr);
            std::vector<std::string> const texts = robot::staticTexts(about);
            ASSERT_GE(texts.size(), 1u);
            EXPECT_EQ(texts[0], std::string("Tessivane, Version ") + TESSIVANE_VERSION_TEXT);
            EXPECT_TRUE(robot::hasClientSize(about, 170, 62));
            // Its owner is the main window.
            EXPECT_EQ(GetWindow(about, GW_OWNER), mainWindow());
            EXPECT_NE(GetDlgItem(about, IDOK), nullptr);
            robot::pressKey(close);
            EXPECT_TRUE(robot::waitUntilGone(about));
        }
    });
}
