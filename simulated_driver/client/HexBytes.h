// Hex text for MIDI bytes, both ways, as the client reads and prints them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessivane {

// Each argument holds one or more two-digit hex bytes ("90", "3c7f"); nothing if any is not.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::vector<std::string> const& arguments);

// "90 3C 7F"
std::string formatHexBytes(std::uint8_t const* bytes, std::size_t length);

}  // namespace tessivane
