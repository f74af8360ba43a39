// The Configure dialog's tree of outputs: a tree view made at run time, with check boxes.
#pragma once

#include <windows.h>

#include <cstddef>

#include "engine/PublishedOutput.h"

// Creates the tree inside `dialog` (control id 11), with its check boxes switched on before any
// item exists; null when it cannot be created.
HWND createOutputTree(HWND dialog);

// Replaces the tree's items with the records, in order, leaving out the program's own ports. The
// state image is 2 (checked) for an enabled output, 1 otherwise; the item's lParam is the id.
// Stops at the first insertion that fails. Returns TRUE.
BOOL fillOutputTree(HWND tree, PublishedOutputInfo const* records, std::size_t count);
