#include "tests/win32/ui/RealInput.h"

namespace robot {

void clickAt(POINT screenPoint) {
    SetCursorPos(screenPoint.x, screenPoint.y);
    INPUT buttons[2] = {};
    buttons[0].type = buttons[1].type = INPUT_MOUSE;
    buttons[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    buttons[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, buttons, sizeof(INPUT));
}

void pressKey(WORD virtualKey) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

namespace {

// The first point left of the item's text, on its middle line, that the tree's own hit test
// puts on the state icon (the check box).
POINT pointWith(HWND tree, HTREEITEM item, UINT wantedFlags) {
    // TVM_GETITEMRECT takes the item in the rectangle's place.
    union {
        RECT rect;
        HTREEITEM item;
    } in = {};
    in.item = item;
    SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&in.rect));
    RECT const textRect = in.rect;
    POINT point = {(textRect.left + textRect.right) / 2, (textRect.top + textRect.bottom) / 2};
    if (wantedFlags == TVHT_ONITEMSTATEICON) {
        for (int x = textRect.left - 1; x >= 0; --x) {
            TVHITTESTINFO hit = {};
            hit.pt = {x, point.y};
            SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            if (hit.hItem == item && (hit.flags & TVHT_ONITEMSTATEICON)) {
                point.x = x - 3;  // well inside the box, away from its right edge
                break;
            }
        }
    }
    ClientToScreen(tree, &point);
    return point;
}

}  // namespace

POINT checkBoxPoint(HWND tree, HTREEITEM item) { return pointWith(tree, item, TVHT_ONITEMSTATEICON); }
POINT textPoint(HWND tree, HTREEITEM item) { return pointWith(tree, item, TVHT_ONITEMLABEL); }

}  // namespace robot
