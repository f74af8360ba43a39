#pragma once
// The "defaultPorts" document: the JSON text that lists the outputs the user chose, as pure
// functions over the stored text. The registry side lives in DefaultPortsStore.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Largest stored value that can be read back, terminator included. A text is only ever written
// when it fits, so that what we store can always be loaded again.
inline constexpr std::size_t kDefaultPortsMaxBytes = 8192;

// The names that a stored text lists, first to last, duplicates included. A text that does not
// parse, or does not have the document's shape, lists none; array elements that are not strings
// are skipped. Only running out of memory throws (std::bad_alloc), also when it stopped the parse.
std::vector<std::string> storedPortNames(char const* storedText);

// What a stored text is, for reports: the document (its names are storedPortNames'), JSON of
// another shape (which adding and removing leave alone), or not JSON at all.
enum class StoredTextKind { Document, OtherJson, NotJson };
StoredTextKind storedTextKind(char const* storedText);

// The text to store after the user ticked `name`, or nothing when the stored value must stay as it
// is (the name is already there, the document has a shape we do not understand, the result would
// not fit, or memory ran out: only text that is not JSON at all is replaced by a fresh document).
// `storedText` is null when no value is stored.
std::optional<std::string> textAfterAddingPort(char const* storedText, char const* name);

// The text to store after the user unticked `name`, or nothing when the stored value must stay
// as it is. Every element equal to `name` goes; `storedText` is null when no value is stored.
std::optional<std::string> textAfterRemovingPort(char const* storedText, char const* name);
