// The fake device bus's inputs: their device list, the input objects, and the players.
#include "midi_output/fake_bus/FakeDeviceBus.h"

#include "midi_common/MidiOpenError.h"
#include "midi_input/ReceiverGate.h"
#include "midi_output/fake_bus/FakeDeviceList.h"

#include <algorithm>
#include <deque>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

// What RtMidiInput throws, with WinMM's code, when the system refuses an open.
char const kRefusedOpenText[] = "MidiInWinMM::openPort: error creating Windows MM MIDI input port.";

// The input whose receiver this thread is calling now, to catch calls back into it.
thread_local void const* tInsideReceiverOf = nullptr;

}  // namespace

// One physical input device with what a test queued for it to play; its record is what it
// delivered.
struct FakeDeviceBus::InputDevice : FakeDevice {
    struct Delivery {
        Message bytes;
        std::chrono::microseconds pace;
        bool first;  // of what one playInput queued: pacing starts afresh
    };
    Input* holder = nullptr;  // the input holding it open
    std::deque<Delivery> queue;
    std::condition_variable wake;  // something queued, or the bus stops
    std::thread player;            // started by the first playInput
};

struct FakeDeviceBus::InputState {
    mutable std::mutex mutex;
    mutable std::condition_variable idle;  // nothing pending any more
    std::condition_variable released;      // blocked deliveries may go on
    FakeDeviceList<InputDevice> devices{"input"};
    bool stopping = false;

    struct OpenFault {
        std::string text;
        std::uint32_t systemCode;
    };
    std::string createFault;
    std::map<std::string, OpenFault> openFaults;
    std::set<std::string> blockedNames;
    std::uint64_t releaseGeneration = 0;
    int blocked = 0;

    std::uint64_t nextSequence = 0;
    std::uint64_t pending = 0;  // queued and not yet delivered or dropped
    std::uint64_t delivered = 0;
    std::uint64_t dropped = 0;
    int created = 0;
    std::string lastClientName;
    int openCalls = 0;
    int closeCalls = 0;
    int live = 0;
    int violations = 0;
    std::map<std::string, int> lastOpen;

    void play(InputDevice& device);
    void deliver(std::unique_lock<std::mutex>& lock, InputDevice& device, Message const& bytes);
};

// An input object, with the WinMM back end's behaviour where the engine can tell the difference.
class FakeDeviceBus::Input : public MidiInput {
public:
    explicit Input(std::shared_ptr<InputState> state) : state_(std::move(state)) {}

    ~Input() override {
        bool wait = true;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            --state_->live;
            wait = !insideOwnReceiver();  // counted; waiting would never end
            detach();
        }
        if (wait) {
            gate.close();
        }
    }

    unsigned portCount() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        insideOwnReceiver();
        return static_cast<unsigned>(state_->devices.size());
    }

    std::string portName(unsigned index) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        insideOwnReceiver();
        return state_->devices.at(index)->name;
    }

    void openPort(unsigned index, MidiInputReceiver& receiver) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->openCalls;
        if (insideOwnReceiver() || device_) {
            return;  // RtMidi only warns about a second open
        }
        std::shared_ptr<InputDevice> device = state_->devices.at(index);
        auto fault = state_->openFaults.find(device->name);
        if (fault != state_->openFaults.end()) {
            if (fault->second.systemCode != 0) {
                throw MidiOpenError(fault->second.text, fault->second.systemCode);
            }
            throw std::runtime_error(fault->second.text);
        }
        // WinMM admits one open of an input device, in any process.
        if (device->holder != nullptr) {
            throw MidiOpenError(kRefusedOpenText, kMidiErrorAllocated);
        }
        device->holder = this;
        device_ = device;
        gate.open(receiver);
        state_->lastOpen[device->name] = static_cast<int>(index);
        open_.store(true, std::memory_order_release);
    }

    bool isPortOpen() const override { return open_.load(std::memory_order_acquire); }

    void closePort() override {
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            ++state_->closeCalls;
            if (insideOwnReceiver()) {
                return;  // counted; waiting would never end
            }
            detach();
        }
        // A delivery that got in before the detach may still run; wait for it to return.
        gate.close();
    }

    ReceiverGate gate;  // every delivery passes through it

private:
    // Counts a call made from inside this input's own receiver; the caller holds the mutex.
    bool insideOwnReceiver() {
        if (tInsideReceiverOf != this) {
            return false;
        }
        ++state_->violations;
        return true;
    }

    // Lets go of the device; the caller holds the mutex.
    void detach() {
        open_.store(false, std::memory_order_release);
        if (device_) {
            device_->holder = nullptr;
            device_.reset();
        }
    }

    std::shared_ptr<InputState> state_;
    std::shared_ptr<InputDevice> device_;  // guarded by the mutex; set while open
    std::atomic<bool> open_{false};
};

