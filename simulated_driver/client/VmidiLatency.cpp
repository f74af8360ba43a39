// vmidi-latency: round-trip time of MIDI messages through a pair of simulated ports, as another
// application sees it: send a note into one port, wait until it comes out of the other.
//   vmidi-latency <out port> <in port> [--count N]
//       through ports that another process hosts (the real program's loopback pair, say)
//   vmidi-latency --host <name>
//       hosts a pair "<name> Out" / "<name> In" with teVirtualMIDI64.dll until ended; its data
//       callback sends each message straight out of the " In" port. Measured from another process
//       like the program's loopback pair, it shows the simulated driver's and Wine's own cost.
// Prints the median, 99th percentile and largest round trip in microseconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/client/PipeClient.h"
#include "virtual_midi/win32/VirtualMidiLoader.h"

namespace {

using tessivane::PipeClient;

VirtualMidiDriver hostDriver;
VirtualMidiPortHandle hostInPort = nullptr;

void TE_VM_CALL sendStraightBack(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                                 std::uintptr_t) {
    if (hostInPort != nullptr) hostDriver.sendData(hostInPort, bytes, length);
}

double microsecondsSince(LARGE_INTEGER const& start, LARGE_INTEGER const& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1e6 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int measure(std::u16string const& outPort, std::u16string const& inPort, long count) {
    PipeClient reader, writer;
    if (reader.connect(inPort, true) != PipeClient::Status::Ok ||
        writer.connect(outPort, false) != PipeClient::Status::Ok) {
        std::fprintf(stderr, "vmidi-latency: cannot open the ports (error %lu)\n",
                     static_cast<unsigned long>(reader.lastError() ? reader.lastError() : writer.lastError()));
        return 3;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> trips;
    trips.reserve(static_cast<std::size_t>(count));
    std::vector<std::uint8_t> message;
    for (long i = 0; i < count; ++i) {
        std::vector<std::uint8_t> const note{0x90, static_cast<std::uint8_t>(i & 0x7F), 0x40};
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        if (writer.send(note) != PipeClient::Status::Ok ||
            reader.receive(message, std::chrono::milliseconds(5000)) != PipeClient::Status::Ok ||
            message != note) {
            std::fprintf(stderr, "vmidi-latency: message %ld did not come back\n", i);
            return 1;
        }
        trips.push_back(microsecondsSince(start, frequency));
    }
    std::sort(trips.begin(), trips.end());
    auto at = [&](double share) { return trips[std::min(trips.size() - 1, static_cast<std::size_t>(share * trips.size()))]; };
    std::printf("%ld round trips: median %.0f us, 99th percentile %.0f us, largest %.0f us\n", count,
                at(0.5), at(0.99), trips.back());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    long count = 10000;
    bool host = false;
    std::vector<std::u16string> names;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--count") == 0 && i + 1 < argc) {
            count = std::wcstol(argv[++i], nullptr, 10);
        } else if (std::wcscmp(argv[i], L"--host") == 0) {
            host = true;
        } else {
            names.emplace_back(argv[i], argv[i] + std::wcslen(argv[i]));
        }
    }
    if (count <= 0 || names.size() != (host ? 1u : 2u)) {
        std::fprintf(stderr, "usage: vmidi-latency <out port> <in port> [--count N]\n"
                             "       vmidi-latency --host <name>\n");
        return 2;
    }
    if (!host) return measure(names[0], names[1], count);

    VirtualMidiBinding const binding = loadVirtualMidiLibrary("teVirtualMIDI64.dll");
    if (!binding.driver.complete()) {
        std::fprintf(stderr, "vmidi-latency: %s\n", binding.error.c_str());
        return 3;
    }
    hostDriver = binding.driver;
    hostInPort = hostDriver.createPortEx2((names[0] + u" In").c_str(), &sendStraightBack, 0, 0xFFFF,
                                          kVirtualMidiParseTx | kVirtualMidiTxOnly);
    VirtualMidiPortHandle const out = hostDriver.createPortEx2(
        (names[0] + u" Out").c_str(), &sendStraightBack, 1, 0xFFFF, kVirtualMidiParseRx | kVirtualMidiRxOnly);
    if (hostInPort == nullptr || out == nullptr) {
        std::fprintf(stderr, "vmidi-latency: the driver made no port\n");
        return 3;
    }
    Sleep(INFINITE);  // until ended; the process's end takes the ports with it
    return 0;
}
