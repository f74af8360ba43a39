// The Configure dialog with real rows: its tree, clicks on check boxes (posted, and handled after
// the cursor has moved on) and texts, the requests and stored choices they make, rebuilds on the
// ports-changed message, every way to close it, and two dialogs at once.
#include <windows.h>
#include <commctrl.h>

#include "engine/EngineTexts.h"
#include "tests/win32/ImportPatch.h"
#include "tests/win32/ui/AllocationFailure.h"
#include "ui/AppMessages.h"
#include "tests/win32/ui/UiFixture.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/ConfigureDialog.h"
#include "ui/DeviceTree.h"
#include "ui/resource.h"

namespace {

using robot::TreeItem;

HWND treeOf(HWND dialog) { return GetDlgItem(dialog, IDC_OUTPUT_TREE); }

UINT_PTR WINAPI noTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

std::vector<std::string> texts(std::vector<TreeItem> const& items) {
    std::vector<std::string> out;
    for (TreeItem const& item : items) out.push_back(item.text);
    return out;
}

class ConfigureDialog : public ::testing::Test {
protected:
    void SetUp() override {
        clearStoredChoices();
        useDevices({"Synth", "Keys - MIDI", "Synth", "Piano", "Organ"});
        // Organ is virtualized and open before the dialog opens.
        ASSERT_TRUE(engine().tryEnqueue(PortRequest{4, "Organ", true}));
        ASSERT_TRUE(tick());
    }
    void TearDown() override { clearStoredChoices(); }
};

}  // namespace

