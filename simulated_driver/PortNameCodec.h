// Port names as they travel between processes: UTF-8 on command lines and in the environment,
// UTF-16 in the driver, and hex-encoded inside pipe names (which cannot hold every character).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessivane {

// Invalid sequences (lone surrogates, bad UTF-8) become U+FFFD rather than vanishing.
std::string utf8FromUtf16(std::u16string const& text);
std::u16string utf16FromUtf8(std::string const& text);

// \\.\pipe\tessivane-sim-<upper-case hex of the UTF-8 name>
std::u16string pipeNameForPort(std::u16string const& portName);
// The port name back from the last component of a pipe name; nothing for other pipes.
std::optional<std::u16string> portNameFromPipeComponent(std::u16string const& component);

// The refusal list of the environment: names separated by '|', empty names ignored.
std::vector<std::u16string> splitRefusedNames(std::string const& utf8List);

}  // namespace tessivane
