#include "engine/OutputNames.h"

#include <cstdio>
#include <cstring>

#include "engine/EngineTexts.h"
#include "engine/Utf8Cut.h"

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

bool isOwnInputPortName(std::string const& name) {
    return hasSuffix(name.c_str(), kInputPortSuffix);
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
    std::string unique = name.substr(0, cutAtCharacter(name, cut));
    unique += suffix;
    return unique;
}

std::size_t uniqueNumberLength(std::string const& name) {
    // " (" digits ")" with a number from 2 to 99 written without a leading zero.
    std::size_t const size = name.size();
    if (size < 4 || name[size - 1] != ')') {
        return 0;
    }
    std::size_t digits = 0;
    while (digits < 3 && digits + 1 < size && name[size - 2 - digits] >= '0' &&
           name[size - 2 - digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 2 || size < digits + 3) {
        return 0;
    }
    std::size_t const open = size - 2 - digits;
    if (name[open] != '(' || name[open - 1] != ' ' || name[open + 1] == '0') {
        return 0;
    }
    if (digits == 1 && name[open + 1] == '1') {
        return 0;  // " (1)" is never appended
    }
    return digits + 3;
}
