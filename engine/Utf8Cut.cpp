#include "engine/Utf8Cut.h"

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

}  // namespace

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
    if (length == 0 || start + length <= cut || start + length > text.size()) {
        return cut;  // no well-formed character is split here
    }
    for (std::size_t i = start + 1; i < start + length; ++i) {
        if (!isContinuationByte(static_cast<unsigned char>(text[i]))) {
            return cut;  // a broken sequence: nothing whole to keep together
        }
    }
    return start;
}
