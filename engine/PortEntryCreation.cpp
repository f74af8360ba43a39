// Creation of port entries: an entry is listed complete (name, both virtual ports and, for a
// hardware entry, its output connection) or not at all, with nothing left behind.
#include <cstring>
#include <string>

#include "engine/EngineTexts.h"
#include "engine/PortController.h"
#include "engine/PortName.h"

namespace {

MallocText copyText(char const* text) {
    std::size_t const size = std::strlen(text) + 1;
    MallocText copy(static_cast<char*>(std::malloc(size)));
    if (copy) {
        std::memcpy(copy.get(), text, size);
    }
    return copy;
}

VirtualPort createPort(VirtualMidiDriver const& driver, PortEntry& entry, char const* suffix,
                       std::uint32_t flags) {
    std::u16string const portName = makePortName(entry.name.get(), suffix);
    return VirtualPort(&driver, driver.createPortEx2(portName.c_str(), &onPortData,
                                                     reinterpret_cast<std::uintptr_t>(&entry),
                                                     kMaxSysexLength, flags));
}

std::string portCreationError(PortEntry const& entry, char const* suffix) {
    return std::string(kErrorPortNotCreated) + " \"" + portNameUtf8(entry.name.get(), suffix) + "\".";
}

std::uint32_t const kWrittenByApplications = kVirtualMidiParseRx | kVirtualMidiRxOnly;  // 5
std::uint32_t const kReadByApplications = kVirtualMidiParseTx | kVirtualMidiTxOnly;     // 10

}  // namespace

PortEntry* PortController::createHardwareEntry(char const* name) {
    std::unique_ptr<PortEntry> entry = newEntry(name, false);
    if (!entry) {
        return nullptr;
    }
    try {
        entry->output = deps_.outputs->create(backEnd_, kClientName);
    } catch (std::exception const& error) {
        deferReport(error.what());
        recordCreationFailure(name, error.what());
        return nullptr;
    }
    return addPorts(std::move(entry), {kMidiPortSuffix, kWrittenByApplications},
                    {kSysExPortSuffix, kWrittenByApplications});
}

PortEntry* PortController::createLoopbackEntry(char const* name) {
    std::unique_ptr<PortEntry> entry = newEntry(name, true);
    if (!entry) {
        return nullptr;
    }
    return addPorts(std::move(entry), {kLoopbackInSuffix, kReadByApplications},
                    {kLoopbackOutSuffix, kWrittenByApplications});
}

std::unique_ptr<PortEntry> PortController::newEntry(char const* name, bool loopback) {
    auto entry = std::make_unique<PortEntry>();
    entry->driver = &deps_.driver;
    entry->loopback = loopback;
    entry->name = copyText(name);
    return entry->name ? std::move(entry) : nullptr;
}

PortEntry* PortController::addPorts(std::unique_ptr<PortEntry> entry, PortKind first, PortKind second) {
    // However this ends without listing the entry (a port not made, or an exception from the name
    // conversion or the list), a port that was made may already carry data: it is retired (flag,
    // drain, then shut down and close) before the entry goes.
    struct RetireUnlessListed {
        PortEntry* entry;
        ~RetireUnlessListed() {
            if (entry != nullptr) {
                retirePorts(*entry);
            }
        }
    } retire{entry.get()};

    // Both are attempted, so the failure of either leaves the same outcome.
    entry->firstPort = createPort(deps_.driver, *entry, first.suffix, first.flags);
    entry->secondPort = createPort(deps_.driver, *entry, second.suffix, second.flags);
    if (!entry->firstPort || !entry->secondPort) {
        bool const firstMade = static_cast<bool>(entry->firstPort);
        bool const secondMade = static_cast<bool>(entry->secondPort);
        retirePorts(*entry);
        retire.entry = nullptr;
        // Said, not silent: the user would otherwise see an output that never gets its ports
        // (a name another program already uses, say).
        std::string const failure =
            portCreationError(*entry, firstMade ? second.suffix : first.suffix);
        if (!firstMade) {
            deferReport(portCreationError(*entry, first.suffix).c_str());
        }
        if (!secondMade) {
            deferReport(portCreationError(*entry, second.suffix).c_str());
        }
        if (!entry->loopback) {
            recordCreationFailure(entry->name.get(), failure);
        }
        markStateChanged();  // the loopback pair too: the state then says it is missing
        return nullptr;
    }
    entries_.push_back(std::move(entry));
    retire.entry = nullptr;
    markStateChanged();
    return entries_.back().get();
}
