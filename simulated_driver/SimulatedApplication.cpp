#include "simulated_driver/SimulatedApplication.h"

#include <utility>

#include "simulated_driver/SimulatedPort.h"

namespace tessivane {

namespace {

std::unique_ptr<SimulatedConnection> connect(std::shared_ptr<SimulatedPortState> port) {
    if (!port || port->isShut()) return nullptr;
    auto connection = std::make_unique<SimulatedConnection>(port);
    if (port->sendsToReaders()) port->addReader(connection.get());
    return connection;
}

}  // namespace

std::unique_ptr<SimulatedApplicationPort> SimulatedApplicationPort::open(std::u16string const& name) {
    auto connection = connect(findLivePort(name));
    if (!connection) return nullptr;
    return std::unique_ptr<SimulatedApplicationPort>(new SimulatedApplicationPort(std::move(connection)));
}

std::unique_ptr<SimulatedApplicationPort> SimulatedApplicationPort::open(VirtualMidiPortHandle port) {
    auto connection = connect(port ? port->state : nullptr);
    if (!connection) return nullptr;
    return std::unique_ptr<SimulatedApplicationPort>(new SimulatedApplicationPort(std::move(connection)));
}

SimulatedApplicationPort::SimulatedApplicationPort(std::unique_ptr<SimulatedConnection> connection)
    : connection_(std::move(connection)) {}

SimulatedApplicationPort::~SimulatedApplicationPort() {
    connection_->port->removeReader(connection_.get());
}

bool SimulatedApplicationPort::write(std::uint8_t const* bytes, std::size_t length) {
    return connection_->write(bytes, length);
}

void SimulatedApplicationPort::flush() { connection_->flush(); }

std::uint64_t SimulatedApplicationPort::lost() const { return connection_->lost(); }

std::optional<std::vector<std::uint8_t>> SimulatedApplicationPort::read(
    std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> message;
    if (!connection_->read(message, timeout)) return std::nullopt;
    return message;
}

}  // namespace tessivane
