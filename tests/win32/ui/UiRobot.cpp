#include "tests/win32/ui/UiRobot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ui/resource.h"

namespace robot {

namespace {

int const kPollMs = 10;

struct WindowQuery {
    char const* title;
    char const* className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM lParam) {
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) {
        return TRUE;
    }
    char text[256] = {};
    char className[64] = {};
    GetWindowTextA(window, text, sizeof text);
    GetClassNameA(window, className, sizeof className);
    if ((query->title == nullptr || std::string(text) == query->title) &&
        (query->className == nullptr || std::string(className) == query->className)) {
        query->found.push_back(window);
    }
    return TRUE;
}

// Under Wine, a thread ignores the pointer events queued for it from before its own cursor
// moves, but not those from before another thread's. A window just shown under the pointer
// reports the pointer's old place; read after the robot has moved the cursor, that report puts
// the cursor back, and the click lands where the pointer was. So the user-interface thread
// moves the cursor and clicks, at the robot's request, through this window of its own.
UINT const kRunHere = WM_APP + 100;
// Posted behind other posted messages: once it is handled, so are they.
UINT const kPostedMark = WM_APP + 101;
std::atomic<int> postedMarks{0};

// An action sent to the user-interface thread. When the send times out, Windows still delivers
// the message later, after the robot has left the frame that the action may refer to. So the
// message carries a reference of its own to the job, and the action runs only if the robot is
// still waiting for it; once it runs, the robot waits for its end.
struct UiJob {
    enum State { kWaiting, kRunning, kOver, kDropped };
    explicit UiJob(std::function<void()> const* robotsAction) : action(robotsAction) {}
    std::function<void()> const* const action;  // in the robot's frame: read only while running
    std::atomic<int> state{kWaiting};
};

void runJob(UiJob& job) {
    int waiting = UiJob::kWaiting;
    if (!job.state.compare_exchange_strong(waiting, UiJob::kRunning)) {
        return;  // the robot has stopped waiting
    }
    try {
        (*job.action)();
    } catch (...) {
        ADD_FAILURE() << "an action on the user-interface thread threw";
    }
    job.state = UiJob::kOver;
}

LRESULT CALLBACK handProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunHere) {
        std::unique_ptr<std::shared_ptr<UiJob>> const carried(
            reinterpret_cast<std::shared_ptr<UiJob>*>(lParam));
        runJob(**carried);
        return 0;
    }
    if (message == kPostedMark) {
        ++postedMarks;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Made by the first play, on the user-interface thread.
HWND uiThreadHand() {
    static HWND const hand = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = handProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TessivaneRobotHand";
        RegisterClassW(&windowClass);
        return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, windowClass.hInstance, nullptr);
    }();
    return hand;
}

// Closes what a failed script left open: dialogs and message boxes, and menus.
void cancelEverything() {
    if (!windowsTitled(nullptr, "#32768").empty()) {
        pressKey(VK_ESCAPE);
    }
    for (HWND dialog : windowsTitled(nullptr, "#32770")) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    // A modal loop whose window has gone ends only when a message comes.
    PostMessageW(uiThreadHand(), WM_NULL, 0, 0);
}

void pumpUntil(std::atomic<bool> const& done, HACCEL accelerators) {
    for (;;) {
        bool const last = done.load();  // one more round after the script ended, for what it posted
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (last) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

}  // namespace

void playWhile(std::function<void()> const& onUiThread, std::function<void()> const& script) {
    uiThreadHand();
    std::atomic<bool> scriptDone{false};
    std::atomic<bool> uiDone{false};
    std::thread player([&] {
        script();
        scriptDone = true;
        // Until this thread's user-interface work is over, whatever the script left open (after a
        // failure, say) is cancelled again and again, so nothing waits for a user who is gone.
        while (!uiDone.load()) {
            cancelEverything();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    onUiThread();
    HACCEL const accelerators =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_TESSIVANE));
    pumpUntil(scriptDone, accelerators);
    uiDone = true;
    player.join();
}

void play(std::function<void()> const& script) {
    playWhile([] {}, script);
}

std::vector<HWND> windowsTitled(char const* title, char const* className) {
    WindowQuery query{title, className, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

bool waitUntil(std::function<bool()> const& condition, int milliseconds) {
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return true;
}

HWND waitForWindow(char const* title, char const* className, int milliseconds) {
    HWND found = nullptr;
    waitUntil([&] {
        std::vector<HWND> const windows = windowsTitled(title, className);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
    }, milliseconds);
    return found;
}

HWND waitForMenu(int milliseconds) { return waitForWindow(nullptr, "#32768", milliseconds); }

bool waitUntilGone(HWND window, int milliseconds) {
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, milliseconds);
}

bool byUiThread(std::function<void()> const& action, int milliseconds) {
    auto const job = std::make_shared<UiJob>(&action);
    // The message's own reference, freed by the hand whenever it gets the message (leaked when
    // the message is never delivered).
    auto const carried = reinterpret_cast<LPARAM>(new std::shared_ptr<UiJob>(job));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(uiThreadHand(), kRunHere, 0, carried, SMTO_NORMAL,
                        static_cast<UINT>(milliseconds), &result);
    int waiting = UiJob::kWaiting;
    if (job->state.compare_exchange_strong(waiting, UiJob::kDropped)) {
        ADD_FAILURE() << "the user-interface thread did not answer";
        return false;
    }
    while (job->state.load() != UiJob::kOver) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return true;
}

void moveCursor(POINT screenPoint) {
    byUiThread([=] { SetCursorPos(screenPoint.x, screenPoint.y); });
}

void click(POINT screenPoint) {
    byUiThread([=] { clickAt(screenPoint); });
}

HWND focusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

std::vector<TreeItem> treeItems(HWND tree) {
    std::vector<TreeItem> items;
    auto handle = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (handle != nullptr) {
        TreeItem entry;
        entry.handle = handle;
        char text[260] = {};
        TVITEMA item = {};
        item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_HANDLE;
        item.hItem = handle;
        item.stateMask = TVIS_STATEIMAGEMASK;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        entry.text = text;
        entry.stateImage = (item.state & TVIS_STATEIMAGEMASK) >> 12;
        entry.param = item.lParam;
        wchar_t wide[260] = {};
        TVITEMW wideItem = {};
        wideItem.mask = TVIF_TEXT | TVIF_HANDLE;
        wideItem.hItem = handle;
        wideItem.pszText = wide;
        wideItem.cchTextMax = 260;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&wideItem));
        entry.wideText = wide;
        items.push_back(entry);
        handle = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(handle)));
    }
    return items;
}

