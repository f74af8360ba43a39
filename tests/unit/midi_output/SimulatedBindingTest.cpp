// The native build binds the simulated driver: always usable, with every entry point.
#include "virtual_midi/VirtualMidiBinding.h"

#include <gtest/gtest.h>

TEST(SimulatedBinding, IsCompleteAndReportsNoError) {
    VirtualMidiBinding const& binding = virtualMidiBinding();
    EXPECT_TRUE(binding.error.empty()) << binding.error;
    EXPECT_TRUE(binding.driver.complete());
    EXPECT_EQ(&binding, &virtualMidiBinding());
}