TEST_F(ConfigureDialog, ShowsThePublishedOutputsInATreeOfCheckBoxes) {
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(configureDialogHandle(), dialog);
        // 300 by 145 dialog units (the template itself is checked with the resources).
        EXPECT_TRUE(robot::hasClientSize(dialog, 300, 145));
        std::vector<std::string> const labels = robot::staticTexts(dialog);
        EXPECT_EQ(labels, (std::vector<std::string>{"Select MIDI output ports to virtualize:"}));

        HWND const tree = treeOf(dialog);
        ASSERT_NE(tree, nullptr);

        char className[32] = {};
        GetClassNameA(tree, className, sizeof className);
        EXPECT_STREQ(className, "SysTreeView32");
        char text[32] = {};
        GetWindowTextA(tree, text, sizeof text);
        EXPECT_STREQ(text, "MIDI Outputs");
        LONG_PTR const style = GetWindowLongPtrA(tree, GWL_STYLE);
        EXPECT_EQ(style & 0x5080FFFF, 0x50808112);  // created 0x50800002, then 0x8110 added
        EXPECT_EQ(GetWindowLongPtrA(tree, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
        RECT expected = {10, 20, 290, 112};
        MapDialogRect(dialog, &expected);
        RECT actual = {};
        GetWindowRect(tree, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);

        // The engine's own ports are never listed; repeated names are told apart; ids are the
        // device indices; only the open output is checked.
        std::vector<TreeItem> const items = robot::treeItems(tree);
        ASSERT_EQ(texts(items), (std::vector<std::string>{"Synth", "Synth (2)", "Piano", "Organ"}));
        EXPECT_EQ(items[0].param, 0);
        EXPECT_EQ(items[1].param, 2);
        EXPECT_EQ(items[2].param, 3);
        EXPECT_EQ(items[3].param, 4);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(items[i].stateImage, 1u) << items[i].text;
        EXPECT_EQ(items[3].stateImage, 2u);
        // The OK button has the focus.
        EXPECT_EQ(robot::focusOf(dialog), GetDlgItem(dialog, IDOK));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
    EXPECT_EQ(configureDialogHandle(), nullptr);
}

TEST_F(ConfigureDialog, ClickOnABoxQueuesTheRequestAndStoresTheChoiceAndTheTreeFollows) {
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        HWND const tree = treeOf(dialog);

        // Ticking Synth (2): enable request for device 2, name stored.
        EXPECT_EQ(robot::clickCheckBox(tree, "Synth (2)"), 1u);
        EXPECT_EQ(storedChoices(), (std::vector<std::string>{"Synth (2)"}));
        EXPECT_FALSE(uiBus().isOpen("Synth"));
        EXPECT_TRUE(tick());  // the request: device 2 opened, the list published, 1026 posted
        EXPECT_EQ(uiBus().lastOpenIndex("Synth"), 2);
        bool enabled = false;
        ASSERT_TRUE(published("Synth (2)", &enabled));
        EXPECT_TRUE(enabled);

        // Unticking Organ: disable request, name removed (it was never stored: nothing to remove).
        EXPECT_EQ(robot::clickCheckBox(tree, "Organ"), 2u);
        EXPECT_TRUE(tick());
        EXPECT_FALSE(uiBus().isOpen("Organ"));
        EXPECT_EQ(storedChoices(), (std::vector<std::string>{"Synth (2)"}));

        // The ports-changed messages rebuild the tree from the engine's state.
        EXPECT_TRUE(robot::waitUntil([&] {
            std::vector<TreeItem> const items = robot::treeItems(tree);
            return items.size() == 4 && items[1].stateImage == 2 && items[3].stateImage == 1;
        }));

        // A double-click is two clicks, as the tree toggles the box twice: Piano is opened and
        // closed again, and the box and the stored choice end as they began.
        int const opens = uiBus().openCalls();
        int const closes = uiBus().closeCalls();
        EXPECT_EQ(robot::clickCheckBox(tree, "Piano", 2), 1u);
        EXPECT_EQ(storedChoices(), (std::vector<std::string>{"Synth (2)"}));
        tick();
        EXPECT_EQ(uiBus().openCalls() - opens, 1);
        EXPECT_EQ(uiBus().closeCalls() - closes, 1);
        EXPECT_FALSE(uiBus().isOpen("Piano"));

        // A device plugged in while the dialog is open shows up at the next change, but not under
        // a click (the tree holds the mouse while it tracks a press), even when there is no timer
        // left to wait with.
        std::size_t underTheClick = 0;
        robot::byUiThread([&] {
            SetCapture(tree);
            ImportPatch const noTimers("SetTimer", reinterpret_cast<void*>(&noTimer));
            uiBus().plug("Drums");
            EXPECT_TRUE(tick());
            SendMessageW(dialog, kPortsChanged, 0, 0);
            underTheClick = robot::treeItems(tree).size();
            ReleaseCapture();
        });
        EXPECT_EQ(underTheClick, 4u) << "the tree was rebuilt under the click";
        EXPECT_TRUE(robot::waitUntil([&] {
            return texts(robot::treeItems(tree)) ==
                   std::vector<std::string>{"Synth", "Synth (2)", "Piano", "Organ", "Drums"};
        }));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
}

TEST_F(ConfigureDialog, ClickOnATextDoesNothingAndLeavesNoItemSelected) {
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        HWND const tree = treeOf(dialog);
        std::vector<TreeItem> const items = robot::treeItems(tree);
        TreeItem const* piano = robot::findItem(items, "Piano");
        ASSERT_NE(piano, nullptr);
        robot::click(robot::textPoint(tree, piano->handle));
        // The click has reached the tree once it has the focus; give the rest of it a moment.
        EXPECT_TRUE(robot::waitUntil([&] { return robot::focusOf(dialog) == tree; }));
        Sleep(300);
        EXPECT_EQ(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), 0);
        EXPECT_FALSE(tick());  // nothing was queued
        EXPECT_TRUE(storedChoices().empty());
        EXPECT_EQ(robot::findItem(robot::treeItems(tree), "Piano")->stateImage, 1u);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
}

TEST_F(ConfigureDialog, FullQueueShowsTheErrorAlsoAfterTheDialogIsGoneAndStillStoresTheChoice) {
    // Fifteen requests the tick will drop (no published output has id 999).
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(engine().tryEnqueue(PortRequest{999, "Nothing", false}));
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(robot::clickCheckBox(treeOf(dialog), "Piano"), 1u);
        HWND const box = robot::waitForWindow("Velmora Tessivane Error", "#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(robot::staticTexts(box),
                  (std::vector<std::string>{"Error: could not process MIDI port disable request."}));
        // Over the dialog, which cannot be used beneath it.
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(box));
        EXPECT_TRUE(robot::waitUntil([] { return storedChoices() == std::vector<std::string>{"Piano"}; }));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });

    // A dialog that its owner takes along (as the main window at an exit) right after the click,
    // before anything the click left behind could run: the error is shown all the same.
    HWND const owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                       nullptr, nullptr);
    robot::playWhile([owner] { openConfigureDialog(owner); }, [owner] {
        HWND const dialog = robot::waitForWindow("Velmora Tessivane", "#32770");
        ASSERT_NE(dialog, nullptr);
        HWND const tree = treeOf(dialog);
        std::vector<TreeItem> const items = robot::treeItems(tree);
        POINT const synth = robot::checkBoxPoint(tree, robot::findItem(items, "Synth")->handle);
        robot::byUiThread([&] {
            robot::postClick(tree, synth);
            PostMessageW(owner, WM_CLOSE, 0, 0);
        });
        HWND const box = robot::waitForWindow("Velmora Tessivane Error", "#32770");
        ASSERT_NE(box, nullptr) << "the refused request went unreported with its dialog";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(box));
    });
    EXPECT_EQ(storedChoices(), (std::vector<std::string>{"Piano", "Synth"}));
    // The requests were lost: the queue's fifteen are dropped, Piano stays closed.
    EXPECT_FALSE(tick());
    EXPECT_FALSE(uiBus().isOpen("Piano"));
}

