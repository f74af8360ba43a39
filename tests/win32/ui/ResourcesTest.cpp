// The resources as windres built them into this program (the same script as tessivane.exe's).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "TessivaneVersion.h"
#include "ui/resource.h"

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;  // 0 stands for 256
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

// (size, bits per pixel) of every image of an icon group, in order.
std::vector<std::tuple<int, int>> groupImages(int id) {
    std::vector<std::tuple<int, int>> images;
    HRSRC const resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    if (resource == nullptr) return images;
    auto const* header = static_cast<GroupIconHeader const*>(LockResource(LoadResource(nullptr, resource)));
    auto const* entries = reinterpret_cast<GroupIconEntry const*>(header + 1);
    for (WORD i = 0; i < header->count; ++i) {
        images.emplace_back(entries[i].width == 0 ? 256 : entries[i].width, entries[i].bitCount);
    }
    return images;
}

}  // namespace

TEST(Resources, BothIconGroupsHoldTheNineImages) {
    std::vector<std::tuple<int, int>> const nine = {
        {256, 8}, {48, 8}, {32, 8}, {16, 8}, {256, 32}, {64, 32}, {48, 32}, {32, 32}, {16, 32}};
    EXPECT_EQ(groupImages(IDI_TESSIVANE), nine);
    EXPECT_EQ(groupImages(IDI_SMALL), nine);
}

namespace {

struct DialogTemplate {
    DWORD style = 0;
    int items = 0;
    int width = 0;
    int height = 0;
    std::wstring caption;
    int pointSize = 0;
    int weight = 0;
    std::wstring font;
};

// Reads the header of an extended dialog template (DIALOGEX) as windres stored it.
DialogTemplate dialogTemplate(int id) {
    DialogTemplate result;
    HRSRC const resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (resource == nullptr) return result;
    auto const* words = static_cast<WORD const*>(LockResource(LoadResource(nullptr, resource)));
    if (words[0] != 1 || words[1] != 0xFFFF) return result;  // version 1, extended
    auto dword = [&](int at) { return static_cast<DWORD>(words[at] | words[at + 1] << 16); };
    result.style = dword(6);
    result.items = words[8];
    result.width = static_cast<short>(words[11]);
    result.height = static_cast<short>(words[12]);
    int at = 13;
    auto skipNameOrOrdinal = [&] {
        if (words[at] == 0xFFFF) { at += 2; return; }
        while (words[at++] != 0) {}
    };
    skipNameOrOrdinal();  // menu
    skipNameOrOrdinal();  // class
    while (words[at] != 0) result.caption += static_cast<wchar_t>(words[at++]);
    ++at;
    result.pointSize = words[at];
    result.weight = words[at + 1];
    at += 3;  // point size, weight, italic and charset
    while (words[at] != 0) result.font += static_cast<wchar_t>(words[at++]);
    return result;
}

}  // namespace

TEST(Resources, DialogTemplatesHaveTheirGeometryStyleAndFont) {
    DialogTemplate const configure = dialogTemplate(IDD_CONFIGURE);
    EXPECT_EQ(configure.style, 0x80C800C8u);
    EXPECT_EQ(configure.width, 300);
    EXPECT_EQ(configure.height, 145);
    EXPECT_EQ(configure.items, 2);  // the text and OK; the tree is made at run time
    EXPECT_EQ(configure.caption, L"Velmora Tessivane");
    EXPECT_EQ(configure.font, L"MS Shell Dlg");
    EXPECT_EQ(configure.pointSize, 8);
    EXPECT_EQ(configure.weight, FW_NORMAL);

    DialogTemplate const about = dialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(about.style, 0x80C800C8u);
    EXPECT_EQ(about.width, 170);
    EXPECT_EQ(about.height, 62);
    EXPECT_EQ(about.items, 4);
    EXPECT_EQ(about.caption, L"About Velmora Tessivane");
    EXPECT_EQ(about.font, L"MS Shell Dlg");
    EXPECT_EQ(about.pointSize, 8);
}

TEST(Resources, StringsMenuAndAccelerators) {
    HINSTANCE const instance = GetModuleHandleW(nullptr);
    char text[100] = {};
    ASSERT_GT(LoadStringA(instance, IDS_APP_TITLE, text, sizeof text), 0);
    EXPECT_STREQ(text, "Tessivane");
    LoadStringA(instance, IDC_TESSIVANE, text, sizeof text);
    EXPECT_STREQ(text, "TESSIVANE");
    LoadStringA(instance, IDS_SETTINGS_KEY, text, sizeof text);
    EXPECT_STREQ(text, "SOFTWARE\\Velmora\\Tessivane");
    LoadStringA(instance, IDS_TRAY_TIP, text, sizeof text);
    EXPECT_STREQ(text, "Velmora Tessivane");

    HMENU const menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDC_TESSIVANE));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Help");
    HMENU const help = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(help), 1);
    GetMenuStringA(help, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&About ...");
    EXPECT_EQ(GetMenuItemID(help, 0), static_cast<UINT>(IDM_ABOUT));
    DestroyMenu(menu);

    HACCEL const accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_TESSIVANE));
    ACCEL table[4] = {};
    ASSERT_EQ(CopyAcceleratorTableA(accelerators, table, 4), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(table[i].fVirt & (FVIRTKEY | FALT), FALT) << i;  // characters, not virtual keys
        EXPECT_EQ(table[i].cmd, IDM_ABOUT);
    }
    EXPECT_EQ(table[0].key, '?');
    EXPECT_EQ(table[1].key, '/');
}

TEST(Resources, VersionInformationNamesProductCompanyAndVersion) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD const size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    auto value = [&](char const* name) {
        char* text = nullptr;
        UINT length = 0;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text
                   ? std::string(text) : std::string();
    };
    EXPECT_EQ(value("ProductName"), "Tessivane");
    EXPECT_EQ(value("CompanyName"), "Velmora");
    EXPECT_EQ(value("ProductVersion"), TESSIVANE_VERSION_TEXT);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS,
              static_cast<DWORD>(TESSIVANE_VERSION_MAJOR << 16 | TESSIVANE_VERSION_MINOR));
}
