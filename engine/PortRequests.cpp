// Carrying out the user interface's requests, in a tick whose scan found no change. Every request
// is checked again against the current devices and the published list: the user saw an older state.
#include <cstring>

#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortController.h"

bool PortController::drainRequests() {
    bool result = false;
    PortRequest request;
    while (requests_.try_dequeue(request)) {
        if (request.enable && request.id == kLoopbackId) {
            carryOutLoopbackRequest(request);
        } else if (request.enable) {
            result = carryOutEnableRequest(request) || result;
        } else {
            result = carryOutDisableRequest(request) || result;
        }
    }
    return result;
}

void PortController::carryOutLoopbackRequest(PortRequest const& request) {
    if (findEntry(request.name.c_str()) == nullptr) {
        createLoopbackEntry(request.name.c_str());
    }
}

PublishedOutput const* PortController::publishedWithId(std::int32_t id) const {
    for (PublishedOutput const& record : published_) {
        if (record.id == id) {
            return &record;
        }
    }
    return nullptr;
}

bool PortController::carryOutEnableRequest(PortRequest const& request) {
    if (request.id < 0 || static_cast<unsigned>(request.id) >= enumeration_->portCount()) {
        return false;
    }
    unsigned const index = static_cast<unsigned>(request.id);
    std::string name;
    try {
        name = enumeration_->portName(index);
    } catch (std::exception const&) {
        return false;  // gone since the count was read
    }
    if (isOwnPortName(name) || matchesLoopbackName(name)) {
        return false;
    }
    // The unique name exactly as the scan would give it.
    unsigned earlier = 0;
    for (unsigned i = 0; i < index && i < enumeration_->portCount(); ++i) {
        try {
            earlier += enumeration_->portName(i) == name ? 1 : 0;
        } catch (std::exception const&) {
            break;
        }
    }
    std::string const unique = makeUniqueName(name, earlier);
    if (std::strcmp(unique.c_str(), request.name.c_str()) != 0) {
        return false;
    }
    PublishedOutput const* record = publishedWithId(request.id);
    if (record == nullptr || unique != record->name) {
        return false;
    }
    PortEntry* entry = findEntry(unique.c_str());
    if (entry == nullptr) {
        entry = createHardwareEntry(unique.c_str());
        if (entry == nullptr) {
            return false;
        }
    }
    if (!entry->output || entry->output->isPortOpen()) {
        return false;
    }
    try {
        openOutput(*entry, index);
    } catch (std::exception const& error) {
        deferReport(error.what());
    }
    return true;
}

bool PortController::carryOutDisableRequest(PortRequest const& request) {
    PublishedOutput const* record = publishedWithId(request.id);
    if (record == nullptr || request.name != record->name) {
        return false;
    }
    for (auto const& entry : entries_) {
        if (entry->hasName(request.name.c_str()) && entry->outputOpen()) {
            runOutputCloseSequence(*entry);
        }
    }
    return true;
}
