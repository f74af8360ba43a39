#include "simulated_driver/SimulatedPort.h"

#include <algorithm>
#include <utility>

namespace tessivane {

namespace {

// The port whose callback this thread is running, so that a shutdown from inside that callback
// does not wait for itself.
thread_local SimulatedPortState* tCallbackPort = nullptr;

// An application that never reads must not make the driver grow without bound; what does not fit
// is lost, and counted for the reader.
std::size_t const kInboxLimit = 4096;

}  // namespace

SimulatedPortState::SimulatedPortState(std::u16string name, VirtualMidiDataCallback callback,
                                       std::uintptr_t instance, std::uint32_t maxSysexLength,
                                       std::uint32_t flags)
    : name(std::move(name)),
      callback(callback),
      instance(instance),
      maxSysexLength(maxSysexLength),
      flags(flags),
      sendParser_(maxSysexLength,
                  [this](std::uint8_t* bytes, std::size_t length) { publish(bytes, length); }) {}

bool SimulatedPortState::acceptsWrites() const {
    return (flags & kVirtualMidiRxOnly) || !(flags & kVirtualMidiTxOnly);
}

bool SimulatedPortState::sendsToReaders() const {
    return (flags & kVirtualMidiTxOnly) || !(flags & kVirtualMidiRxOnly);
}

void SimulatedPortState::deliver(std::uint8_t* bytes, std::size_t length) {
    if (!callback || length == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_) return;
        ++runningCallbacks_;
    }
    SimulatedPortState* const outer = tCallbackPort;
    tCallbackPort = this;
    callback(handle, bytes, static_cast<std::uint32_t>(length), instance);
    tCallbackPort = outer;
    std::lock_guard<std::mutex> lock(mutex_);
    if (--runningCallbacks_ == 0) idle_.notify_all();
}

bool SimulatedPortState::send(std::uint8_t const* bytes, std::size_t length) {
    if (!sendsToReaders() || isShut()) return false;
    if (flags & kVirtualMidiParseTx) {
        std::lock_guard<std::mutex> lock(sendMutex_);
        sendParser_.feed(bytes, length);
    } else {
        publish(bytes, length);
    }
    return true;
}

void SimulatedPortState::publish(std::uint8_t const* bytes, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shut_) return;
    for (SimulatedConnection* reader : readers_) reader->receive(bytes, length);
}

void SimulatedPortState::shutdown() {
    std::unique_lock<std::mutex> lock(mutex_);
    shut_ = true;
    int const own = tCallbackPort == this ? 1 : 0;
    idle_.wait(lock, [&] { return runningCallbacks_ <= own; });
}

bool SimulatedPortState::isShut() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shut_;
}

void SimulatedPortState::addReader(SimulatedConnection* reader) {
    std::lock_guard<std::mutex> lock(mutex_);
    readers_.push_back(reader);
}

void SimulatedPortState::removeReader(SimulatedConnection* reader) {
    std::lock_guard<std::mutex> lock(mutex_);
    readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

SimulatedConnection::SimulatedConnection(std::shared_ptr<SimulatedPortState> port)
    : port(std::move(port)),
      parser_(this->port->maxSysexLength,
              [this](std::uint8_t* bytes, std::size_t length) { this->port->deliver(bytes, length); }),
      thread_([this] { run(); }) {}

SimulatedConnection::~SimulatedConnection() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool SimulatedConnection::write(std::uint8_t const* bytes, std::size_t length) {
    if (!port->acceptsWrites() || port->isShut()) return false;
    if (length == 0) return true;
    if (!bytes) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.emplace_back(bytes, bytes + length);
    }
    wake_.notify_one();
    return true;
}

void SimulatedConnection::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    drained_.wait(lock, [&] { return stopping_ || (pending_.empty() && inProgress_ == 0); });
}

bool SimulatedConnection::read(std::vector<std::uint8_t>& message,
                               std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(inboxMutex_);
    if (!inboxReady_.wait_for(lock, timeout, [&] { return !inbox_.empty(); })) return false;
    message = std::move(inbox_.front());
    inbox_.pop_front();
    return true;
}

void SimulatedConnection::receive(std::uint8_t const* bytes, std::size_t length) {
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        if (inbox_.size() >= kInboxLimit) {
            ++lost_;
            return;
        }
        inbox_.emplace_back(bytes, bytes + length);
    }
    inboxReady_.notify_one();
}

std::uint64_t SimulatedConnection::lost() {
    std::lock_guard<std::mutex> lock(inboxMutex_);
    return lost_;
}

void SimulatedConnection::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
        if (stopping_) return;  // what is still queued goes with the connection
        std::vector<std::uint8_t> block = std::move(pending_.front());
        pending_.pop_front();
        ++inProgress_;
        lock.unlock();
        if (port->parsesWrites())
            parser_.feed(block.data(), block.size());
        else
            port->deliver(block.data(), block.size());
        lock.lock();
        --inProgress_;
        if (pending_.empty() && inProgress_ == 0) drained_.notify_all();
    }
}

}  // namespace tessivane
