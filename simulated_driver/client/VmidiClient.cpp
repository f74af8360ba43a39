// vmidi-client: another application for the simulated driver's ports, at a terminal or in a test.
//   vmidi-client send "<port>" 90 3C 7F ...
//   vmidi-client receive "<port>" [--count N] [--timeout MS]
//   vmidi-client list
// Exit codes: 0 done, 1 timed out or failed, 2 bad command line, 3 no such port.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "simulated_driver/PortNameCodec.h"
#include "simulated_driver/client/HexBytes.h"
#include "simulated_driver/client/PipeClient.h"
#include "simulated_driver/dll/PortDirectory.h"

namespace {

using tessivane::PipeClient;

int const kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitNoPort = 3;

std::string utf8(wchar_t const* text) {
    return tessivane::utf8FromUtf16(std::u16string(text, text + wcslen(text)));
}

int usage() {
    std::fprintf(stderr,
                 "usage: vmidi-client send <port> <hex bytes...>\n"
                 "       vmidi-client receive <port> [--count N] [--timeout MS]\n"
                 "       vmidi-client list\n");
    return kExitUsage;
}

int connectionFailure(PipeClient::Status status, PipeClient const& client, std::string const& port) {
    if (status == PipeClient::Status::NoSuchPort) {
        std::fprintf(stderr, "vmidi-client: no port named \"%s\"\n", port.c_str());
        return kExitNoPort;
    }
    std::fprintf(stderr, "vmidi-client: cannot use port \"%s\" (error %lu)\n", port.c_str(),
                 static_cast<unsigned long>(client.lastError()));
    return kExitFailed;
}

int send(std::u16string const& port, std::vector<std::string> const& hex) {
    auto const bytes = tessivane::parseHexBytes(hex);
    if (!bytes || bytes->empty()) {
        std::fprintf(stderr, "vmidi-client: bytes must be two-digit hex values\n");
        return kExitUsage;
    }
    PipeClient client;
    std::string const name = tessivane::utf8FromUtf16(port);
    auto status = client.connect(port, false);
    if (status != PipeClient::Status::Ok) return connectionFailure(status, client, name);
    status = client.send(*bytes);
    if (status != PipeClient::Status::Ok) return connectionFailure(status, client, name);
    return kExitDone;
}

int receive(std::u16string const& port, long count, long timeoutMs) {
    PipeClient client;
    std::string const name = tessivane::utf8FromUtf16(port);
    auto status = client.connect(port, true);
    if (status != PipeClient::Status::Ok) return connectionFailure(status, client, name);
    std::fprintf(stderr, "listening on \"%s\"\n", name.c_str());
    std::fflush(stderr);

    auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (long received = 0; received < count; ++received) {
        auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::vector<std::uint8_t> message;
        status = client.receive(message, left);
        if (status == PipeClient::Status::TimedOut) {
            std::fprintf(stderr, "vmidi-client: timed out after %ld of %ld messages\n", received, count);
            return kExitFailed;
        }
        if (status != PipeClient::Status::Ok) {
            std::fprintf(stderr, "vmidi-client: port \"%s\" went away\n", name.c_str());
            return kExitFailed;
        }
        std::printf("%s\n", tessivane::formatHexBytes(message.data(), message.size()).c_str());
        std::fflush(stdout);
    }
    return kExitDone;
}

int list() {
    for (auto const& name : tessivane::listedLivePorts()) std::printf("%s\n", tessivane::utf8FromUtf16(name).c_str());
    return kExitDone;
}

bool parseNumber(wchar_t const* text, long& value) {
    wchar_t* end = nullptr;
    value = std::wcstol(text, &end, 10);
    return end != text && *end == L'\0' && value >= 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    std::wstring const command = argv[1];
    if (command == L"list" && argc == 2) return list();
    if (argc < 3) return usage();
    std::u16string const port(argv[2], argv[2] + wcslen(argv[2]));
    if (command == L"send") {
        std::vector<std::string> hex;
        for (int i = 3; i < argc; ++i) hex.push_back(utf8(argv[i]));
        return send(port, hex);
    }
    if (command == L"receive") {
        long count = 1, timeoutMs = 5000;
        for (int i = 3; i < argc; ++i) {
            std::wstring const option = argv[i];
            if (i + 1 >= argc) return usage();
            if (option == L"--count" && parseNumber(argv[i + 1], count)) {
                ++i;
            } else if (option == L"--timeout" && parseNumber(argv[i + 1], timeoutMs)) {
                ++i;
            } else {
                return usage();
            }
        }
        return receive(port, count, timeoutMs);
    }
    return usage();
}