void FakeDeviceBus::InputState::play(InputDevice& device) {
    std::unique_lock<std::mutex> lock(mutex);
    auto due = std::chrono::steady_clock::now();
    for (;;) {
        device.wake.wait(lock, [&] { return stopping || !device.queue.empty(); });
        if (stopping) {
            break;
        }
        InputDevice::Delivery delivery = std::move(device.queue.front());
        device.queue.pop_front();
        if (delivery.first) {
            due = std::chrono::steady_clock::now();
        }
        if (delivery.pace.count() > 0) {
            due += delivery.pace;
            lock.unlock();
            while (std::chrono::steady_clock::now() < due) {
                std::this_thread::sleep_until(due);  // may wake early under Wine
            }
            lock.lock();
        }
        deliver(lock, device, delivery.bytes);
        if (--pending == 0) {
            idle.notify_all();
        }
    }
    // What is still queued goes with the bus.
    dropped += device.queue.size();
    pending -= device.queue.size();
    device.queue.clear();
    idle.notify_all();
}

void FakeDeviceBus::InputState::deliver(std::unique_lock<std::mutex>& lock, InputDevice& device,
                                        Message const& bytes) {
    // Entered under the mutex, so that the holder's closePort, which detaches under it, either
    // finds this delivery inside its gate and waits, or is never reached by it.
    Input* const holder = device.plugged ? device.holder : nullptr;
    if (holder == nullptr || !holder->gate.enter()) {
        ++dropped;
        return;
    }
    if (blockedNames.count(device.name) != 0) {
        ++blocked;
        std::uint64_t const generation = releaseGeneration;
        released.wait(lock, [&] { return releaseGeneration != generation; });
        --blocked;
    }
    ++delivered;
    device.record.emplace_back(nextSequence++, bytes);
    lock.unlock();
    bool threw = false;
    tInsideReceiverOf = holder;
    try {
        holder->gate.receiver().receive(bytes.data(), bytes.size());
    } catch (...) {
        threw = true;  // it would unwind into WinMM's thread
    }
    tInsideReceiverOf = nullptr;
    holder->gate.leave();  // from here on the input may be closed and gone
    lock.lock();
    if (threw) {
        ++violations;
    }
}

std::shared_ptr<FakeDeviceBus::InputState> FakeDeviceBus::makeInputState() {
    return std::make_shared<InputState>();
}

void FakeDeviceBus::stopInputDevices() {
    std::vector<std::thread> players;
    {
        std::lock_guard<std::mutex> lock(inputs_->mutex);
        inputs_->stopping = true;
        inputs_->blockedNames.clear();
        ++inputs_->releaseGeneration;
        for (auto const& device : inputs_->devices.everPlugged()) {
            device->wake.notify_all();
            if (device->player.joinable()) {
                players.push_back(std::move(device->player));
            }
        }
    }
    inputs_->released.notify_all();
    for (std::thread& player : players) {
        player.join();
    }
}

void FakeDeviceBus::clearInputFaults() {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->createFault.clear();
    inputs_->openFaults.clear();
}

unsigned FakeDeviceBus::plugInput(std::string const& name) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    unsigned const index = static_cast<unsigned>(inputs_->devices.size());
    inputs_->devices.plugAt(index, name);
    return index;
}

void FakeDeviceBus::plugInputAt(unsigned index, std::string const& name) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->devices.plugAt(index, name);
}

void FakeDeviceBus::unplugInputAt(unsigned index) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->devices.unplugAt(index);
}

bool FakeDeviceBus::unplugInput(std::string const& name) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->devices.unplug(name);
}

void FakeDeviceBus::renameInput(unsigned index, std::string const& newName) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->devices.at(index)->name = newName;
}

void FakeDeviceBus::reorderInputs(std::vector<unsigned> const& order) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->devices.reorder(order);
}

std::vector<std::string> FakeDeviceBus::inputNames() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->devices.names();
}

void FakeDeviceBus::failInputCreate(std::string const& text) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->createFault = text;
}

void FakeDeviceBus::failInputOpen(std::string const& name, std::string const& text, std::uint32_t systemCode) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->openFaults[name] = {text, systemCode};
}

void FakeDeviceBus::holdInputElsewhere(std::string const& name) {
    failInputOpen(name, kRefusedOpenText, kMidiErrorAllocated);
}

