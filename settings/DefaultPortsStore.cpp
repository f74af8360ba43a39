#include "settings/DefaultPortsStore.h"

#include "settings/DefaultPortsDocument.h"
#include "settings/DefaultPortsValue.h"

#include <exception>
#include <iterator>

void loadDefaultPorts(std::vector<std::string>* names) {
    if (!names) {
        return;
    }
    char buffer[kDefaultPortsMaxBytes];
    if (!readDefaultPortsText(buffer)) {
        return;
    }
    // Runs on the timer thread: nothing may escape, and the list gets all the names or none.
    try {
        std::vector<std::string> stored = storedPortNames(buffer);
        names->insert(names->end(), std::make_move_iterator(stored.begin()),
                      std::make_move_iterator(stored.end()));
    } catch (std::exception const&) {
    }
}

void addDefaultPort(char const* name) {
    char buffer[kDefaultPortsMaxBytes];
    StoredValue const stored = readDefaultPortsValue(buffer);
    if (stored == StoredValue::TooLong) {
        return;  // starting over would drop every name stored so far
    }
    std::optional<std::string> const text =
        textAfterAddingPort(stored == StoredValue::Text ? buffer : nullptr, name);
    if (text) {
        writeDefaultPortsText(text->c_str());
    }
}

void removeDefaultPort(char const* name) {
    char buffer[kDefaultPortsMaxBytes];
    if (!readDefaultPortsText(buffer)) {
        return;
    }
    std::optional<std::string> const text = textAfterRemovingPort(buffer, name);
    if (text) {
        writeDefaultPortsText(text->c_str());
    }
}
