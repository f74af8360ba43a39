#pragma once
// Reading and writing one text value of the settings key, telling "nothing stored" apart from
// "stored but too long to read", which adding a name needs to keep the user's names.

#include "settings/NameListDocument.h"

enum class StoredValue {
    Text,     // the buffer holds the stored text
    Absent,   // no key, no value, or an empty one
    TooLong,  // a value exists but does not fit the buffer
};

StoredValue readSettingsValue(char const* valueName, char (&buffer)[kStoredListMaxBytes]);

// Stores `text` as the value (REG_SZ, terminator included), creating the settings key if needed.
// A text that could not be read back (over the limit) is not written.
void writeSettingsValue(char const* valueName, char const* text);

// The chosen outputs' value, "defaultPorts".
inline constexpr char kDefaultPortsValueName[] = "defaultPorts";
inline StoredValue readDefaultPortsValue(char (&buffer)[kStoredListMaxBytes]) {
    return readSettingsValue(kDefaultPortsValueName, buffer);
}

// The shared inputs' value, "sharedInputs".
inline constexpr char kSharedInputsValueName[] = "sharedInputs";
inline StoredValue readSharedInputsValue(char (&buffer)[kStoredListMaxBytes]) {
    return readSettingsValue(kSharedInputsValueName, buffer);
}
