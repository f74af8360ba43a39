// MIDI ports through RtMidi's WinMM back end: the outputs through the program's own output seam,
// the inputs, the open probe, and the loop and panic commands.
#include "check/win32/MachineFacts.h"

#include "check/CheckReport.h"
#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortName.h"
#include "midi_input/rtmidi/RtMidiInput.h"
#include "midi_output/rtmidi/RtMidiOutput.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>

namespace {

// The device index of the port named exactly so; throws UsageError naming the candidates.
unsigned indexOf(PortListing const& listing, std::string const& name, char const* what) {
    std::vector<std::string> names;
    for (ListedPort const& port : listing.ports) {
        names.push_back(port.name);
    }
    return listing.ports[findListedName(names, name, what)].index;
}

}  // namespace

PortListing listOutputs() {
    return listPorts([]() -> std::unique_ptr<MidiPortList> {
        return RtMidiOutputFactory().create(kBackEndWinMM, kClientName);
    });
}

PortListing listInputs() {
    return listPorts([]() -> std::unique_ptr<MidiPortList> {
        return RtMidiInputFactory().create(kBackEndWinMM, kClientName);
    });
}

std::optional<std::uint32_t> probeOutput(unsigned index) {
    return withinTime([index] { return probeWinMmOutput(index); }, std::chrono::seconds(5));
}

LoopResult measureLoop(std::string const& output, std::string const& input, unsigned count) {
    unsigned const out = indexOf(listOutputs(), output, "MIDI output");
    unsigned const in = indexOf(listInputs(), input, "MIDI input");
    LoopProbe probe(std::chrono::milliseconds(1000));
    RtMidiIn receiver(RtMidi::WINDOWS_MM, kClientName);
    // Room for the long SysEx in one buffer, where the probe looks for it.
    receiver.setBufferSize(2048, 4);
    receiver.ignoreTypes(false, true, true);
    receiver.setCallback([](double, std::vector<unsigned char>* bytes, void* to) {
        static_cast<LoopProbe*>(to)->received(bytes->data(), bytes->size());
    }, &probe);
    receiver.openPort(in, kOpenPortName);
    RtMidiOut sender(RtMidi::WINDOWS_MM, kClientName);
    sender.openPort(out, kOpenPortName);
    auto const send = [&](LoopProbe::Bytes const& bytes) { sender.sendMessage(bytes.data(), bytes.size()); };
    LoopResult const result = probe.run(send, count);
    receiver.closePort();  // before the probe goes: no callback may reach it after this
    return result;
}

void sendPanic(std::string const& output) {
    // Only Tessivane's " - MIDI" ports: a device itself may be another application's.
    PortListing shared = listOutputs();
    shared.ports.erase(std::remove_if(shared.ports.begin(), shared.ports.end(), [](ListedPort const& port) {
        return port.role != PortRole::TessivanePort || !hasSuffix(port.name.c_str(), kMidiPortSuffix);
    }), shared.ports.end());
    std::unique_ptr<MidiOutput> const port = RtMidiOutputFactory().create(kBackEndWinMM, kClientName);
    port->openPort(indexOf(shared, portNameUtf8(output, kMidiPortSuffix), "port of Tessivane"), kOpenPortName);
    port->closePort();  // the program's own close: Sustain off and All Notes Off on all 16 channels first
}
