#pragma once
// A list of names kept in one value of the settings key ({"<member>":[...]}): read afresh by every
// call, never a name lost (a value too long to read is left alone), never a write made partially
// (a value of another shape is left alone, a text that would not fit is not written). Failures are
// silent.

#include <string>
#include <vector>

struct StoredNameList {
    char const* valueName;  // "defaultPorts", "sharedInputs"
    char const* member;     // "ports", "inputs"
};

// Appends the stored names to `names`, all or none; never throws.
void loadStoredNames(StoredNameList list, std::vector<std::string>* names);

// Adds `name` at the end of the stored list unless it is already there.
void addStoredName(StoredNameList list, char const* name);

// Removes every occurrence of `name` from the stored list.
void removeStoredName(StoredNameList list, char const* name);
