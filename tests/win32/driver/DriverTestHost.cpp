// A process that owns simulated ports through teVirtualMIDI64.dll, for tests that need the
// ports in another process than the one talking to them.
//   driver_test_host serve <out port> <in port>   what is written into <out> comes out of <in>;
//                                                  prints "ready", runs until stdin closes
//   driver_test_host create <port>                 exits with 0 or the create's Win32 error
#include <windows.h>

#include <cstdio>

#include "tests/win32/driver/DriverDll.h"

namespace {

DriverDll dll;
VirtualMidiPortHandle inPort = nullptr;

void TE_VM_CALL forwardToIn(VirtualMidiPortHandle, std::uint8_t* bytes, std::uint32_t length,
                            std::uintptr_t) {
    dll.driver.sendData(inPort, bytes, length);
}

char16_t const* name16(wchar_t const* text) { return reinterpret_cast<char16_t const*>(text); }

int serve(wchar_t const* outName, wchar_t const* inName) {
    inPort = dll.driver.createPortEx2(name16(inName), forwardToIn, 1, 65535, 10);
    if (!inPort) return static_cast<int>(GetLastError());
    VirtualMidiPortHandle outPort = dll.driver.createPortEx2(name16(outName), forwardToIn, 1, 65535, 5);
    if (!outPort) return static_cast<int>(GetLastError());
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    dll.driver.shutdown(outPort);
    dll.driver.closePort(outPort);
    dll.driver.shutdown(inPort);
    dll.driver.closePort(inPort);
    std::printf("closed\n");
    return 0;
}

int create(wchar_t const* name) {
    VirtualMidiPortHandle port = dll.driver.createPortEx2(name16(name), forwardToIn, 1, 65535, 5);
    if (!port) {
        DWORD const error = GetLastError();
        std::printf("create failed: %lu\n", static_cast<unsigned long>(error));
        return error ? static_cast<int>(error) : 1;
    }
    dll.driver.shutdown(port);
    dll.driver.closePort(port);
    std::printf("created\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (!dll.driver.complete()) {
        std::fprintf(stderr, "teVirtualMIDI64.dll not loaded\n");
        return 1000;
    }
    if (argc == 4 && lstrcmpW(argv[1], L"serve") == 0) return serve(argv[2], argv[3]);
    if (argc == 3 && lstrcmpW(argv[1], L"create") == 0) return create(argv[2]);
    std::fprintf(stderr, "usage: driver_test_host serve <out> <in> | create <port>\n");
    return 1001;
}
