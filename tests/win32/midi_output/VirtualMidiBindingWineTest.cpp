// Binding the driver library under Wine, where teVirtualMIDI64.dll is not installed. This exe is
// built into a folder of its own so that the simulated driver's DLL is not found beside it.
#include "virtual_midi/VirtualMidiBinding.h"
#include "virtual_midi/win32/VirtualMidiLoader.h"

#include <gtest/gtest.h>

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
