#include "ui/CheckBoxTree.h"

#include <commctrl.h>
#include <windowsx.h>

#include <exception>

namespace {

int const kItemTextSize = 260;
UINT const kRebuildPollMs = USER_TIMER_MINIMUM;

// Whether a click on the tree is under way. Windows' tree view may run a mouse-tracking loop
// between the press on an item and its NM_CLICK, and that loop dispatches posted messages.
bool clickUnderWay(HWND tree) {
    if (GetCapture() == tree) {
        return true;
    }
    // The button that clicks (the right one when the buttons are swapped), as it is now.
    int const button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    if ((GetAsyncKeyState(button) & 0x8000) == 0) {
        return false;
    }
    POINT cursor = {};
    return GetCursorPos(&cursor) && WindowFromPoint(cursor) == tree;
}

// The item whose check box lies under the point of the message being handled, or null.
HTREEITEM boxUnderMessage(HWND tree) {
    DWORD const position = GetMessagePos();
    POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (!ScreenToClient(tree, &point)) {
        return nullptr;
    }
    TVHITTESTINFO hit = {};
    hit.pt = point;
    SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    return (hit.flags & TVHT_ONITEMSTATEICON) != 0 ? hit.hItem : nullptr;
}

// Only a click on an item's check box does something. The box's state read here is the one
// before the click: the tree toggles it once the notice is handled (its result stays 0).
INT_PTR onBoxClick(CheckBoxTree const& config, HWND tree) {
    HTREEITEM const box = boxUnderMessage(tree);
    if (box == nullptr) {
        return FALSE;
    }
    char text[kItemTextSize] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_HANDLE;
    item.hItem = box;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.pszText = text;
    item.cchTextMax = kItemTextSize;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return FALSE;
    }
    text[kItemTextSize - 1] = '\0';
    auto const id = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.lParam));
    if (id < 0 || GetWindowLongPtrA(tree, GWLP_ID) != config.controlId) {
        return TRUE;
    }
    CheckBoxClick click;
    click.text = text;
    click.id = id;
    click.ticks = (item.state & TVIS_STATEIMAGEMASK) >> 12 == 1;
    config.clicked(click);
    return TRUE;
}

}  // namespace

INT_PTR onCheckBoxTreeNotify(CheckBoxTree const& config, NMHDR const& header) {
    HWND const tree = header.hwndFrom;
    switch (header.code) {
    case TVN_SELCHANGEDA:
        // No item stays selected: the tree is a list of boxes, not a selection.
        if (tree != nullptr) {
            SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, 0);
        }
        return TRUE;
    case NM_CLICK:
    case NM_DBLCLK:
        if (tree == nullptr) {
            return FALSE;
        }
        try {
            return onBoxClick(config, tree);
        } catch (std::exception const&) {
            return TRUE;  // out of memory for the click's text: nothing was queued or stored
        }
    default:
        return FALSE;
    }
}

INT_PTR rebuildCheckBoxTree(CheckBoxTree const& config, HWND dialog) {
    HWND const tree = GetDlgItem(dialog, config.controlId);
    if (tree == nullptr) {
        return TRUE;
    }
    // Every notice meanwhile is served by the one rebuild that the timer brings, which reads the
    // list as it then stands. Without a timer (the desktop is out of resources) this notice goes
    // unserved rather than rebuild under the click; the next one rebuilds.
    if (clickUnderWay(tree)) {
        SetTimer(dialog, kCheckBoxTreeRebuildTimer, kRebuildPollMs, nullptr);
        return TRUE;
    }
    KillTimer(dialog, kCheckBoxTreeRebuildTimer);
    config.fill(tree);
    UpdateWindow(tree);
    return TRUE;
}
