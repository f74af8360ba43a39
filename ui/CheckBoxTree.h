// A dialog's tree of check boxes, one item per device, as the Configure dialog has: what a click on
// a box means and when the tree may be rebuilt. Each dialog names its tree, what a click does and
// how the tree is refilled; the rest is shared here.
//
// - A click is read where its own message was (GetMessagePos), not where the cursor is now: the
//   tree toggles the item under the press, and the cursor may have moved on by the time the notice
//   is handled.
// - The item is read before the tree toggles its box: its text, its id and its box's state.
// - A double-click on a box counts as one more click. The tree toggles the box again after its
//   double-click notice, as a plain check box does; handling that notice as a click keeps the box
//   and the stored choice in step.
// - The tree is not rebuilt while a click is under way: the rebuild would free the item that the
//   click then toggles. A timer of the dialog brings the rebuild once the click is over.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The clicked item, as it was before the tree toggled its box.
struct CheckBoxClick {
    std::string text;
    std::int32_t id = 0;    // the low 32 bits of the item's lParam, signed; never negative here
    bool ticks = false;     // the box was clear (state image 1), so the click ticks it
};

struct CheckBoxTree {
    int controlId;
    // Refills the tree from what it lists; throws nothing.
    void (*fill)(HWND tree);
    // The request and the stored choice for a click on a box. May throw (out of memory).
    void (*clicked)(CheckBoxClick const& click);
};

// The dialog's timer that brings a rebuild held back by a click.
UINT_PTR const kCheckBoxTreeRebuildTimer = 1;

// WM_NOTIFY: a click or double-click on a box, and the selection, which is undone (the tree is a
// list of boxes). Returns the dialog procedure's result: FALSE for what it does not handle.
INT_PTR onCheckBoxTreeNotify(CheckBoxTree const& tree, NMHDR const& header);

// The list the tree shows has changed, or the rebuild timer fired: rebuilds the tree now, or once
// the click under way is over. Returns TRUE.
INT_PTR rebuildCheckBoxTree(CheckBoxTree const& tree, HWND dialog);
