// The Share inputs dialog with real rows and real clicks: its tree of inputs, a tick and an untick
// with the requests and the stored shared inputs they make, and the tree following the engine.
#include <windows.h>
#include <commctrl.h>

#include "tests/win32/ui/UiFixture.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/ShareInputsDialog.h"
#include "ui/resource.h"

namespace {

using robot::TreeItem;

class ShareInputsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        clearStoredChoices();
        // Tessivane's own input port ("... - In") and duplicate names, as Windows may list them.
        useInputs({"Keys", "Synth - In", "Pads", "Keys"});
    }
    void TearDown() override {
        clearStoredChoices();
        useInputs({});
    }
};

std::vector<std::pair<std::string, UINT>> rows(HWND tree) {
    std::vector<std::pair<std::string, UINT>> out;
    for (TreeItem const& item : robot::treeItems(tree)) out.emplace_back(item.text, item.stateImage);
    return out;
}

}  // namespace

TEST_F(ShareInputsDialog, TickAndUntickAskTheEngineAndStoreTheChoiceAndTheTreeFollows) {
    robot::play([] {
        HWND const dialog = openShareInputsDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(shareInputsDialogHandle(), dialog);
        EXPECT_TRUE(robot::hasClientSize(dialog, 300, 145));
        // Wine's registry has no Windows MIDI Services: no line about it.
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_SERVICES_NOTE)));
        HWND const tree = GetDlgItem(dialog, IDC_INPUT_TREE);
        ASSERT_NE(tree, nullptr);
        using Rows = std::vector<std::pair<std::string, UINT>>;
        EXPECT_EQ(rows(tree), (Rows{{"Keys", 1}, {"Pads", 1}, {"Keys (2)", 1}}));

        // Ticking "Keys (2)": stored, and shared at the next tick, at its own index.
        EXPECT_EQ(robot::clickCheckBox(tree, "Keys (2)"), 1u);
        EXPECT_EQ(storedSharedInputs(), (std::vector<std::string>{"Keys (2)"}));
        tick();
        EXPECT_TRUE(uiBus().isInputOpen("Keys"));
        EXPECT_EQ(uiBus().lastInputOpenIndex("Keys"), 3);
        EXPECT_TRUE(robot::waitUntil([&] { return rows(tree) == Rows{{"Keys", 1}, {"Pads", 1}, {"Keys (2)", 2}}; }));

        // Unticking it: removed, and closed at the next tick; the tree shows it.
        EXPECT_EQ(robot::clickCheckBox(tree, "Keys (2)"), 2u);
        EXPECT_TRUE(storedSharedInputs().empty());
        tick();
        EXPECT_FALSE(uiBus().isInputOpen("Keys"));
        EXPECT_TRUE(robot::waitUntil([&] { return rows(tree) == Rows{{"Keys", 1}, {"Pads", 1}, {"Keys (2)", 1}}; }));

        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
        EXPECT_EQ(shareInputsDialogHandle(), nullptr);
    });
}
