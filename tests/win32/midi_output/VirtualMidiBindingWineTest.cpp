// Binding the driver library under Wine, where teVirtualMIDI64.dll is not installed. This exe is
// built into a folder of its own so that the simulated driver's DLL is not found beside it.
#include "virtual_midi/VirtualMidiBinding.h"
#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

TEST(VirtualMidiBinding, MissingDriverGivesAnErrorNamingTheDll) {
    VirtualMidiBinding const& binding = virtualMidiBinding();
    EXPECT_NE(binding.error.find("teVirtualMIDI64.dll"), std::string::npos) << binding.error;
    EXPECT_FALSE(binding.driver.complete());
    EXPECT_EQ(&binding, &virtualMidiBinding());  // bound once
}

TEST(VirtualMidiBinding, LibraryWithoutAnEntryPointNamesIt) {
    VirtualMidiBinding const binding = loadVirtualMidiLibrary("binding_partial_driver.dll");
    EXPECT_NE(binding.error.find("binding_partial_driver.dll"), std::string::npos) << binding.error;
    EXPECT_NE(binding.error.find("virtualMIDIShutdown"), std::string::npos) << binding.error;
    // No half-filled table: nothing of it may be called.
    EXPECT_EQ(binding.driver.createPortEx2, nullptr);
    EXPECT_EQ(binding.driver.sendData, nullptr);
}

TEST(VirtualMidiBinding, CompleteLibraryBindsAllFourEntryPoints) {
    VirtualMidiBinding const binding = loadVirtualMidiLibrary("binding_full_driver.dll");
    ASSERT_TRUE(binding.error.empty()) << binding.error;
    ASSERT_TRUE(binding.driver.complete());
    // The stand-in's entry points answer with their own marks, so each slot holds the right one.
    EXPECT_EQ(binding.driver.sendData(nullptr, nullptr, 0), 2);
    EXPECT_EQ(binding.driver.shutdown(nullptr), 3);
    EXPECT_EQ(binding.driver.createPortEx2(u"x", nullptr, 0, 0, 0), nullptr);
    binding.driver.closePort(nullptr);
}

namespace {

std::wstring exeFolder() {
    wchar_t path[MAX_PATH];
    DWORD const length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring currentFolder() {
    wchar_t path[MAX_PATH];
    DWORD const length = GetCurrentDirectoryW(MAX_PATH, path);
    return std::wstring(path, length);
}

}  // namespace

TEST(VirtualMidiBinding, LooksNeitherInTheCurrentFolderNorOnPath) {
    // A library that exists only in another folder, which is made the current one and put on PATH.
    std::wstring const elsewhere = exeFolder() + L"\\elsewhere";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    std::wstring const inExeFolder = exeFolder() + L"\\binding_full_driver.dll";
    std::wstring const copy = elsewhere + L"\\binding_elsewhere_driver.dll";
    ASSERT_TRUE(CopyFileW(inExeFolder.c_str(), copy.c_str(), FALSE));
    // A copy beside the program, left by an earlier run (it stays loaded until its process ends).
    std::wstring const besideExe = exeFolder() + L"\\binding_elsewhere_driver.dll";
    DeleteFileW(besideExe.c_str());

    std::wstring const savedFolder = currentFolder();
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.c_str()));
    VirtualMidiBinding const fromCurrent = loadVirtualMidiLibrary("binding_elsewhere_driver.dll");
    ASSERT_TRUE(SetCurrentDirectoryW(savedFolder.c_str()));
    EXPECT_FALSE(fromCurrent.driver.complete());
    EXPECT_NE(fromCurrent.error.find("binding_elsewhere_driver.dll"), std::string::npos) << fromCurrent.error;

    wchar_t savedPath[32767];
    DWORD const pathLength = GetEnvironmentVariableW(L"PATH", savedPath, 32767);
    std::wstring const path = elsewhere + L";" + std::wstring(savedPath, pathLength);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", path.c_str()));
    VirtualMidiBinding const fromPath = loadVirtualMidiLibrary("binding_elsewhere_driver.dll");
    SetEnvironmentVariableW(L"PATH", pathLength ? savedPath : nullptr);
    EXPECT_FALSE(fromPath.driver.complete());

    // The same file beside the program is found.
    ASSERT_TRUE(CopyFileW(copy.c_str(), besideExe.c_str(), FALSE));
    VirtualMidiBinding const beside = loadVirtualMidiLibrary("binding_elsewhere_driver.dll");
    EXPECT_TRUE(beside.driver.complete()) << beside.error;
}

