#include "settings/DefaultPortsStore.h"

#include "settings/DefaultPortsDocument.h"
#include "settings/SettingsValue.h"
#include "settings/StoredNameList.h"

namespace {

StoredNameList const kDefaultPorts{kDefaultPortsValueName, kPortsMember};

}  // namespace

bool readDefaultPortsText(char (&buffer)[8192]) {
    return readDefaultPortsValue(buffer) == StoredValue::Text;
}

void writeDefaultPortsText(char const* text) { writeSettingsValue(kDefaultPortsValueName, text); }

void loadDefaultPorts(std::vector<std::string>* names) { loadStoredNames(kDefaultPorts, names); }

void addDefaultPort(char const* name) { addStoredName(kDefaultPorts, name); }

void removeDefaultPort(char const* name) { removeStoredName(kDefaultPorts, name); }
