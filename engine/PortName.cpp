#include "engine/PortName.h"

#include <cstring>

#include "engine/OutputNames.h"
#include "engine/Utf8Cut.h"

std::string portNameUtf8(std::string const& name, char const* suffix) {
    std::size_t const limit = kLongestPortName - std::strlen(suffix);
    std::string result;
    std::size_t const number = uniqueNumberLength(name);
    if (name.size() > limit && number != 0 && number < limit) {
        // "Name (2)" too long: the cut goes before the number, which keeps the port names of
        // repeated devices apart.
        std::string const head = name.substr(0, name.size() - number);
        result = head.substr(0, cutAtCharacter(head, limit - number));
        result.append(name, name.size() - number, number);
    } else {
        result = name.substr(0, cutAtCharacter(name, limit));
    }
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
