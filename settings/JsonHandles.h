#pragma once
// Owning handles for cJSON's allocations, so every path of a document operation releases them.

#include <cjson/cJSON.h>

#include <memory>

struct JsonDocumentDelete {
    void operator()(cJSON* item) const noexcept { cJSON_Delete(item); }
};
struct JsonTextFree {
    void operator()(char* text) const noexcept { cJSON_free(text); }
};

using JsonDocument = std::unique_ptr<cJSON, JsonDocumentDelete>;
using JsonText = std::unique_ptr<char, JsonTextFree>;
