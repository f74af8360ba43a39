#include "engine/DeviceList.h"

#include <cstdlib>
#include <cstring>

bool listChanged(std::vector<OutputInfo> const& rows, std::vector<PublishedOutput> const& published) {
    if (rows.size() != published.size()) {
        return true;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].uniqueName != published[i].name) {
            return true;
        }
    }
    return false;
}

PublishedOutput const* recordWithId(std::vector<PublishedOutput> const& published, std::int32_t id) {
    for (PublishedOutput const& record : published) {
        if (record.id == id) {
            return &record;
        }
    }
    return nullptr;
}

char* copyRecordName(std::string const& name) {
    auto* copy = static_cast<char*>(std::malloc(name.size() + 1));
    if (copy == nullptr) {
        return kUnnamedOutput;
    }
    std::memcpy(copy, name.c_str(), name.size() + 1);
    return copy;
}

void freeRecordNames(std::vector<PublishedOutput>& records) {
    for (PublishedOutput& record : records) {
        if (record.name != kUnnamedOutput) {
            std::free(record.name);
        }
    }
}

std::vector<PublishedOutputInfo> recordCopies(std::vector<PublishedOutput> const& records) {
    std::vector<PublishedOutputInfo> copy;
    copy.reserve(records.size());
    for (PublishedOutput const& record : records) {
        copy.push_back(PublishedOutputInfo{record.name, record.id, record.enabled});
    }
    return copy;
}
