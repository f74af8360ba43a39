// Naming rules of the output scan: which devices are the program's own ports, and how repeated
// device names are made unique. All lengths count bytes of UTF-8 text.
#pragma once

#include <string>

// True when text ends with suffix (a text equal to the suffix counts); false if either is null.
bool hasSuffix(char const* text, char const* suffix);

// The name published for the (k+1)-th device called `name` in device-index order: unchanged for
// the first; cut to 27 bytes + " (2)".." (9)"; cut to 26 bytes + " (10)".." (99)"; unchanged from
// the hundredth on. A cut that would split a multi-byte character goes before that character.
std::string makeUniqueName(std::string const& name, unsigned k);

// Length of the repeat number " (2)".." (99)" that ends `name` (as makeUniqueName appends it), or
// 0 when the name does not end in one.
std::size_t uniqueNumberLength(std::string const& name);

// The same text as the port names the program itself publishes (" - MIDI", " - SysEx").
bool isOwnPortName(std::string const& name);

// The same text as a shared input's port (" - In"), which Windows lists among the inputs.
bool isOwnInputPortName(std::string const& name);
