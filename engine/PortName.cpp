#include "engine/PortName.h"

#include <cstring>

namespace {

bool isContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the sequence that a lead byte announces; 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Moves a cut back to the start of a character that the cut would split.
std::size_t cutAtCharacter(std::string const& text, std::size_t cut) {
    if (cut >= text.size()) {
        return text.size();
    }
    std::size_t start = cut;
    while (start > 0 && cut - start < 3 && isContinuationByte(static_cast<unsigned char>(text[start]))) {
        --start;
    }
    if (start == cut) {
        return cut;  // the cut falls between characters
    }
    std::size_t const length = sequenceLength(static_cast<unsigned char>(text[start]));
    return (length != 0 && start + length > cut) ? start : cut;
}

}  // namespace

std::string portNameUtf8(std::string const& name, char const* suffix) {
    std::size_t const limit = kLongestPortName - std::strlen(suffix);
    std::string result = name.substr(0, cutAtCharacter(name, limit));
    result += suffix;
    std::size_t const nul = result.find('\0');
    if (nul != std::string::npos) {
        result.resize(nul);
    }
    return result;
}

std::u16string makePortName(std::string const& name, char const* suffix) {
    return utf8ToUtf16(portNameUtf8(name, suffix));
}
