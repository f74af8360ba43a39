// The list rules the outputs and the shared inputs follow alike: one scan of a device list with its
// unique names (DeviceScan.h), one change test against what was published, one way to work out a device's unique
// name at an index (as a request re-derives it) and one way to build the published records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "engine/DeviceScan.h"
#include "engine/OutputInfo.h"
#include "engine/OutputNames.h"
#include "engine/PublishedOutput.h"
#include "midi_common/MidiPortList.h"

// The unique name of the device at `index` exactly as a scan would give it, or nothing when the
// index is out of range, the device vanished or it is one that `skip` leaves out.
template <class Skip>
std::optional<std::string> uniqueNameAt(MidiPortList& list, std::int32_t id, Skip const& skip) {
    if (id < 0 || static_cast<unsigned>(id) >= list.portCount()) {
        return std::nullopt;
    }
    unsigned const index = static_cast<unsigned>(id);
    std::string name;
    try {
        name = list.portName(index);
    } catch (std::exception const&) {
        return std::nullopt;  // gone since the count was read
    }
    if (skip(name)) {
        return std::nullopt;
    }
    unsigned earlier = 0;
    for (unsigned i = 0; i < index && i < list.portCount(); ++i) {
        try {
            earlier += list.portName(i) == name ? 1 : 0;
        } catch (std::exception const&) {
            break;
        }
    }
    return makeUniqueName(name, earlier);
}

// True when the rows' unique names differ from the published names, position by position.
bool listChanged(std::vector<OutputInfo> const& rows, std::vector<PublishedOutput> const& published);

// The record of `published` with this id, or null.
PublishedOutput const* recordWithId(std::vector<PublishedOutput> const& published, std::int32_t id);

// Frees the names of records (never the constant "-").
void freeRecordNames(std::vector<PublishedOutput>& records);

// Copies for readers on other threads.
std::vector<PublishedOutputInfo> recordCopies(std::vector<PublishedOutput> const& records);

// A malloc'd copy of a name, or the constant "-" when it cannot be made.
char* copyRecordName(std::string const& name);

// Records for `rows`, in order: a malloc'd copy of each unique name ("-" when it cannot be made),
// the device index, and whether `isEnabled(uniqueName)` says the device is in use.
template <class IsEnabled>
std::vector<PublishedOutput> publishedRecords(std::vector<OutputInfo> const& rows,
                                              IsEnabled const& isEnabled) {
    std::vector<PublishedOutput> fresh;
    fresh.reserve(rows.size());
    for (OutputInfo const& row : rows) {
        PublishedOutput record;
        record.name = copyRecordName(row.uniqueName);
        record.id = static_cast<std::int32_t>(row.index);
        record.enabled = isEnabled(row.uniqueName);
        fresh.push_back(record);
    }
    return fresh;
}
