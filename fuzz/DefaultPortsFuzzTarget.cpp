// Arbitrary stored texts and names through load, add and remove of the default-ports document.
// Input: one flag byte (bit 0: nothing stored), then the stored text, a NUL, and the name. Like
// the registry read, the stored text is cut at its first NUL and to what fits the value.

#include "settings/DefaultPortsDocument.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool condition, char const* what) {
    if (!condition) {
        std::fprintf(stderr, "default-ports document: %s\n", what);
        std::abort();
    }
}

std::size_t occurrences(std::vector<std::string> const& names, std::string const& name) {
    return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

void checkAdd(char const* stored, std::vector<std::string> const& before, std::string const& name) {
    std::optional<std::string> const text = textAfterAddingPort(stored, name.c_str());
    if (!text) {
        return;  // the value stays as it was: nothing can be lost
    }
    require(text->size() + 1 <= kDefaultPortsMaxBytes, "add gave a text too long to read back");
    require(std::memchr(text->data(), '\0', text->size()) == nullptr, "add gave a NUL inside");
    std::vector<std::string> const after = storedPortNames(text->c_str());
    for (std::string const& kept : before) {
        require(occurrences(after, kept) >= occurrences(before, kept), "add lost a stored name");
    }
    require(occurrences(before, name) == 0, "add wrote although the name was stored");
    require(after.size() == before.size() + 1 && after.back() == name,
            "add did not append exactly the name");
    require(!textAfterAddingPort(text->c_str(), name.c_str()), "a second add wrote again");
}

void checkRemove(char const* stored, std::vector<std::string> const& before,
                 std::string const& name) {
    std::optional<std::string> const text = textAfterRemovingPort(stored, name.c_str());
    if (!text) {
        return;
    }
    require(text->size() + 1 <= kDefaultPortsMaxBytes, "remove gave a text too long to read back");
    std::vector<std::string> expected = before;
    expected.erase(std::remove(expected.begin(), expected.end(), name), expected.end());
    require(storedPortNames(text->c_str()) == expected, "remove changed other names");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    bool const nothingStored = (data[0] & 1) != 0;
    auto const* rest = reinterpret_cast<char const*>(data + 1);
    std::size_t const restSize = size - 1;
    auto const* separator = static_cast<char const*>(std::memchr(rest, '\0', restSize));
    std::size_t const storedSize = separator ? static_cast<std::size_t>(separator - rest) : restSize;

    std::string storedText(rest, std::min(storedSize, kDefaultPortsMaxBytes - 1));
    std::string name;
    if (separator) {
        char const* nameStart = separator + 1;
        std::size_t const nameRoom = restSize - storedSize - 1;
        name.assign(nameStart, strnlen(nameStart, nameRoom));
    }
    char const* stored = nothingStored ? nullptr : storedText.c_str();

    std::vector<std::string> const before = storedPortNames(stored);
    checkAdd(stored, before, name);
    checkRemove(stored, before, name);
    return 0;
}
