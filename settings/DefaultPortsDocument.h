#pragma once
// The "defaultPorts" document: {"ports":[...]}, the outputs the user chose, as a stored name list.

#include "settings/NameListDocument.h"

inline constexpr char kPortsMember[] = "ports";
inline constexpr std::size_t kDefaultPortsMaxBytes = kStoredListMaxBytes;

inline std::vector<std::string> storedPortNames(char const* storedText) {
    return storedNames(storedText, kPortsMember);
}
inline StoredTextKind storedTextKind(char const* storedText) {
    return storedTextKind(storedText, kPortsMember);
}
inline std::optional<std::string> textAfterAddingPort(char const* storedText, char const* name) {
    return textAfterAddingName(storedText, kPortsMember, name);
}
inline std::optional<std::string> textAfterRemovingPort(char const* storedText, char const* name) {
    return textAfterRemovingName(storedText, kPortsMember, name);
}
