// Device names are UTF-8 from end to end, whatever the system's code page: this program runs with
// a Japanese locale (code page 932 without the manifest's UTF-8 setting). A name with non-ASCII
// characters is shown right in the tree and the error box, stored and read back byte for byte, and
// matched again after a restart.
#include "engine/PortController.h"
#include "settings/DefaultPortsStore.h"
#include "simulated_driver/SimulatedDriver.h"
#include "tests/win32/settings/TestRegistry.h"
#include "tests/win32/ui/UiFixture.h"
#include "tests/win32/ui/UiRobot.h"
#include "ui/ErrorBox.h"
#include "ui/resource.h"

namespace {

std::string const kPiano = "\xE3\x83\x94\xE3\x82\xA2\xE3\x83\x8E Out";  // "ピアノ Out"
std::wstring const kPianoWide = L"\u30D4\u30A2\u30CE Out";

// 40 bytes: "X" and thirteen 3-byte characters, as the Unicode WinMM call can give a device of 14
// characters. A second device of this name gets a unique name cut to fit 31 bytes with " (2)",
// and every port name is cut to 31 bytes; no cut may leave half a character.
std::string longName() {
    std::string name = "X";
    for (int i = 0; i < 13; ++i) name += "\xE3\x83\x94";  // ピ
    return name;
}

// The simulated driver, but every port it makes for the restarted engine is named apart, so that
// it does not collide with the ports of the engine still running in this process.
VirtualMidiPortHandle TE_VM_CALL createApart(char16_t const* name, VirtualMidiDataCallback callback,
                                             std::uintptr_t instance, std::uint32_t maxSysex,
                                             std::uint32_t flags) {
    std::u16string const apart = u"Restarted " + std::u16string(name);
    return tessivane::simulatedDriver().createPortEx2(apart.c_str(), callback, instance, maxSysex, flags);
}

}  // namespace

TEST(Utf8Names, TheProgramRunsInUtf8UnderAJapaneseLocale) {
    EXPECT_EQ(GetUserDefaultLCID(), 0x0411u) << "run this test with LC_ALL=ja_JP.UTF-8";
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

TEST(Utf8Names, ShownStoredReadBackAndMatchedAfterARestart) {
    clearStoredChoices();
    useDevices({"Synth", kPiano});
    robot::play([] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        HWND const tree = GetDlgItem(dialog, IDC_OUTPUT_TREE);
        std::vector<robot::TreeItem> const items = robot::treeItems(tree);
        robot::TreeItem const* piano = robot::findItem(items, kPiano);
        ASSERT_NE(piano, nullptr) << "the item's text did not come back byte for byte";
        EXPECT_EQ(piano->wideText, kPianoWide);  // and the tree shows the characters
        robot::clickCheckBox(tree, kPiano);
        EXPECT_TRUE(tick());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
    bool enabled = false;
    ASSERT_TRUE(published(kPiano, &enabled));
    EXPECT_TRUE(enabled);

    // Stored as the same bytes, and as the same characters for every other program.
    EXPECT_EQ(storedChoices(), (std::vector<std::string>{kPiano}));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Velmora\\TessivaneUiTests", 0,
                            KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    wchar_t wide[256] = {};
    DWORD size = sizeof wide;
    EXPECT_EQ(RegQueryValueExW(key, L"defaultPorts", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(wide), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(std::wstring(wide), L"{\"ports\":[\"" + kPianoWide + L"\"]}");

    // A restart: a new engine reading the stored choices virtualizes the same output again.
    FakeDeviceBus devices;
    devices.plug("Synth");
    devices.plug(kPiano);
    PortController::Dependencies dependencies;
    dependencies.outputs = &devices;
    dependencies.driver = tessivane::simulatedDriver();
    dependencies.driver.createPortEx2 = createApart;
    PortController restarted(dependencies);
    PortController::Hooks hooks;
    hooks.defaultPorts = loadDefaultPorts;
    restarted.initialize(hooks);  // no timer: the start stops after its first tick
    EXPECT_TRUE(devices.isOpen(kPiano));
    EXPECT_FALSE(devices.isOpen("Synth"));
    clearStoredChoices();
}

TEST(Utf8Names, TwoDevicesWithALongNonAsciiNameAreListedNamedAndChosen) {
    clearStoredChoices();
    std::string const name = longName();
    ASSERT_EQ(name.size(), 40u);
    useDevices({name, name});
    std::vector<PublishedOutputInfo> const records = engine().publishedOutputs();
    ASSERT_EQ(records.size(), 2u);
    std::string const second = records[1].name;
    EXPECT_EQ(second.substr(second.size() - 4), " (2)");
    robot::play([&] {
        HWND const dialog = openConfigureDialog();
        ASSERT_NE(dialog, nullptr);
        HWND const tree = GetDlgItem(dialog, IDC_OUTPUT_TREE);
        // Both clicks before the tick: its ports-changed message rebuilds the tree.
        for (std::string const& shown : {name, second}) {
            ASSERT_NE(robot::findItem(robot::treeItems(tree), shown), nullptr)
                << "not listed whole, or not given back unchanged: " << shown;
            robot::clickCheckBox(tree, shown);
        }
        EXPECT_TRUE(tick());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(robot::waitUntilGone(dialog));
    });
    for (std::string const& chosen : {name, second}) {
        bool enabled = false;
        ASSERT_TRUE(published(chosen, &enabled));
        EXPECT_TRUE(enabled) << "the enable request was dropped for " << chosen;
    }
    EXPECT_EQ(storedChoices(), (std::vector<std::string>{name, second}));

    // Four ports, each name at most 31 bytes of whole characters; the second device's keep "(2)".
    int ports = 0, numbered = 0;
    for (std::u16string const& port : tessivane::simulatedPortNames()) {
        if (port.rfind(u"X\u30D4", 0) != 0) continue;
        ++ports;
        std::wstring const wide(port.begin(), port.end());
        EXPECT_EQ(wide.find(L'\uFFFD'), std::wstring::npos) << "half a character in a port name";
        int const bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        EXPECT_LE(bytes - 1, 31);
        numbered += wide.find(L" (2) - ") != std::wstring::npos;
    }
    EXPECT_EQ(ports, 4);
    EXPECT_EQ(numbered, 2);
    clearStoredChoices();
}

TEST(Utf8Names, TheErrorBoxShowsNonAsciiTextUnchanged) {
    std::string const text = "Error: " + kPiano + " is in use.";
    robot::playWhile([&] { showErrorBox(text.c_str()); }, [] {
        HWND const box = robot::waitForWindow("Velmora Tessivane Error", "#32770");
        ASSERT_NE(box, nullptr);
        wchar_t shown[256] = {};
        GetDlgItemTextW(box, 0xFFFF, shown, 256);
        EXPECT_EQ(std::wstring(shown), L"Error: " + kPianoWide + L" is in use.");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
}
