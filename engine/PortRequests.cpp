// Carrying out the user interface's requests, in a tick whose scan found no change. Every request
// is checked again against the current devices and the published list: the user saw an older state.
#include <cstring>

#include "engine/DeviceList.h"
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

bool PortController::carryOutEnableRequest(PortRequest const& request) {
    // The unique name exactly as the scan would give it, checked against the request and the list
    // the user saw: devices may have moved since.
    std::optional<std::string> const unique = uniqueNameAt(
        *enumeration_, request.id, [this](std::string const& name) { return skipsOutput(name); });
    if (!unique || std::strcmp(unique->c_str(), request.name.c_str()) != 0) {
        return false;
    }
    PublishedOutput const* record = recordWithId(published_, request.id);
    if (record == nullptr || *unique != record->name) {
        return false;
    }
    unsigned const index = static_cast<unsigned>(request.id);
    PortEntry* entry = findEntry(unique->c_str());
    if (entry == nullptr) {
        entry = createHardwareEntry(unique->c_str());
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
    PublishedOutput const* record = recordWithId(published_, request.id);
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
