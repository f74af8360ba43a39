// Cutting UTF-8 text to a number of bytes without splitting a character.
#pragma once

#include <cstddef>
#include <string>

// The largest length not above `cut` that does not end inside a well-formed multi-byte character
// of `text`. Bytes that do not form a well-formed character are cut like any other byte.
std::size_t cutAtCharacter(std::string const& text, std::size_t cut);
