#include "midi_output/fake_bus/FakeDeviceBus.h"

#include "midi_output/fake_bus/FakeDeviceList.h"

#include <algorithm>
#include <set>
#include <stdexcept>

// One physical output device; its record is what reached it.
struct FakeDeviceBus::Device : FakeDevice {
    int openBy = 0;  // outputs holding it open
};

struct FakeDeviceBus::State {
    mutable std::mutex mutex;
    std::condition_variable released;

    FakeDeviceList<Device> devices{"output"};

    std::string createFault;
    std::map<std::string, std::string> openFaults;
    std::map<std::string, std::string> sendFaults;
    std::set<std::string> blockedNames;
    std::uint64_t releaseGeneration = 0;
    int blocked = 0;
    std::function<void()> openCheckProbe;  // written only while no output is in use elsewhere

    std::uint64_t nextSequence = 0;
    int created = 0;
    std::uint32_t lastBackEnd = 0;
    std::string lastClientName;
    int openCalls = 0;
    int closeCalls = 0;
    std::map<std::string, std::pair<int, std::string>> lastOpen;  // name -> index, port name
    int violations = 0;
    int live = 0;
    std::uint64_t sends = 0;
    std::uint64_t lostSends = 0;
};

// An output object, with the WinMM back end's behaviour where the engine can tell the difference.
class FakeDeviceBus::Output : public MidiOutput {
public:
    explicit Output(std::shared_ptr<State> state) : state_(std::move(state)) {}

    ~Output() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        release();
        --state_->live;
    }

    unsigned portCount() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return static_cast<unsigned>(state_->devices.size());
    }

    std::string portName(unsigned index) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->devices.at(index)->name;
    }

    void openPort(unsigned index, std::string const& portName) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->openCalls;
        if (device_) {
            return;  // RtMidi only warns about a second open
        }
        std::shared_ptr<Device> device = state_->devices.at(index);
        auto fault = state_->openFaults.find(device->name);
        if (fault != state_->openFaults.end()) {
            throw std::runtime_error(fault->second);
        }
        // The drivers this program exists for admit one client at a time.
        if (device->openBy > 0) {
            throw std::runtime_error("MIDI output '" + device->name + "' is already in use");
        }
        ++device->openBy;
        device_ = device;
        state_->lastOpen[device->name] = {static_cast<int>(index), portName};
        open_.store(true, std::memory_order_release);
    }

    bool isPortOpen() const override {
        if (state_->openCheckProbe) {
            state_->openCheckProbe();
        }
        return open_.load(std::memory_order_acquire);
    }

    void closePort() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->closeCalls;
        if (sending_) {
            ++state_->violations;  // a send still runs while we close
        }
        release();
    }

    void sendMessage(std::uint8_t const* bytes, std::size_t length) override {
        std::unique_lock<std::mutex> lock(state_->mutex);
        if (sending_) {
            ++state_->violations;  // two sends overlap on one output
            return;
        }
        if (!device_) {
            ++state_->violations;  // send on a closed output; WinMM drops it
            return;
        }
        if (length > 0 && bytes == nullptr) {
            throw std::invalid_argument("null message");
        }
        sending_ = true;
        std::shared_ptr<Device> device = device_;
        if (state_->blockedNames.count(device->name)) {
            ++state_->blocked;
            std::uint64_t const generation = state_->releaseGeneration;
            state_->released.wait(lock, [&] { return state_->releaseGeneration != generation; });
            --state_->blocked;
        }
        sending_ = false;
        auto fault = state_->sendFaults.find(device->name);
        if (fault != state_->sendFaults.end()) {
            throw std::runtime_error(fault->second);
        }
        // As WinMM: nothing for an empty message, and a long block that is not SysEx is dropped.
        if (length == 0 || (length > 3 && bytes[0] != 0xF0)) {
            return;
        }
        ++state_->sends;
        if (device->plugged) {
            device->record.emplace_back(state_->nextSequence++, Message(bytes, bytes + length));
        } else {
            ++state_->lostSends;
        }
    }

private:
    // Lets go of the device; the caller holds the bus mutex.
    void release() {
        if (!device_) {
            return;
        }
        open_.store(false, std::memory_order_release);
        --device_->openBy;
        device_.reset();
    }

    std::shared_ptr<State> state_;
    std::shared_ptr<Device> device_;  // guarded by the bus mutex; set while open
    bool sending_ = false;            // guarded by the bus mutex
    std::atomic<bool> open_{false};
};

