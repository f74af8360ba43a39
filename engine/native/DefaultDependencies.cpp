// The native build has no MIDI output back end and no multimedia timer: its process-wide
// instance can enumerate nothing and never starts a timer. Tests build controllers of their own.
#include <stdexcept>

#include "engine/PortController.h"
#include "virtual_midi/VirtualMidiBinding.h"

namespace {

class NoOutputs : public MidiOutputFactory {
public:
    std::unique_ptr<MidiOutput> create(std::uint32_t, std::string const&) override {
        throw std::runtime_error("Error: this build has no MIDI output back end.");
    }
};

}  // namespace

PortController::Dependencies defaultDependencies() {
    static NoOutputs outputs;
    PortController::Dependencies dependencies;
    dependencies.outputs = &outputs;
    dependencies.driver = virtualMidiBinding().driver;
    dependencies.driverError = virtualMidiBinding().error;
    return dependencies;
}
