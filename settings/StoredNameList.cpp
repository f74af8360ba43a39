#include "settings/StoredNameList.h"

#include "settings/NameListDocument.h"
#include "settings/SettingsValue.h"

#include <exception>
#include <iterator>

void loadStoredNames(StoredNameList list, std::vector<std::string>* names) {
    if (!names) {
        return;
    }
    char buffer[kStoredListMaxBytes];
    if (readSettingsValue(list.valueName, buffer) != StoredValue::Text) {
        return;
    }
    // Runs on the timer thread: nothing may escape, and the list gets all the names or none.
    try {
        std::vector<std::string> stored = storedNames(buffer, list.member);
        names->insert(names->end(), std::make_move_iterator(stored.begin()),
                      std::make_move_iterator(stored.end()));
    } catch (std::exception const&) {
    }
}

void addStoredName(StoredNameList list, char const* name) {
    char buffer[kStoredListMaxBytes];
    StoredValue const stored = readSettingsValue(list.valueName, buffer);
    if (stored == StoredValue::TooLong) {
        return;  // starting over would drop every name stored so far
    }
    std::optional<std::string> const text =
        textAfterAddingName(stored == StoredValue::Text ? buffer : nullptr, list.member, name);
    if (text) {
        writeSettingsValue(list.valueName, text->c_str());
    }
}

void removeStoredName(StoredNameList list, char const* name) {
    char buffer[kStoredListMaxBytes];
    if (readSettingsValue(list.valueName, buffer) != StoredValue::Text) {
        return;
    }
    std::optional<std::string> const text = textAfterRemovingName(buffer, list.member, name);
    if (text) {
        writeSettingsValue(list.valueName, text->c_str());
    }
}
