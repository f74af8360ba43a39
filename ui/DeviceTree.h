// The trees of devices with check boxes that the Configure and Share inputs dialogs show: a tree
// view made at run time, its check boxes switched on before any item exists.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "engine/PublishedOutput.h"

// Creates a tree inside `dialog` over `bounds` (dialog units), with control id `controlId`; null
// when it cannot be created.
HWND createDeviceTree(HWND dialog, RECT bounds, int controlId, char const* text);

// Replaces the tree's items with the records, in order, leaving out names `skip` accepts (null:
// none). The state image is 2 (checked) for an enabled record, 1 otherwise; the item's lParam is
// the id. Stops at the first insertion that fails.
void fillDeviceTree(HWND tree, PublishedOutputInfo const* records, std::size_t count,
                    bool (*skip)(std::string const& name));

// The Configure dialog's tree of outputs (control 11, at 10, 20, 280 x 92).
HWND createOutputTree(HWND dialog);

// fillDeviceTree leaving out the program's own ports. Returns TRUE.
BOOL fillOutputTree(HWND tree, PublishedOutputInfo const* records, std::size_t count);
