// The shared inputs' part of the service tick: the mirror of the outputs' part (scan, then
// reconcile with a changed list or carry out the queued requests, then republish), with one
// difference a live player needs: a change in the input list never interrupts an input that is
// still listed. An open WinMM input stays bound to its device when other devices come or go and
// the indices shift, so closing and reopening it would only lose what is played meanwhile (a
// note-off, say). Only an input whose name left the list is closed; when it comes back it is
// opened again in that same tick, at its new index, into the port it had.
#include <algorithm>
#include <cstring>

#include "engine/DeviceList.h"
#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "engine/PortName.h"
#include "midi_common/MidiOpenError.h"

namespace {

bool contains(std::vector<std::string> const& names, std::string const& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool anyRowNamed(std::vector<OutputInfo> const& rows, std::string const& uniqueName) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](OutputInfo const& row) { return row.uniqueName == uniqueName; });
}

// The driver never calls back for a port that only sends; it still wants a callback to hold.
void TE_VM_CALL noData(VirtualMidiPortHandle, std::uint8_t*, std::uint32_t, std::uintptr_t) {}

std::uint32_t const kReadByApplications = kVirtualMidiParseTx | kVirtualMidiTxOnly;  // 10

std::string inputOpenError(std::string const& name, std::exception const& error) {
    std::string text = std::string(kErrorInputNotOpened) + " \"" + name + "\": ";
    if (openErrorCode(error) == kMidiErrorAllocated) {
        return text + kErrorInputInUse;
    }
    return text + error.what();
}

}  // namespace

bool PortController::serviceInputs() {
    if (!inputEnumeration_) {
        return false;
    }
    storedInputs_.clear();
    storedInputsRead_ = false;
    scanDevices(*inputEnumeration_, inputRows_,
                [this](std::string const& name, unsigned) { return skipsInput(name); });
    bool result = false;
    if (listChanged(inputRows_, publishedInputs_)) {
        reconcileInputs(inputRows_);
        result = true;
    } else {
        result = drainInputRequests();
    }
    if (result) {
        publishInputs(inputRows_);
    }
    inputRows_.clear();
    storedInputs_.clear();
    return result;
}

bool PortController::skipsInput(std::string const& name) const {
    return isOwnInputPortName(name) || matchesLoopbackName(name);
}

std::vector<std::string> const& PortController::storedInputs() {
    // Read afresh by every tick that needs it (one whose input list changed), never by a quiet one.
    if (!storedInputsRead_) {
        storedInputsRead_ = true;
        if (hooks_.sharedInputs != nullptr) {
            hooks_.sharedInputs(&storedInputs_);
        }
    }
    return storedInputs_;
}

void PortController::reconcileInputs(std::vector<OutputInfo> const& rows) {
    for (auto const& entry : inputEntries_) {
        if (entry->inputOpen() && !anyRowNamed(rows, entry->name)) {
            closeInput(*entry);  // unplugged: its port waits for it to come back
        }
    }
    std::vector<std::string> const& stored = storedInputs();
    for (OutputInfo const& row : rows) {
        if (!contains(stored, row.uniqueName)) {
            continue;
        }
        InputEntry* entry = findInputEntry(row.uniqueName);
        if (entry == nullptr) {
            entry = createInputEntry(row.uniqueName);
        }
        if (entry != nullptr && !entry->inputOpen()) {
            openInputByName(*entry, row);
        }
    }
}

void PortController::openInputByName(InputEntry& entry, OutputInfo const& row) {
    std::string const previousError = entry.lastOpen.error;
    try {
        bool stillThere = false;
        try {
            stillThere = row.index < inputEnumeration_->portCount() &&
                         inputEnumeration_->portName(row.index) == row.name;
        } catch (std::exception const&) {
        }
        if (stillThere) {
            openInput(entry, row.index);
            return;
        }
        // Moved since the scan: the device a fresh scan gives this name, if any.
        std::vector<OutputInfo> fresh;
        scanDevices(*inputEnumeration_, fresh,
                    [this](std::string const& name, unsigned) { return skipsInput(name); });
        for (OutputInfo const& now : fresh) {
            if (now.uniqueName == entry.name) {
                openInput(entry, now.index);
                return;
            }
        }
    } catch (std::exception const& error) {
        // Said once, not at every change of the list while the same cause lasts (another
        // application keeping the keyboard, say); the state shows it all along.
        if (entry.lastOpen.error != previousError) {
            deferReport(inputOpenError(entry.name, error).c_str());
        }
    }
}

void PortController::openInput(InputEntry& entry, unsigned index) {
    markStateChanged();
    entry.lastOpen.attempt([&] { entry.input->openPort(index, entry); });
}

void PortController::closeInput(InputEntry& entry) {
    markStateChanged();
    if (!runInputCloseSequence(entry)) {
        deferReport((std::string(kErrorInputNotClosed) + " \"" + entry.name + "\"" +
                     kErrorInputNotClosedFix).c_str());
    }
}

