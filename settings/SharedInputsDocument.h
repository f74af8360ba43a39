#pragma once
// The "sharedInputs" document: {"inputs":[...]}, the inputs the user shares, with the same rules as
// the chosen outputs' document.

#include "settings/NameListDocument.h"

inline constexpr char kInputsMember[] = "inputs";
