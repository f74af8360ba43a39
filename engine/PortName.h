// Names of the virtual ports: the output's name, cut so that name + suffix fits in 31 bytes, then
// converted to UTF-16 for the driver.
#pragma once

#include <string>

std::size_t const kLongestPortName = 31;

// The UTF-8 name of the port, before conversion: the name and the suffix, the name cut so that the
// whole fits in 31 bytes. A cut that would fall inside a multi-byte character drops that character
// rather than hand the driver a broken one. A name that ends in a repeat number " (2)".." (99)"
// is cut before the number, so that the number survives.
std::string portNameUtf8(std::string const& name, char const* suffix);

// portNameUtf8 converted to UTF-16, up to its first NUL.
std::u16string makePortName(std::string const& name, char const* suffix);

// UTF-8 to UTF-16; each invalid sequence becomes U+FFFD, as the system converter does.
std::u16string utf8ToUtf16(std::string const& text);
