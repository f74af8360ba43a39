// The program's own engine: WinMM outputs and inputs through RtMidi, the teVirtualMIDI driver loaded at run
// time, the system's multimedia timer.
#include "engine/PortController.h"
#include "engine/win32/MultimediaTimerWin32.h"
#include "midi_input/rtmidi/RtMidiInput.h"
#include "midi_output/rtmidi/RtMidiOutput.h"
#include "virtual_midi/VirtualMidiBinding.h"

PortController::Dependencies defaultDependencies() {
    static RtMidiOutputFactory outputs;
    static RtMidiInputFactory inputs;
    PortController::Dependencies dependencies;
    dependencies.outputs = &outputs;
    dependencies.inputs = &inputs;
    dependencies.driver = virtualMidiBinding().driver;
    dependencies.driverError = virtualMidiBinding().error;
    dependencies.timer = &systemMultimediaTimer();
    return dependencies;
}
