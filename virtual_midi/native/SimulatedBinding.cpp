// The native build has no driver library to load: the simulated driver is linked in.
#include "virtual_midi/VirtualMidiBinding.h"

#include "simulated_driver/SimulatedDriver.h"

VirtualMidiBinding const& virtualMidiBinding() {
    static VirtualMidiBinding const binding{tessivane::simulatedDriver(), std::string()};
    return binding;
}
