#pragma once
// Reading the "defaultPorts" value with the difference between "nothing stored" and "stored but
// too long to read", which adding a name needs to keep the user's names.

#include "settings/DefaultPortsDocument.h"

enum class StoredValue {
    Text,     // the buffer holds the stored text
    Absent,   // no key, no value, or an empty one
    TooLong,  // a value exists but does not fit the buffer
};

StoredValue readDefaultPortsValue(char (&buffer)[kDefaultPortsMaxBytes]);
