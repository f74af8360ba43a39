#include "engine/OutputNames.h"

#include <cstdio>
#include <cstring>

#include "engine/EngineTexts.h"

bool hasSuffix(char const* text, char const* suffix) {
    if (text == nullptr || suffix == nullptr) {
        return false;
    }
    std::size_t const textLength = std::strlen(text);
    std::size_t const suffixLength = std::strlen(suffix);
    return textLength >= suffixLength &&
           std::memcmp(text + textLength - suffixLength, suffix, suffixLength) == 0;
}

bool isOwnPortName(std::string const& name) {
    return hasSuffix(name.c_str(), kMidiPortSuffix) || hasSuffix(name.c_str(), kSysExPortSuffix);
}

std::string makeUniqueName(std::string const& name, unsigned k) {
    unsigned const kLargestNumber = 99;
    if (k == 0 || k + 1 > kLargestNumber) {
        return name;
    }
    // The cut keeps every suffixed name within 31 bytes, the longest port name base.
    std::size_t const cut = (k + 1 <= 9) ? 27 : 26;
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, " (%u)", k + 1);
    std::string unique = name.substr(0, cut);
    unique += suffix;
    return unique;
}