InputEntry* PortController::createInputEntry(std::string const& name) {
    auto entry = std::make_unique<InputEntry>(name, &deps_.driver);
    auto failed = [&](std::string const& text) -> InputEntry* {
        markStateChanged();
        if (recordEntryFailure(inputCreationFailures_, name, {portNameUtf8(name, kInputPortSuffix)},
                               text)) {
            deferReport(text.c_str());  // once while the same cause lasts
        }
        return nullptr;
    };
    try {
        entry->input = deps_.inputs->create(backEnd_, kClientName);
    } catch (std::exception const& error) {
        return failed(error.what());
    }
    std::u16string const portName = makePortName(name, kInputPortSuffix);
    entry->port = VirtualPort(&deps_.driver,
                              deps_.driver.createPortEx2(portName.c_str(), &noData, 0,
                                                         kMaxInputSysexLength, kReadByApplications));
    if (!entry->port) {
        return failed(std::string(kErrorPortNotCreated) + " \"" +
                      portNameUtf8(name, kInputPortSuffix) + "\".");
    }
    inputEntries_.push_back(std::move(entry));
    forgetEntryFailure(inputCreationFailures_, name);
    markStateChanged();
    return inputEntries_.back().get();
}

InputEntry* PortController::findInputEntry(std::string const& name) const {
    for (auto const& entry : inputEntries_) {
        if (entry->name == name) {
            return entry.get();
        }
    }
    return nullptr;
}

bool PortController::drainInputRequests() {
    bool result = false;
    PortRequest request;
    while (inputRequests_.try_dequeue(request)) {
        bool const changed =
            request.enable ? carryOutInputEnable(request) : carryOutInputDisable(request);
        result = changed || result;
    }
    return result;
}

bool PortController::carryOutInputEnable(PortRequest const& request) {
    // Checked again against the devices and the list the user saw, as an output's request is.
    std::optional<std::string> const unique = uniqueNameAt(
        *inputEnumeration_, request.id, [this](std::string const& name) { return skipsInput(name); });
    if (!unique || *unique != request.name) {
        return false;
    }
    PublishedOutput const* record = recordWithId(publishedInputs_, request.id);
    if (record == nullptr || *unique != record->name) {
        return false;
    }
    InputEntry* entry = findInputEntry(*unique);
    if (entry == nullptr) {
        entry = createInputEntry(*unique);
    }
    if (entry != nullptr && entry->inputOpen()) {
        return false;
    }
    if (entry != nullptr) {
        try {
            openInput(*entry, static_cast<unsigned>(request.id));
        } catch (std::exception const& error) {
            deferReport(inputOpenError(entry->name, error).c_str());
        }
    }
    // Republished either way, so that a box the user ticked shows what really happened.
    return true;
}

bool PortController::carryOutInputDisable(PortRequest const& request) {
    PublishedOutput const* record = recordWithId(publishedInputs_, request.id);
    if (record == nullptr || request.name != record->name) {
        return false;
    }
    InputEntry* entry = findInputEntry(request.name);
    if (entry != nullptr && entry->inputOpen()) {
        closeInput(*entry);
    }
    return true;
}

void PortController::publishInputs(std::vector<OutputInfo> const& rows) {
    std::vector<PublishedOutput> fresh = publishedRecords(rows, [this](std::string const& name) {
        InputEntry const* entry = findInputEntry(name);
        return entry != nullptr && entry->inputOpen();
    });
    markStateChanged();
    {
        std::lock_guard<std::mutex> lock(publishedLock_);
        publishedInputs_.swap(fresh);
    }
    freeRecordNames(fresh);
}

std::vector<PublishedInputInfo> PortController::publishedInputs() const {
    std::lock_guard<std::mutex> lock(publishedLock_);
    return recordCopies(publishedInputs_);
}

void PortController::noteLostMessages() {
    // A tenth of a second is soon enough for a report, and a run of losses then rewrites the
    // state ten times a second rather than at every tick.
    unsigned const kTicksBetweenLooks = 100;
    if (++ticksSinceLostCheck_ < kTicksBetweenLooks) {
        return;
    }
    ticksSinceLostCheck_ = 0;
    for (auto const& entry : inputEntries_) {
        std::uint64_t const lost = entry->lost.load(std::memory_order_relaxed);
        if (lost != entry->lostShown) {
            entry->lostShown = lost;
            markStateChanged();
        }
    }
}

void PortController::releaseInputs() {
    for (auto& entry : inputEntries_) {
        releaseInputEntry(std::move(entry));
    }
    inputEntries_.clear();
    inputEnumeration_.reset();
    std::lock_guard<std::mutex> lock(publishedLock_);
    freeRecordNames(publishedInputs_);
    publishedInputs_.clear();
}
