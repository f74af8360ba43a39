#include "engine/PortController.h"

#include <cstring>
#include <optional>

#include "engine/DeviceList.h"
#include "engine/EngineTexts.h"
#include "engine/ServiceTimer.h"

namespace {

std::optional<PortController::Dependencies>& configuredDependencies() {
    static std::optional<PortController::Dependencies> dependencies;
    return dependencies;
}

// The instance whose ticks the service timer runs; its teardown stops the timer first.
PortController* theInstance = nullptr;

}  // namespace

char kUnnamedOutput[] = "-";

PortController& PortController::instance() {
    // A function-local static: a concurrent first call waits for the construction, and a
    // construction that throws (the queue's storage) is tried again by the next call.
    static PortController controller(configuredDependencies() ? *configuredDependencies()
                                                              : defaultDependencies());
    // Recorded once, under the same thread-safe initialization.
    static bool const recorded = (theInstance = &controller, true);
    (void)recorded;
    return controller;
}

void PortController::configureInstance(Dependencies dependencies) {
    configuredDependencies() = std::move(dependencies);
}

PortController::PortController(Dependencies dependencies)
    : requests_(kRequestQueueSize),
      backEnd_(kBackEndWinMM),
      createLoopback_(true),
      deps_(std::move(dependencies)),
      inputRequests_(kRequestQueueSize) {}

PortController::~PortController() {
    // The timer runs the instance's ticks; normally WM_DESTROY has stopped it already, and a
    // second stop does nothing. No tick may run on a controller being torn down.
    if (this == theInstance) {
        stopServiceTimer();
    }
    // Inputs first: each is closed before its port goes, and before any output's ports go.
    releaseInputs();
    for (auto& entry : entries_) {
        if (entry) {
            releaseEntry(std::move(entry));
        }
    }
    if (enumeration_) {
        if (enumeration_->isPortOpen()) {
            enumeration_->closePort();
        }
        enumeration_.reset();
    }
    clearPublished();
    entries_.clear();
}

bool PortController::initialize(Hooks const& hooks) {
    installHooks(hooks);
    // Without the driver no virtual port can exist; say which file is missing and stop here.
    if (!deps_.driver.complete()) {
        report(deps_.driverError.empty() ? kErrorDriverMissing : deps_.driverError.c_str());
        return false;
    }
    try {
        enumeration_ = deps_.outputs->create(backEnd_, kClientName);
    } catch (std::exception const& error) {
        report(error.what());
    }
    createInputEnumeration();
    if (createLoopback_) {
        bool queued = false;
        try {
            queued = tryEnqueue(PortRequest{kLoopbackId, kLoopbackName, true});
        } catch (std::exception const&) {
            // Out of memory for the request: refused like a full queue.
        }
        if (!queued) {
            report(kErrorRequestRefused);
        }
    }
    // Like every tick of the timer, the first one lets no exception out (serviceTick's own
    // last-resort catch), so nothing that goes wrong while building an entry ends the program.
    serviceTick();
    if (startServiceTimer()) {
        return true;
    }
    report(kErrorTimerStart);
    stopServiceTimer();
    return false;
}

void PortController::createInputEnumeration() {
    if (deps_.inputs == nullptr) {
        return;
    }
    try {
        inputEnumeration_ = deps_.inputs->create(backEnd_, kClientName);
    } catch (std::exception const& error) {
        // Only a user who shares inputs hears of it: the others use nothing that failed.
        std::vector<std::string> shared;
        if (hooks_.sharedInputs != nullptr) {
            hooks_.sharedInputs(&shared);
        }
        if (!shared.empty()) {
            report(error.what());
        }
    }
}

bool PortController::startServiceTimer() {
    if (deps_.timer == nullptr) {
        return false;
    }
    return serviceTimer().start(*deps_.timer, &runServiceTick);
}

void PortController::stopServiceTimer() { serviceTimer().stop(); }

void PortController::report(char const* text) const {
    if (hooks_.error != nullptr) {
        hooks_.error(text);
    }
}

std::vector<PublishedOutputInfo> PortController::publishedOutputs() const {
    std::lock_guard<std::mutex> lock(publishedLock_);
    return recordCopies(published_);
}

void PortController::clearPublished() {
    std::lock_guard<std::mutex> lock(publishedLock_);
    freeRecordNames(published_);
    published_.clear();
}

PortEntry* PortController::findEntry(char const* name) const {
    for (auto const& entry : entries_) {
        if (entry && entry->hasName(name)) {
            return entry.get();
        }
    }
    return nullptr;
}

void reportError(char const* text) { PortController::instance().report(text); }

bool runServiceTick(std::uint32_t, std::uintptr_t) {
    // An exception must never leave the timer's thread; the tick has its own last-resort catch,
    // this one also covers obtaining the instance.
    try {
        return PortController::instance().serviceTick();
    } catch (...) {
        return false;
    }
}
