#include "settings/NameListDocument.h"

#include "settings/JsonHandles.h"
#include "settings/JsonParsing.h"

#include <cstring>
#include <exception>
#include <new>
#include <utility>

namespace {

// The list's array in a parsed document. Null when the document is not an object, has no member
// of that name in any letter case, or that member (the first one) is not an array.
cJSON* namesArray(cJSON* document, char const* member) {
    if (!cJSON_IsObject(document)) {
        return nullptr;
    }
    cJSON* names = cJSON_GetObjectItem(document, member);
    return cJSON_IsArray(names) ? names : nullptr;
}

bool holdsName(cJSON const* element, char const* name) {
    return cJSON_IsString(element) && element->valuestring != nullptr &&
           std::strcmp(element->valuestring, name) == 0;
}

// The unformatted text of a document, or nothing when printing fails or the text would not fit
// the stored value.
std::optional<std::string> printed(cJSON const* document) {
    JsonText text(cJSON_PrintUnformatted(document));
    if (!text) {
        return std::nullopt;
    }
    std::size_t const length = std::strlen(text.get());
    if (length + 1 > kStoredListMaxBytes) {
        return std::nullopt;
    }
    return std::string(text.get(), length);
}

// A stored document that parses but is not an object, or whose list member is not an array, is
// not ours: adding and removing leave it as it is rather than rewrite what we cannot read.
bool hasForeignShape(cJSON* document, char const* member) {
    if (!cJSON_IsObject(document)) {
        return true;
    }
    cJSON* names = cJSON_GetObjectItem(document, member);
    return names != nullptr && !cJSON_IsArray(names);
}

std::optional<std::string> addName(char const* storedText, char const* member, char const* name) {
    ParsedText parsed;
    if (storedText) {
        parsed = parseStoredText(storedText);
    }
    if (parsed.outOfMemory) {
        return std::nullopt;  // the stored names may be fine: starting over would lose them
    }
    JsonDocument document = std::move(parsed.document);
    if (document && hasForeignShape(document.get(), member)) {
        return std::nullopt;
    }
    if (!document) {
        // No value, or one that is not JSON: start over with only the new name.
        document.reset(cJSON_CreateObject());
        if (!document) {
            return std::nullopt;
        }
    }

    cJSON* names = namesArray(document.get(), member);
    if (names) {
        cJSON const* element = nullptr;
        cJSON_ArrayForEach(element, names) {
            if (holdsName(element, name)) {
                return std::nullopt;
            }
        }
    } else {
        cJSON* created = cJSON_CreateArray();
        if (!created) {
            return std::nullopt;
        }
        if (!cJSON_AddItemToObject(document.get(), member, created)) {
            cJSON_Delete(created);
            return std::nullopt;
        }
        names = created;
    }

    cJSON* element = cJSON_CreateString(name);
    if (!element) {
        return std::nullopt;
    }
    if (!cJSON_AddItemToArray(names, element)) {
        cJSON_Delete(element);
        return std::nullopt;
    }
    return printed(document.get());
}

std::optional<std::string> removeName(char const* storedText, char const* member, char const* name) {
    if (!storedText) {
        return std::nullopt;
    }
    JsonDocument const document = parseStoredText(storedText).document;
    cJSON* names = namesArray(document.get(), member);
    if (!names) {
        return std::nullopt;
    }
    // Deleting shifts the next element into the same index, so it is compared next.
    int index = 0;
    while (cJSON* element = cJSON_GetArrayItem(names, index)) {
        if (holdsName(element, name)) {
            cJSON_DeleteItemFromArray(names, index);
        } else {
            ++index;
        }
    }
    // Written even when nothing matched: the value then comes back in unformatted form.
    return printed(document.get());
}

}  // namespace

std::vector<std::string> storedNames(char const* storedText, char const* member) {
    std::vector<std::string> names;
    if (!storedText) {
        return names;
    }
    ParsedText const parsed = parseStoredText(storedText);
    if (parsed.outOfMemory) {
        throw std::bad_alloc();
    }
    cJSON const* list = namesArray(parsed.document.get(), member);
    if (!list) {
        return names;
    }
    cJSON const* element = nullptr;
    cJSON_ArrayForEach(element, list) {
        if (cJSON_IsString(element) && element->valuestring != nullptr) {
            names.emplace_back(element->valuestring);
        }
    }
    return names;
}

StoredTextKind storedTextKind(char const* storedText, char const* member) {
    ParsedText const parsed = parseStoredText(storedText);
    if (parsed.outOfMemory) {
        throw std::bad_alloc();
    }
    if (!parsed.document) {
        return StoredTextKind::NotJson;
    }
    return hasForeignShape(parsed.document.get(), member) ? StoredTextKind::OtherJson
                                                          : StoredTextKind::Document;
}

std::optional<std::string> textAfterAddingName(char const* storedText, char const* member,
                                               char const* name) {
    if (!name) {
        return std::nullopt;
    }
    useRecordingJsonAllocator();
    try {
        return addName(storedText, member, name);
    } catch (std::exception const&) {
        return std::nullopt;  // out of memory (or no lock): the stored names stay as they are
    }
}

std::optional<std::string> textAfterRemovingName(char const* storedText, char const* member,
                                                 char const* name) {
    if (!name) {
        return std::nullopt;
    }
    useRecordingJsonAllocator();
    try {
        return removeName(storedText, member, name);
    } catch (std::exception const&) {
        return std::nullopt;
    }
}
