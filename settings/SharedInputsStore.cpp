#include "settings/SharedInputsStore.h"

#include "settings/SettingsValue.h"
#include "settings/SharedInputsDocument.h"
#include "settings/StoredNameList.h"

namespace {

StoredNameList const kSharedInputs{kSharedInputsValueName, kInputsMember};

}  // namespace

void loadSharedInputs(std::vector<std::string>* names) { loadStoredNames(kSharedInputs, names); }

void addSharedInput(char const* name) { addStoredName(kSharedInputs, name); }

void removeSharedInput(char const* name) { removeStoredName(kSharedInputs, name); }
