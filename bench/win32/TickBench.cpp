// tick-bench: the service tick as the program runs it, under Wine: the program's default-ports
// store on the real registry, the fake device bus with 0, 8, 32 and 100 outputs and 10 stored
// names (8 of them present), and the program's own RtMidi WinMM enumeration (which lists no
// device under Wine). Also what reading the stored choices costs once, which every tick used to
// pay. Prints figures; asserts nothing.
//   tick-bench [TICKS]   (default 20000 per figure)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "midi_output/rtmidi/RtMidiOutput.h"
#include "settings/DefaultPortsStore.h"
#include "settings/SettingsKeyPath.h"
#include "simulated_driver/SimulatedDriver.h"

namespace {

char const kBenchKey[] = "SOFTWARE\\Velmora\\TessivaneBench";

double nowMicroseconds() {
    static LARGE_INTEGER const frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1e6 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string outputName(int i) { return "Output " + std::to_string(i); }

// Ten stored names: the first eight outputs and two that are not plugged.
void storeTenNames() {
    std::string names;
    for (int i = 0; i < 8; ++i) names += "\"" + outputName(i) + "\",";
    names += "\"Absent A\",\"Absent B\"";
    std::string const text = "{\"ports\":[" + names + "]}";
    writeDefaultPortsText(text.c_str());
}

// Microseconds per quiet tick: median of five runs of `ticks` ticks.
double quietTick(PortController& controller, long ticks) {
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        double const start = nowMicroseconds();
        for (long i = 0; i < ticks; ++i) controller.serviceTick();
        runs.push_back((nowMicroseconds() - start) / static_cast<double>(ticks));
    }
    std::sort(runs.begin(), runs.end());
    return runs[2];
}

double tickWith(MidiOutputFactory& outputs, long ticks, std::size_t* opened) {
    PortController::Dependencies d;
    d.outputs = &outputs;
    d.driver = tessivane::simulatedDriver();
    PortController controller(d);
    PortController::Hooks hooks;
    hooks.defaultPorts = loadDefaultPorts;
    controller.initialize(hooks);  // no timer given: the first tick runs, the timer does not start
    controller.serviceTick();      // the loopback request
    *opened = 0;
    for (auto const& record : controller.publishedOutputs()) *opened += record.enabled ? 1 : 0;
    return quietTick(controller, ticks);
}

}  // namespace

int main(int argc, char** argv) {
    long const ticks = argc > 1 ? std::atol(argv[1]) : 20000;
    std::strcpy(g_settingsKeyPath, kBenchKey);
    storeTenNames();

    std::printf("quiet service tick, stored choices in the registry (10 names), %ld ticks x 5\n", ticks);
    for (int outputs : {0, 8, 32, 100}) {
        FakeDeviceBus bus;
        for (int i = 0; i < outputs; ++i) bus.plug(outputName(i));
        std::size_t opened = 0;
        double const us = tickWith(bus, ticks, &opened);
        std::printf("  %3d outputs (fake bus), %zu open: %8.3f us per tick\n", outputs, opened, us);
    }
    {
        RtMidiOutputFactory winmm;
        std::size_t opened = 0;
        double const us = tickWith(winmm, ticks, &opened);
        std::printf("  RtMidi WinMM (lists no device here): %8.3f us per tick\n", us);
    }

    // What reading the stored choices costs: every tick paid this before it read them only when
    // the output list changed.
    std::vector<std::string> names;
    long const reads = std::max(1L, ticks / 4);
    double const start = nowMicroseconds();
    for (long i = 0; i < reads; ++i) {
        names.clear();
        loadDefaultPorts(&names);
    }
    double const perRead = (nowMicroseconds() - start) / static_cast<double>(reads);
    std::printf("reading the stored choices once (registry open, query, close; parse): %.3f us"
                " (%zu names)\n", perRead, names.size());

    RegDeleteTreeA(HKEY_CURRENT_USER, kBenchKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kBenchKey);
    return 0;
}
