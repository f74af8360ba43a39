#include "simulated_driver/client/HexBytes.h"

namespace tessivane {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::vector<std::string> const& arguments) {
    std::vector<std::uint8_t> bytes;
    for (std::string const& argument : arguments) {
        if (argument.empty() || argument.size() % 2 != 0) return std::nullopt;
        for (std::size_t i = 0; i < argument.size(); i += 2) {
            int const high = hexDigit(argument[i]);
            int const low = hexDigit(argument[i + 1]);
            if (high < 0 || low < 0) return std::nullopt;
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
    }
    return bytes;
}

std::string formatHexBytes(std::uint8_t const* bytes, std::size_t length) {
    static char const digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace tessivane