TEST(VirtualMidiBinding, System32GoesBeforeTheProgramsFolder) {
    // Two different libraries of one name: the complete one in System32, as the driver's setup
    // installs it, and one without two entry points beside the program, as a stale portable copy.
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring const inSystem = std::wstring(system) + L"\\binding_order_driver.dll";
    std::wstring const besideExe = exeFolder() + L"\\binding_order_driver.dll";
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_full_driver.dll").c_str(), inSystem.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_partial_driver.dll").c_str(), besideExe.c_str(), FALSE));

    VirtualMidiBinding const binding = loadVirtualMidiLibrary("binding_order_driver.dll");
    EXPECT_TRUE(binding.driver.complete()) << "the copy beside the program was taken: " << binding.error;
    DeleteFileW(inSystem.c_str());  // may stay while this process has it loaded; the next run replaces it

    // System32's copy exists but fails to load: it is named with the Windows error, and the
    // working copy beside the program is not taken in its place.
    std::wstring const refusedInSystem = std::wstring(system) + L"\\binding_refused_driver.dll";
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_refusing_driver.dll").c_str(), refusedInSystem.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_full_driver.dll").c_str(),
                          (exeFolder() + L"\\binding_refused_driver.dll").c_str(), FALSE));
    VirtualMidiLibrary const refused = openVirtualMidiLibrary("binding_refused_driver.dll");
    DeleteFileW(refusedInSystem.c_str());
    EXPECT_FALSE(refused.binding.driver.complete()) << "the copy beside the program was taken";
    EXPECT_TRUE(refused.inSystemFolder);
    std::string const& error = refused.binding.error;
    EXPECT_NE(error.find("\\binding_refused_driver.dll (Windows error 1114"), std::string::npos) << error;
    char systemNarrow[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(systemNarrow, MAX_PATH), 0u);
    EXPECT_EQ(error.find(std::string("Error: could not load ") + systemNarrow + "\\"), 0u) << error;

    // A file that is no DLL at all: Windows' text for it names the file in its place holder, and
    // its full stop does not come before ours.
    HANDLE const file = CreateFileW((exeFolder() + L"\\binding_garbage_driver.dll").c_str(),
                                    GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "text", 4, &written, nullptr);
    CloseHandle(file);
    std::string const notDll = loadVirtualMidiLibrary("binding_garbage_driver.dll").error;
    EXPECT_NE(notDll.find("(Windows error 193: "), std::string::npos) << notDll;
    EXPECT_NE(notDll.find(" binding_garbage_driver.dll). Reinstall"), std::string::npos) << notDll;

    // A module of that name that the process has already loaded from elsewhere is what Windows
    // hands back, even with System32's copy in place: that one is named.
    std::wstring const loadedInSystem = std::wstring(system) + L"\\binding_loaded_driver.dll";
    std::wstring const loadedElsewhere = exeFolder() + L"\\elsewhere\\binding_loaded_driver.dll";
    CreateDirectoryW((exeFolder() + L"\\elsewhere").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_full_driver.dll").c_str(), loadedInSystem.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\binding_full_driver.dll").c_str(), loadedElsewhere.c_str(), FALSE));
    ASSERT_NE(LoadLibraryW(loadedElsewhere.c_str()), nullptr);
    VirtualMidiLibrary const loaded = openVirtualMidiLibrary("binding_loaded_driver.dll");
    DeleteFileW(loadedInSystem.c_str());
    EXPECT_TRUE(loaded.binding.driver.complete()) << loaded.binding.error;
    EXPECT_EQ(loaded.path, loadedElsewhere);
    EXPECT_FALSE(loaded.inSystemFolder);
}

TEST(VirtualMidiBinding, ACopyBesideTheProgramFindsItsOwnImportsInSystem32) {
    // System32 has no such driver, so the copy beside the program is used; what it imports is
    // only in System32, where Windows looks for it only when asked to.
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring const dependency = std::wstring(system) + L"\\binding_system_dependency.dll";
    // Without it, the error says so rather than that the driver, which is there, is not found.
    DeleteFileW(dependency.c_str());  // left by an earlier run
    std::string const missing = loadVirtualMidiLibrary("binding_dependent_driver.dll").error;
    EXPECT_NE(missing.find("\\binding_dependent_driver.dll (Windows error 126: a DLL that it needs is "
                           "missing)"),
              std::string::npos)
        << missing;
    ASSERT_TRUE(CopyFileW((exeFolder() + L"\\system-only\\binding_system_dependency.dll").c_str(),
                          dependency.c_str(), FALSE));
    VirtualMidiLibrary const library = openVirtualMidiLibrary("binding_dependent_driver.dll");
    ASSERT_TRUE(library.binding.driver.complete()) << library.binding.error;
    EXPECT_EQ(library.binding.driver.sendData(nullptr, nullptr, 0), 2);
    EXPECT_FALSE(library.inSystemFolder);
    EXPECT_EQ(library.path, exeFolder() + L"\\binding_dependent_driver.dll");
}