TEST_F(ConfigureDialog, OutOfMemoryWhileFillingLeavesTheTreeAsItIs) {
    DWORD const uiThread = GetCurrentThreadId();
    robot::play([uiThread] {
        // Opening: the list cannot be copied; the dialog opens with an empty tree all the same.
        failAllocationsOn(uiThread);
        HWND const dialog = openConfigureDialog();
        failAllocationsOn(0);
        ASSERT_NE(dialog, nullptr);
        HWND const tree = treeOf(dialog);
        EXPECT_TRUE(robot::treeItems(tree).empty());
        EXPECT_EQ(configureDialogHandle(), dialog);

        SendMessageW(dialog, kPortsChanged, 0, 0);
        ASSERT_EQ(robot::treeItems(tree).size(), 4u);
        // A rebuild that runs out of memory keeps what the tree shows.
        failAllocationsOn(uiThread);
        SendMessageW(dialog, kPortsChanged, 0, 0);
        failAllocationsOn(0);
        EXPECT_EQ(texts(robot::treeItems(tree)), (std::vector<std::string>{"Synth", "Synth (2)", "Piano", "Organ"}));
        EXPECT_FALSE(tick());  // nothing was queued
        EXPECT_TRUE(storedChoices().empty());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
}

TEST_F(ConfigureDialog, OkEnterEscAndTheCloseBoxAllCloseItAndClearTheHandle) {
    robot::play([] {
        auto closeWith = [](char const* how, std::function<void(HWND)> const& close) {
            HWND const dialog = openConfigureDialog();
            ASSERT_NE(dialog, nullptr) << how;
            EXPECT_EQ(configureDialogHandle(), dialog) << how;
            close(dialog);
            EXPECT_TRUE(robot::waitUntilGone(dialog)) << how;
            EXPECT_EQ(configureDialogHandle(), nullptr) << how;
        };
        closeWith("OK", [](HWND dialog) {
            RECT button = {};
            GetWindowRect(GetDlgItem(dialog, IDOK), &button);
            robot::click({(button.left + button.right) / 2, (button.top + button.bottom) / 2});
        });
        closeWith("Enter", [](HWND) { robot::pressKey(VK_RETURN); });
        closeWith("Esc", [](HWND) { robot::pressKey(VK_ESCAPE); });
        closeWith("close box", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    });
}

TEST_F(ConfigureDialog, ASecondDialogByDoubleClickTakesTheHandleAndClosingEitherClearsIt) {
    robot::play([] {
        for (bool closeNewerFirst : {true, false}) {
            HWND const first = openConfigureDialog();
            ASSERT_NE(first, nullptr);
            PostMessageW(mainWindow(), WM_USER + 1, 107, WM_LBUTTONDBLCLK);
            ASSERT_TRUE(robot::waitUntil([&] {
                return robot::windowsTitled("Velmora Tessivane", "#32770").size() == 2;
            }));
            HWND const second = configureDialogHandle();
            EXPECT_NE(second, first);
            EXPECT_NE(second, nullptr);
            HWND const closedFirst = closeNewerFirst ? second : first;
            HWND const closedLast = closeNewerFirst ? first : second;
            PostMessageW(closedFirst, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(robot::waitUntil([&] { return configureDialogHandle() == nullptr; }));
            PostMessageW(closedLast, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(robot::waitUntilGone(closedLast));
            EXPECT_TRUE(robot::waitUntilGone(closedFirst));
            EXPECT_EQ(configureDialogHandle(), nullptr);
        }
    });
}

TEST(OutputTree, LeavesOutTheProgramsOwnPortsAndABoxWithANegativeIdOnlyToggles) {
    clearStoredChoices();
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        HWND const tree = treeOf(dialog);
        std::vector<PublishedOutputInfo> const records = {
            {"Synth", 0, false}, {"Synth - MIDI", 1, false}, {" - SysEx", 2, true},
            {"Piano - SysEx x", 3, true}, {"Negative", -5, false}};
        EXPECT_EQ(fillOutputTree(tree, records.data(), records.size()), TRUE);
        std::vector<TreeItem> const items = robot::treeItems(tree);
        ASSERT_EQ(texts(items), (std::vector<std::string>{"Synth", "Piano - SysEx x", "Negative"}));
        EXPECT_EQ(items[1].stateImage, 2u);
        EXPECT_EQ(items[2].param, static_cast<LPARAM>(-5));  // widened with its sign
        // A click on the box of an item with a negative id toggles it on screen and does nothing else.
        EXPECT_EQ(robot::clickCheckBox(tree, "Negative"), 1u);
        EXPECT_FALSE(tick());
        EXPECT_TRUE(storedChoices().empty());
        // An empty list gives an empty tree.
        EXPECT_EQ(fillOutputTree(tree, nullptr, 0), TRUE);
        EXPECT_TRUE(robot::treeItems(tree).empty());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
}
