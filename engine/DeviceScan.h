// The one scan of a device list: the engine's, and the diagnostics tool's. Devices in index order;
// the count is read again for every device, so one that comes or goes mid-scan moves the bound; a
// device that vanished between the count and its name is skipped and the scan goes on; repeated
// names are made unique as the program publishes them.
#pragma once

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "engine/OutputInfo.h"
#include "engine/OutputNames.h"
#include "midi_common/MidiPortList.h"

// skip(name, index) is asked for every name read, in order; true leaves it out of the rows (the
// program's own ports).
template <class Skip>
void scanDevices(MidiPortList& list, std::vector<OutputInfo>& rows, Skip&& skip) {
    rows.clear();
    for (unsigned index = 0; index < list.portCount(); ++index) {
        std::string name;
        try {
            name = list.portName(index);
        } catch (std::exception const&) {
            continue;  // vanished between the count and the name; the next scan sees the new list
        }
        if (skip(name, index)) {
            continue;
        }
        unsigned const earlier = static_cast<unsigned>(std::count_if(
            rows.begin(), rows.end(), [&](OutputInfo const& row) { return row.name == name; }));
        std::string unique = makeUniqueName(name, earlier);
        rows.push_back(OutputInfo{std::move(name), std::move(unique), index});
    }
}
