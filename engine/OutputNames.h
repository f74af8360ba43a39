// Naming rules of the output scan: which devices are the program's own ports, and how repeated
// device names are made unique. All lengths count bytes of UTF-8 text.
#pragma once

#include <string>

// True when text ends with suffix (a text equal to the suffix counts); false if either is null.
bool hasSuffix(char const* text, char const* suffix);

// The name published for the (k+1)-th device called `name` in device-index order: unchanged for
// the first; cut to 27 bytes + " (2)".." (9)"; cut to 26 bytes + " (10)".." (99)"; unchanged from
// the hundredth on.
std::string makeUniqueName(std::string const& name, unsigned k);

// The same text as the port names the program itself publishes (" - MIDI", " - SysEx").
bool isOwnPortName(std::string const& name);
