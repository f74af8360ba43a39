// MIDI ports through RtMidi's WinMM back end: the outputs as the program's own enumeration sees
// them, the inputs, and the loop and panic commands.
#include "check/win32/MachineFacts.h"

#include "check/CheckCommand.h"
#include "engine/EngineTexts.h"
#include "engine/OutputNames.h"
#include "engine/PortName.h"
#include "engine/PortRequest.h"
#include "midi_output/Silence.h"
#include "midi_output/rtmidi/RtMidiOutput.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <iostream>

namespace {

// RtMidi warns on stderr when it finds no devices, which the report says in its own words.
class QuietWarnings {
public:
    QuietWarnings() : saved_(std::cerr.rdbuf(nullptr)) {}
    ~QuietWarnings() {
        std::cerr.rdbuf(saved_);
        std::cerr.clear();
    }
    QuietWarnings(QuietWarnings const&) = delete;
    QuietWarnings& operator=(QuietWarnings const&) = delete;

private:
    std::streambuf* saved_;
};

PortRole roleOf(std::string const& name) {
    if (name.compare(0, std::char_traits<char>::length(kLoopbackName), kLoopbackName) == 0) {
        return PortRole::Loopback;
    }
    return isOwnPortName(name) ? PortRole::TessivanePort : PortRole::Device;
}

template <class Api>
std::unique_ptr<Api> connection() {
    QuietWarnings const quiet;
    return std::make_unique<Api>(RtMidi::WINDOWS_MM, kClientName);
}

std::vector<std::string> namesOf(std::vector<ListedPort> const& ports) {
    std::vector<std::string> names;
    for (ListedPort const& port : ports) {
        names.push_back(port.name);
    }
    return names;
}

void toProbe(double, std::vector<unsigned char>* message, void* probe) {
    if (message && !message->empty()) {
        static_cast<LoopProbe*>(probe)->received(message->data(), message->size());
    }
}

}  // namespace

std::vector<ListedPort> listedOutputs() {
    std::vector<ListedPort> ports;
    std::vector<std::string> devices;
    try {
        // The engine's own enumeration, with the names it reads and makes unique.
        std::unique_ptr<MidiOutput> const outputs = [] {
            QuietWarnings const quiet;
            return RtMidiOutputFactory().create(kBackEndWinMM, kClientName);
        }();
        for (unsigned index = 0; index < outputs->portCount(); ++index) {
            ListedPort port{outputs->portName(index), PortRole::Device, ""};
            port.role = roleOf(port.name);
            if (port.role == PortRole::Device) {
                port.uniqueName = makeUniqueName(
                    port.name, static_cast<unsigned>(std::count(devices.begin(), devices.end(), port.name)));
                devices.push_back(port.name);
            }
            ports.push_back(std::move(port));
        }
    } catch (std::exception const&) {
        // A device that went mid-scan ends the list where it went.
    }
    return ports;
}

std::vector<ListedPort> listedInputs() {
    std::vector<ListedPort> ports;
    try {
        std::unique_ptr<RtMidiIn> const inputs = connection<RtMidiIn>();
        for (unsigned index = 0; index < inputs->getPortCount(); ++index) {
            std::string name = inputs->getPortName(index);
            PortRole const role = roleOf(name);
            ports.push_back({std::move(name), role, ""});
        }
    } catch (std::exception const&) {
    }
    return ports;
}

bool outputCanBeOpened(unsigned index) {
    try {
        // RtMidi's own close sends nothing (it no longer resets the device).
        std::unique_ptr<RtMidiOut> const output = connection<RtMidiOut>();
        output->openPort(index, kOpenPortName);
        return output->isPortOpen();
    } catch (std::exception const&) {
        return false;
    }
}

LoopResult measureLoop(std::string const& output, std::string const& input, unsigned count) {
    unsigned const out = static_cast<unsigned>(findListedName(namesOf(listedOutputs()), output, "MIDI output"));
    unsigned const in = static_cast<unsigned>(findListedName(namesOf(listedInputs()), input, "MIDI input"));
    LoopProbe probe(std::chrono::milliseconds(1000));
    std::unique_ptr<RtMidiIn> const receiver = connection<RtMidiIn>();
    // Room for the long SysEx in one buffer; the probe still joins one that arrives in pieces.
    receiver->setBufferSize(2048, 4);
    receiver->ignoreTypes(false, true, true);
    receiver->setCallback(&toProbe, &probe);
    receiver->openPort(in, kOpenPortName);
    std::unique_ptr<RtMidiOut> const sender = connection<RtMidiOut>();
    sender->openPort(out, kOpenPortName);
    LoopResult const result = probe.run(
        [&](LoopProbe::Bytes const& bytes) { sender->sendMessage(bytes.data(), bytes.size()); }, count);
    receiver->closePort();  // before the probe goes: no callback may reach it after this
    return result;
}

void sendPanic(std::string const& output) {
    std::vector<ListedPort> const outputs = listedOutputs();
    std::vector<std::string> shared;  // the outputs whose " - MIDI" port is listed, by their names
    std::string const suffix = kMidiPortSuffix;
    for (ListedPort const& port : outputs) {
        if (port.role == PortRole::TessivanePort && hasSuffix(port.name.c_str(), kMidiPortSuffix)) {
            shared.push_back(port.name.substr(0, port.name.size() - suffix.size()));
        }
    }
    std::string const portName = portNameUtf8(output, kMidiPortSuffix);
    std::vector<std::string> const names = namesOf(outputs);
    auto const found = std::find(names.begin(), names.end(), portName);
    if (found == names.end()) {
        findListedName(shared, output, "output shared by Tessivane");  // names the candidates
        throw UsageError("\"" + portName + "\" is not listed.");
    }
    std::unique_ptr<RtMidiOut> const sender = connection<RtMidiOut>();
    sender->openPort(static_cast<unsigned>(found - names.begin()), kOpenPortName);
    silenceAllChannels([&](std::uint8_t const* bytes, std::size_t length) { sender->sendMessage(bytes, length); });
}
