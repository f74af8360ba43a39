#pragma once
// A stored list of names: a JSON object whose member (looked up in any letter case) is an array
// of strings, such as {"ports":[...]} or {"inputs":[...]}. Pure functions over the stored text;
// the registry side lives in StoredNameList.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Largest stored value that can be read back, terminator included. A text is only ever written
// when it fits, so that what we store can always be loaded again.
inline constexpr std::size_t kStoredListMaxBytes = 8192;

// The names that a stored text lists, first to last, duplicates included. A text that does not
// parse, or does not have the document's shape, lists none; array elements that are not strings
// are skipped. Only running out of memory throws (std::bad_alloc), also when it stopped the parse.
std::vector<std::string> storedNames(char const* storedText, char const* member);

// What a stored text is, for reports: the document (its names are storedNames'), JSON of another
// shape (which adding and removing leave alone), or not JSON at all.
enum class StoredTextKind { Document, OtherJson, NotJson };
StoredTextKind storedTextKind(char const* storedText, char const* member);

// The text to store after the user ticked `name`, or nothing when the stored value must stay as it
// is (the name is already there, the document has a shape we do not understand, the result would
// not fit, or memory ran out: only text that is not JSON at all is replaced by a fresh document).
// `storedText` is null when no value is stored.
std::optional<std::string> textAfterAddingName(char const* storedText, char const* member,
                                               char const* name);

// The text to store after the user unticked `name`, or nothing when the stored value must stay
// as it is. Every element equal to `name` goes; `storedText` is null when no value is stored.
std::optional<std::string> textAfterRemovingName(char const* storedText, char const* member,
                                                 char const* name);
