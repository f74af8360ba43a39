// Arbitrary device names through the naming rules: unique names of repeated devices and the names
// of the virtual ports. Input: one byte that picks a repeat count, then the device name (up to its
// first NUL, as the engine holds names). What must hold for every name:
// - a unique name with a number, and every port name, has at most 31 bytes;
// - a cut never splits a well-formed UTF-8 character, and drops no more than that character;
// - names that fit are not changed;
// - the two ports of an entry never share a name, and repeats of one name get distinct port names.

#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortName.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

void require(bool condition, char const* what, std::string const& name) {
    if (!condition) {
        std::fprintf(stderr, "naming: %s (name of %zu bytes)\n", what, name.size());
        std::abort();
    }
}

bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Whether cutting `text` to `cut` bytes ends inside a well-formed multi-byte character.
bool splitsCharacter(std::string const& text, std::size_t cut) {
    if (cut == 0 || cut >= text.size() || !continuation(static_cast<unsigned char>(text[cut]))) {
        return false;
    }
    std::size_t lead = cut - 1;
    while (lead > 0 && cut - lead < 4 && continuation(static_cast<unsigned char>(text[lead]))) {
        --lead;
    }
    unsigned char const first = static_cast<unsigned char>(text[lead]);
    std::size_t const length = first >= 0xF0 && first <= 0xF4   ? 4
                               : first >= 0xE0 && first <= 0xEF ? 3
                               : first >= 0xC2 && first <= 0xDF ? 2
                                                                : 0;
    if (length == 0 || lead + length <= cut || lead + length > text.size()) {
        return false;
    }
    for (std::size_t i = lead + 1; i < lead + length; ++i) {
        if (!continuation(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

bool startsWith(std::string const& text, std::string const& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}
bool endsWith(std::string const& text, std::string const& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// `kept` is `source` cut to at most `room` bytes, as short as the character rule allows.
void checkCut(std::string const& source, std::string const& kept, std::size_t room, char const* what) {
    require(startsWith(source, kept), what, source);
    std::size_t const wanted = source.size() < room ? source.size() : room;
    require(kept.size() <= wanted && kept.size() + 3 >= wanted, what, source);
    require(!splitsCharacter(source, kept.size()), what, source);
    require(kept.size() == wanted || splitsCharacter(source, wanted), what, source);
}

void checkUniqueName(std::string const& name, unsigned k) {
    std::string const unique = makeUniqueName(name, k);
    if (k == 0 || k >= 99) {
        require(unique == name, "the first and the hundredth on keep the name", name);
        return;
    }
    std::string const number = " (" + std::to_string(k + 1) + ")";
    require(endsWith(unique, number), "unique name without its number", name);
    require(unique.size() <= kLongestPortName, "unique name longer than 31 bytes", name);
    require(uniqueNumberLength(unique) == number.size(), "number not recognised", name);
    checkCut(name, unique.substr(0, unique.size() - number.size()), k + 1 <= 9 ? 27 : 26,
             "unique name cut");
}

std::string portName(std::string const& name, char const* suffix) {
    std::string const port = portNameUtf8(name, suffix);
    std::size_t const limit = kLongestPortName - std::strlen(suffix);
    require(port.size() <= kLongestPortName, "port name longer than 31 bytes", name);
    require(endsWith(port, suffix), "port name without its suffix", name);
    std::string const base = port.substr(0, port.size() - std::strlen(suffix));
    if (name.size() <= limit) {
        require(base == name, "a name that fits was changed", name);
        return port;
    }
    std::size_t const number = uniqueNumberLength(name);
    if (number != 0 && number < limit) {
        std::string const end = name.substr(name.size() - number);
        require(endsWith(base, end), "the repeat number was cut off", name);
        checkCut(name.substr(0, name.size() - number), base.substr(0, base.size() - number),
                 limit - number, "port name cut before the number");
    } else {
        checkCut(name, base, limit, "port name cut");
    }
    return port;
}

void checkPortNames(std::string const& name) {
    require(makePortName(name, kMidiPortSuffix) != makePortName(name, kSysExPortSuffix),
            "the two ports of an entry share a name", name);
    require(makePortName(name, kLoopbackInSuffix) != makePortName(name, kLoopbackOutSuffix),
            "the loopback's two ports share a name", name);
    for (char const* suffix : {kMidiPortSuffix, kSysExPortSuffix, kLoopbackInSuffix, kLoopbackOutSuffix}) {
        portName(name, suffix);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    unsigned const picked = data[0];
    auto const* text = reinterpret_cast<char const*>(data + 1);
    std::string const name(text, strnlen(text, size - 1));

    checkPortNames(name);
    for (unsigned k : {0u, 1u, 8u, 9u, 98u, 99u, picked}) {
        checkUniqueName(name, k);
        checkPortNames(makeUniqueName(name, k));
    }
    // Every repeat of one name gets port names of its own.
    std::set<std::string> midiPorts, sysexPorts;
    for (unsigned k = 1; k < 99; ++k) {
        std::string const unique = makeUniqueName(name, k);
        require(midiPorts.insert(portNameUtf8(unique, kMidiPortSuffix)).second,
                "two repeats share a MIDI port name", name);
        require(sysexPorts.insert(portNameUtf8(unique, kSysExPortSuffix)).second,
                "two repeats share a SysEx port name", name);
    }
    return 0;
}
