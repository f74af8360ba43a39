// Real input, as a person makes it: the cursor moves and the button goes down and up, keys are
// pressed and released; and the points on a tree item where a click lands on its check box or
// its text. Shared by the UI tests' robot and the UI harness; no test framework here.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace robot {

// Call it on the thread whose windows lie under the point (the UI tests' robot has its own
// click for that reason).
void clickAt(POINT screenPoint);
void pressKey(WORD virtualKey);

// Screen points on an item: inside its check box, and on its text.
POINT checkBoxPoint(HWND tree, HTREEITEM item);
POINT textPoint(HWND tree, HTREEITEM item);

}  // namespace robot