void FakeDeviceBus::playInput(std::string const& name, std::vector<Message> const& deliveries,
                              std::chrono::microseconds pace) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    auto const& plugged = inputs_->devices.plugged();
    auto const& ever = inputs_->devices.everPlugged();
    auto const named = [&](auto const& device) { return device->name == name; };
    std::shared_ptr<InputDevice> device;
    auto const found = std::find_if(plugged.begin(), plugged.end(), named);
    if (found != plugged.end()) {
        device = *found;
    } else {
        auto const last = std::find_if(ever.rbegin(), ever.rend(), named);
        if (last == ever.rend()) {
            throw std::invalid_argument("no MIDI input named '" + name + "' was ever plugged");
        }
        device = *last;
    }
    for (Message const& bytes : deliveries) {
        device->queue.push_back({bytes, pace, &bytes == &deliveries.front()});
    }
    inputs_->pending += deliveries.size();
    if (!device->player.joinable() && !inputs_->stopping) {
        device->player = std::thread([state = inputs_.get(), player = device.get()] { state->play(*player); });
    }
    device->wake.notify_one();
}

bool FakeDeviceBus::waitUntilPlayed(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(inputs_->mutex);
    return inputs_->idle.wait_for(lock, timeout, [&] { return inputs_->pending == 0; });
}

void FakeDeviceBus::blockDeliveries(std::string const& name) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    inputs_->blockedNames.insert(name);
}

void FakeDeviceBus::releaseDeliveries() {
    {
        std::lock_guard<std::mutex> lock(inputs_->mutex);
        inputs_->blockedNames.clear();
        ++inputs_->releaseGeneration;
    }
    inputs_->released.notify_all();
}

int FakeDeviceBus::blockedDeliveries() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->blocked;
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::shortMessages(std::size_t count, std::uint8_t status) {
    std::vector<Message> messages;
    messages.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        messages.push_back(
            {status, static_cast<std::uint8_t>((i >> 7) & 0x7F), static_cast<std::uint8_t>(i & 0x7F)});
    }
    return messages;
}

FakeDeviceBus::Message FakeDeviceBus::sysex(std::size_t length) {
    if (length < 2) {
        throw std::invalid_argument("a SysEx has at least 0xF0 and 0xF7");
    }
    Message bytes(length);
    bytes.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i + i / 128) & 0x7F);  // a lost block shifts what follows
    }
    bytes.back() = 0xF7;
    return bytes;
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::sysexBuffers(Message const& sysex, std::size_t bufferSize,
                                                                std::uint8_t realTime, RealTimeAt at) {
    if (bufferSize == 0) {
        throw std::invalid_argument("sysexBuffers: buffers hold at least one byte");
    }
    std::vector<Message> buffers;
    for (std::size_t from = 0; from < sysex.size(); from += bufferSize) {
        Message buffer(sysex.begin() + from, sysex.begin() + std::min(from + bufferSize, sysex.size()));
        if (realTime != 0 && at == RealTimeAt::InsideBuffers) {
            buffer.insert(buffer.begin() + buffer.size() / 2, realTime);
        } else if (realTime != 0 && from > 0) {
            buffers.push_back({realTime});
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

std::vector<FakeDeviceBus::Message> FakeDeviceBus::inputDelivered(std::string const& name) const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->devices.records(name, false);
}

std::uint64_t FakeDeviceBus::deliveredCount() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->delivered;
}

std::uint64_t FakeDeviceBus::droppedCount() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->dropped;
}

int FakeDeviceBus::createdInputs() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->created;
}

std::string FakeDeviceBus::lastInputClientName() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->lastClientName;
}

int FakeDeviceBus::inputOpenCalls() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->openCalls;
}

int FakeDeviceBus::inputCloseCalls() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->closeCalls;
}

int FakeDeviceBus::liveInputs() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->live;
}

bool FakeDeviceBus::isInputOpen(std::string const& name) const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    auto const& devices = inputs_->devices.everPlugged();
    return std::any_of(devices.begin(), devices.end(),
                       [&](auto const& d) { return d->name == name && d->holder != nullptr; });
}

int FakeDeviceBus::lastInputOpenIndex(std::string const& name) const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    auto const it = inputs_->lastOpen.find(name);
    return it == inputs_->lastOpen.end() ? -1 : it->second;
}

int FakeDeviceBus::inputViolations() const {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    return inputs_->violations;
}

std::unique_ptr<MidiInput> FakeDeviceBus::createInput(std::uint32_t backEnd, std::string const& clientName) {
    std::lock_guard<std::mutex> lock(inputs_->mutex);
    if (!inputs_->createFault.empty()) {
        throw std::runtime_error(inputs_->createFault);
    }
    ++inputs_->created;
    ++inputs_->live;
    inputs_->lastClientName = clientName;
    return std::make_unique<Input>(inputs_);
}