TreeItem const* findItem(std::vector<TreeItem> const& items, std::string const& text) {
    for (TreeItem const& item : items) {
        if (item.text == text) {
            return &item;
        }
    }
    return nullptr;
}


void postClick(HWND window, POINT screenPoint, int clicks) {
    SetCursorPos(screenPoint.x, screenPoint.y);
    POINT client = screenPoint;
    ScreenToClient(window, &client);
    LPARAM const where = MAKELPARAM(client.x, client.y);
    for (int i = 0; i < clicks; ++i) {
        PostMessageW(window, i == 0 ? WM_LBUTTONDOWN : WM_LBUTTONDBLCLK, MK_LBUTTON, where);
        PostMessageW(window, WM_LBUTTONUP, 0, where);
    }
}

namespace {

// Returns once the user-interface thread has handled what was posted to it so far.
void waitForPostedMessages() {
    int const before = postedMarks.load();
    PostMessageW(uiThreadHand(), kPostedMark, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return postedMarks.load() > before; }))
        << "the user-interface thread did not handle its posted messages";
}

}  // namespace

UINT clickCheckBox(HWND tree, std::string const& text, int clicks) {
    std::vector<TreeItem> const items = treeItems(tree);
    TreeItem const* item = findItem(items, text);
    EXPECT_NE(item, nullptr) << text;
    if (item == nullptr) {
        return 0;
    }
    UINT const before = item->stateImage;
    HTREEITEM const handle = item->handle;
    POINT const box = checkBoxPoint(tree, handle);
    int const rowHeight = static_cast<int>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
    byUiThread([&] {
        postClick(tree, box, clicks);
        // Handled late: the cursor has moved on to the next row by then.
        SetCursorPos(box.x, box.y + rowHeight);
    });
    waitForPostedMessages();
    UINT after = 0;
    for (TreeItem const& now : treeItems(tree)) {
        if (now.handle == handle) after = now.stateImage;
    }
    bool const toggled = after != before;
    EXPECT_EQ(toggled, clicks % 2 == 1)
        << "the box of " << text << " after " << clicks << " click(s)";
    return toggled == (clicks % 2 == 1) ? before : 0;
}

bool hasClientSize(HWND dialog, int width, int height) {
    RECT client = {};
    GetClientRect(dialog, &client);
    RECT expected = {0, 0, width, height};
    MapDialogRect(dialog, &expected);
    return client.right == expected.right && client.bottom == expected.bottom;
}

std::vector<MenuItem> menuItems(HWND menuWindow) {
    std::vector<MenuItem> items;
    auto const menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    int const count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MenuItem item;
        char text[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        item.text = text;
        item.id = GetMenuItemID(menu, i);
        item.flags = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) &
                     (MF_GRAYED | MF_CHECKED | MF_SEPARATOR);
        items.push_back(item);
    }
    return items;
}

namespace {

BOOL CALLBACK collectStatic(HWND child, LPARAM lParam) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    bool const isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    if (std::string(className) == "Static" && !isIcon) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof text);
        reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
    }
    return TRUE;
}

}  // namespace

std::vector<std::string> staticTexts(HWND window) {
    std::vector<std::string> texts;
    EnumChildWindows(window, collectStatic, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

}  // namespace robot
