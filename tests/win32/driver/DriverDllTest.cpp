#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tests/unit/driver/Receiver.h"

#include "simulated_driver/client/PipeClient.h"
#include "simulated_driver/dll/PortDirectory.h"
#include "tests/win32/driver/DriverDll.h"

namespace tessivane {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;


// The exit code of driver_test_host run with these arguments in a process of its own.
DWORD runHost(std::wstring const& arguments) {
    wchar_t path[MAX_PATH];
    DWORD const length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, length);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"driver_test_host.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 0xFFFFFFFF;
    Win32Handle processHandle(process.hProcess);
    Win32Handle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

class DriverDllTest : public ::testing::Test {
protected:
    static DriverDll& dll() {
        static DriverDll instance;
        return instance;
    }
    void SetUp() override { ASSERT_TRUE(dll().driver.complete()) << "teVirtualMIDI64.dll or its exports missing"; }
    VirtualMidiDriver const& driver() { return dll().driver; }
};

TEST_F(DriverDllTest, ANameTakenInThisOrAnotherProcessFailsWith183) {
    Receiver r;
    VirtualMidiPortHandle port = driver().createPortEx2(u"Sim Taken", &Receiver::onData, r.instance(), 65535, 5);
    ASSERT_NE(port, nullptr);
    SetLastError(0);
    EXPECT_EQ(driver().createPortEx2(u"Sim Taken", &Receiver::onData, r.instance(), 65535, 5), nullptr);
    EXPECT_EQ(GetLastError(), kVirtualMidiErrorAlreadyExists);
    EXPECT_EQ(runHost(L"create \"Sim Taken\""), kVirtualMidiErrorAlreadyExists);

    driver().shutdown(port);
    driver().closePort(port);
    EXPECT_EQ(runHost(L"create \"Sim Taken\""), 0u);  // free again once closed
}

TEST_F(DriverDllTest, NamesInTheRefusalVariableAreNotCreated) {
    Receiver r;
    ASSERT_TRUE(SetEnvironmentVariableW(L"TESSIVANE_SIM_REFUSE", L"Sim Refused|Sim \u00c9"));
    EXPECT_EQ(driver().createPortEx2(u"Sim Refused", &Receiver::onData, r.instance(), 65535, 5), nullptr);
    EXPECT_EQ(driver().createPortEx2(u"Sim \u00c9", &Receiver::onData, r.instance(), 65535, 5), nullptr);
    VirtualMidiPortHandle other = driver().createPortEx2(u"Sim Allowed", &Receiver::onData, r.instance(), 65535, 5);
    EXPECT_NE(other, nullptr);
    driver().closePort(other);  // without shutdown: close does it
    SetEnvironmentVariableW(L"TESSIVANE_SIM_REFUSE", nullptr);
    VirtualMidiPortHandle now = driver().createPortEx2(u"Sim Refused", &Receiver::onData, r.instance(), 65535, 5);
    EXPECT_NE(now, nullptr);
    driver().closePort(now);
}

TEST_F(DriverDllTest, BytesWrittenIntoThePipeArriveAsWholeMessages) {
    Receiver r;
    VirtualMidiPortHandle port = driver().createPortEx2(u"Sim Write \u266B", &Receiver::onData, r.instance(), 65535, 5);
    ASSERT_NE(port, nullptr);
    {
        PipeClient client;
        ASSERT_EQ(client.connect(u"Sim Write \u266B", false), PipeClient::Status::Ok);
        ASSERT_EQ(client.send({0x90, 0x3C}), PipeClient::Status::Ok);
        ASSERT_EQ(client.send({0x7F, 0x3E, 0x7F, 0xF0, 0x01, 0xF7, 0x42}), PipeClient::Status::Ok);
    }
    ASSERT_TRUE(r.waitFor(3));
    EXPECT_THAT(r.messages, ElementsAre(Bytes{0x90, 0x3C, 0x7F}, Bytes{0x90, 0x3E, 0x7F},
                                        Bytes{0xF0, 0x01, 0xF7}));
    driver().shutdown(port);
    driver().closePort(port);
}

TEST_F(DriverDllTest, AReaderGetsEachSentMessageAndNothingAfterShutdown) {
    VirtualMidiPortHandle port = driver().createPortEx2(u"Sim Read", nullptr, 0, 65535, 10);
    ASSERT_NE(port, nullptr);
    PipeClient reader;
    ASSERT_EQ(reader.connect(u"Sim Read", true), PipeClient::Status::Ok);
    Bytes block{0x90, 0x3C, 0x7F, 0xF8, 0xF0, 0x7D, 0x01, 0xF7};
    EXPECT_EQ(driver().sendData(port, block.data(), static_cast<std::uint32_t>(block.size())), 1);
    Bytes message;
    ASSERT_EQ(reader.receive(message, 5000ms), PipeClient::Status::Ok);
    EXPECT_EQ(message, (Bytes{0x90, 0x3C, 0x7F}));
    ASSERT_EQ(reader.receive(message, 5000ms), PipeClient::Status::Ok);
    EXPECT_EQ(message, (Bytes{0xF8}));
    ASSERT_EQ(reader.receive(message, 5000ms), PipeClient::Status::Ok);
    EXPECT_EQ(message, (Bytes{0xF0, 0x7D, 0x01, 0xF7}));

    EXPECT_EQ(driver().shutdown(port), 1);
    EXPECT_EQ(driver().sendData(port, block.data(), 3), 0);
    EXPECT_NE(reader.receive(message, 200ms), PipeClient::Status::Ok);
    PipeClient late;
    EXPECT_EQ(late.connect(u"Sim Read", true), PipeClient::Status::NoSuchPort);
    driver().closePort(port);
}

TEST_F(DriverDllTest, ClientOfAPortThatDoesNotExistIsToldSo) {
    PipeClient client;
    EXPECT_EQ(client.connect(u"Sim Nowhere", false), PipeClient::Status::NoSuchPort);
}

// The directory lives in the registry, where anything may be found: entries we did not write and
// entries of a process that died without withdrawing them are not listed.
TEST_F(DriverDllTest, ListShowsLivePortsOnlyWhateverTheDirectoryHolds) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tessivane\\SimulatedPorts", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    std::wstring const stale = portPipeName(u"Sim Stale");
    for (std::wstring const& value : {stale.substr(stale.rfind(L'\\') + 1), std::wstring(L"junk"),
                                      std::wstring(L"tessivane-sim-4"), std::wstring(L"tessivane-sim-XY")})
        RegSetValueExW(key, value.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE const*>("\1\0\0\0"), 4);
    RegCloseKey(key);

    VirtualMidiPortHandle port = driver().createPortEx2(u"Sim Listed", nullptr, 0, 65535, 10);
    ASSERT_NE(port, nullptr);
    EXPECT_THAT(listedLivePorts(), ElementsAre(u"Sim Listed"));
    driver().shutdown(port);
    EXPECT_TRUE(listedLivePorts().empty());
    driver().closePort(port);
}

}  // namespace
}  // namespace tessivane
