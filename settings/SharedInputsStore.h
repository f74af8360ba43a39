#pragma once
// The inputs the user shares, kept in the "sharedInputs" value of the settings key as
// {"inputs":["<name>", ...]}, by the same rules as the chosen outputs. Every call reads the
// registry afresh; failures are silent.

#include <string>
#include <vector>

// The engine's shared-inputs hook: appends the stored names to `names`.
void loadSharedInputs(std::vector<std::string>* names);

// Adds `name` at the end of the stored list unless it is already there.
void addSharedInput(char const* name);

// Removes every occurrence of `name` from the stored list.
void removeSharedInput(char const* name);
