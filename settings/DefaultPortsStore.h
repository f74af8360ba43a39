#pragma once
// The user's chosen outputs, kept in the "defaultPorts" value of the settings key. Every call
// reads the registry afresh; failures are silent.

#include <string>
#include <vector>

// Reads the stored text into `buffer`. True when a value of more than one byte was read; the
// buffer then holds a NUL-terminated text.
bool readDefaultPortsText(char (&buffer)[8192]);

// Stores `text` as the value (REG_SZ, terminator included), creating the settings key if needed.
void writeDefaultPortsText(char const* text);

// The engine's default-ports hook: appends the stored names to `names`.
void loadDefaultPorts(std::vector<std::string>* names);

// Adds `name` at the end of the stored list unless it is already there.
void addDefaultPort(char const* name);

// Removes every occurrence of `name` from the stored list.
void removeDefaultPort(char const* name);