FakeDeviceBus::FakeDeviceBus() : state_(std::make_shared<State>()), inputs_(makeInputState()) {}

FakeDeviceBus::~FakeDeviceBus() {
    // Nothing may stay blocked on a bus the test has finished with, nor play on.
    releaseSends();
    stopInputDevices();
}

unsigned FakeDeviceBus::plug(std::string const& name) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    unsigned const index = static_cast<unsigned>(state_->devices.size());
    state_->devices.plugAt(index, name);
    return index;
}

void FakeDeviceBus::plugAt(unsigned index, std::string const& name) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->devices.plugAt(index, name);
}

void FakeDeviceBus::unplugAt(unsigned index) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->devices.unplugAt(index);
}

bool FakeDeviceBus::unplug(std::string const& name) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devices.unplug(name);
}

void FakeDeviceBus::rename(unsigned index, std::string const& newName) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->devices.at(index)->name = newName;
}

void FakeDeviceBus::reorder(std::vector<unsigned> const& order) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->devices.reorder(order);
}

void FakeDeviceBus::swap(unsigned a, unsigned b) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->devices.swap(a, b);
}

std::vector<std::string> FakeDeviceBus::deviceNames() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devices.names();
}

void FakeDeviceBus::failCreate(std::string const& text) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->createFault = text;
}

void FakeDeviceBus::failOpen(std::string const& name, std::string const& text) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->openFaults[name] = text;
}

void FakeDeviceBus::failSend(std::string const& name, std::string const& text) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->sendFaults[name] = text;
}

void FakeDeviceBus::clearFaults() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->createFault.clear();
        state_->openFaults.clear();
        state_->sendFaults.clear();
    }
    clearInputFaults();
}

void FakeDeviceBus::blockSends(std::string const& name) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->blockedNames.insert(name);
}

void FakeDeviceBus::releaseSends() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->blockedNames.clear();
        ++state_->releaseGeneration;
    }
    state_->released.notify_all();
}

int FakeDeviceBus::blockedSends() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->blocked;
}

void FakeDeviceBus::probeOpenChecks(std::function<void()> probe) {
    state_->openCheckProbe = std::move(probe);
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::received(std::string const& name) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devices.records(name, false);
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::receivedAt(unsigned index) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<Message> messages;
    for (auto const& entry : state_->devices.at(index)->record) {
        messages.push_back(entry.second);
    }
    return messages;
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::takeReceived(std::string const& name) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devices.records(name, true);
}

std::uint64_t FakeDeviceBus::sendCount() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->sends;
}

std::uint64_t FakeDeviceBus::lostSendCount() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lostSends;
}

void FakeDeviceBus::clearReceived() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (auto const& device : state_->devices.everPlugged()) {
        device->record.clear();
    }
}

int FakeDeviceBus::createdCount() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->created;
}

std::uint32_t FakeDeviceBus::lastBackEnd() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lastBackEnd;
}

std::string FakeDeviceBus::lastClientName() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lastClientName;
}

int FakeDeviceBus::openCalls() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->openCalls;
}

int FakeDeviceBus::closeCalls() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->closeCalls;
}

bool FakeDeviceBus::isOpen(std::string const& name) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto const& devices = state_->devices.everPlugged();
    return std::any_of(devices.begin(), devices.end(),
                       [&](auto const& d) { return d->name == name && d->openBy > 0; });
}

int FakeDeviceBus::lastOpenIndex(std::string const& name) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->lastOpen.find(name);
    return it == state_->lastOpen.end() ? -1 : it->second.first;
}

std::string FakeDeviceBus::lastOpenPortName(std::string const& name) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->lastOpen.find(name);
    return it == state_->lastOpen.end() ? std::string() : it->second.second;
}

int FakeDeviceBus::violations() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->violations;
}

int FakeDeviceBus::liveOutputs() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->live;
}

std::unique_ptr<MidiOutput> FakeDeviceBus::createOutput(std::uint32_t backEnd, std::string const& clientName) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->createFault.empty()) {
        throw std::runtime_error(state_->createFault);
    }
    ++state_->created;
    ++state_->live;
    state_->lastBackEnd = backEnd;
    state_->lastClientName = clientName;
    return std::make_unique<Output>(state_);
}
