// The service tick: scan the outputs, then either reconcile with a changed device list or carry out
// the queued requests; republish and notify when something changed.
#include <algorithm>
#include <cstring>

#include "engine/DeviceScan.h"
#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortController.h"

namespace {

bool contains(std::vector<std::string> const& names, std::string const& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool PortController::serviceTick() {
    try {
        return runTick();
    } catch (...) {
        // Last resort, for what the dependencies' own catches do not cover (out of memory while
        // building the rows or an entry): this tick is given up and the next starts afresh.
        // Nothing may leave a tick: it runs on the timer's thread, or inside initialize().
        rows_.clear();
        chosen_.clear();
        pendingErrors_.clear();
        return false;
    }
}

bool PortController::runTick() {
    if (!enumeration_) {
        return false;
    }
    pendingErrors_.clear();
    chosen_.clear();
    chosenRead_ = false;
    scanOutputs(rows_);
    bool result = false;
    if (changeTest(rows_)) {
        reconcile(rows_, storedChoices());
        result = true;
    } else {
        result = drainRequests();
    }
    if (result) {
        publish(rows_);
    }
    rows_.clear();
    chosen_.clear();
    if (result && hooks_.portsChanged != nullptr) {
        hooks_.portsChanged();
    }
    publishStateIfChanged();
    // Only now: an error box blocks this thread until it is dismissed, and by then every output
    // that could be opened is open, published and announced, and the state tells why one was not.
    reportPendingErrors();
    return result;
}

std::vector<std::string> const& PortController::storedChoices() {
    // Only the change test (when the list grew) and reconciliation use the stored choices, so a
    // quiet tick never reads them; a tick that does reads them once, after its scan, as fresh as
    // reading them on every tick would.
    if (!chosenRead_) {
        chosenRead_ = true;
        if (hooks_.defaultPorts != nullptr) {
            hooks_.defaultPorts(&chosen_);
        }
    }
    return chosen_;
}

void PortController::deferReport(char const* text) { pendingErrors_.emplace_back(text); }

void PortController::reportPendingErrors() {
    // Taken out first: the error box runs a message loop, and nothing it leads to may meet a list
    // that is being walked.
    std::vector<std::string> errors;
    errors.swap(pendingErrors_);
    for (std::string const& text : errors) {
        report(text.c_str());
    }
}

bool PortController::matchesLoopbackName(std::string const& name) const {
    for (auto const& entry : entries_) {
        if (entry && entry->loopback && entry->name) {
            std::size_t const length = std::strlen(entry->name.get());
            if (name.size() >= length && name.compare(0, length, entry->name.get()) == 0) {
                return true;
            }
        }
    }
    return false;
}

void PortController::scanOutputs(std::vector<OutputInfo>& rows) {
    scanDevices(*enumeration_, rows, [this](std::string const& name, unsigned) {
        return isOwnPortName(name) || matchesLoopbackName(name);
    });
}

bool PortController::changeTest(std::vector<OutputInfo> const& rows) {
    std::size_t const n = rows.size();
    std::size_t const p = published_.size();
    bool changed = n != p;
    for (std::size_t i = 0; !changed && i < n; ++i) {
        changed = rows[i].uniqueName != published_[i].name;
    }
    // Entries for chosen outputs are made only when the list grew (first tick, a device plugged).
    if (n > p) {
        std::vector<std::string> const& chosen = storedChoices();
        for (OutputInfo const& row : rows) {
            if (contains(chosen, row.uniqueName) && findEntry(row.uniqueName.c_str()) == nullptr) {
                createHardwareEntry(row.uniqueName.c_str());
            }
        }
    }
    return changed;
}

void PortController::reconcile(std::vector<OutputInfo> const& rows,
                               std::vector<std::string> const& chosen) {
    for (auto const& entry : entries_) {
        if (entry->outputOpen()) {
            runOutputCloseSequence(*entry);
        }
    }
    for (auto const& entry : entries_) {
        if (!entry->name || !entry->output) {
            continue;
        }
        auto const wanted = std::find(chosen.begin(), chosen.end(), entry->name.get());
        if (wanted == chosen.end()) {
            continue;  // not chosen: stays closed
        }
        for (OutputInfo const& row : rows) {
            if (row.uniqueName != entry->name.get()) {
                continue;
            }
            // Already opened through an earlier row that shares this name.
            if (entry->output->isPortOpen()) {
                break;
            }
            bool opened = false;
            try {
                if (row.index < enumeration_->portCount() &&
                    enumeration_->portName(row.index) == row.name) {
                    openOutput(*entry, row.index);
                    opened = true;
                }
            } catch (std::exception const&) {
                // The fallback scan below tries again and reports its own failure.
            }
            if (!opened) {
                reopenByFallbackScan(*entry, *wanted);
            }
        }
    }
}

void PortController::reopenByFallbackScan(PortEntry& entry, std::string const& chosenName) {
    std::vector<OutputInfo> rows;
    scanOutputs(rows);
    for (OutputInfo const& row : rows) {
        if (row.uniqueName == chosenName) {
            try {
                openOutput(entry, row.index);
            } catch (std::exception const& error) {
                deferReport(error.what());
            }
            return;
        }
    }
}

void PortController::publish(std::vector<OutputInfo> const& rows) {
    std::vector<PublishedOutput> fresh;
    fresh.reserve(rows.size());
    for (OutputInfo const& row : rows) {
        PublishedOutput record;
        record.name = static_cast<char*>(std::malloc(row.uniqueName.size() + 1));
        if (record.name != nullptr) {
            std::memcpy(record.name, row.uniqueName.c_str(), row.uniqueName.size() + 1);
        } else {
            record.name = kUnnamedOutput;
        }
        record.id = static_cast<std::int32_t>(row.index);
        PortEntry const* entry = findEntry(row.uniqueName.c_str());
        record.enabled = entry != nullptr && entry->outputOpen();
        fresh.push_back(record);
    }
    markStateChanged();
    // Swapped in whole under the lock, so a reader copies either the old list or the new one.
    std::vector<PublishedOutput> old;
    {
        std::lock_guard<std::mutex> lock(publishedLock_);
        old.swap(published_);
        published_.swap(fresh);
    }
    for (PublishedOutput& record : old) {
        if (record.name != kUnnamedOutput) {
            std::free(record.name);
        }
    }
}
