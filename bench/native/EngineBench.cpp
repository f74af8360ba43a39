// Costs of the engine's hot paths: forwarding one short message through an entry, and the service
// tick when nothing changed. Prints figures; asserts nothing about speed.
//
//   cmake --preset native-release && cmake --build --preset native-release --target engine_bench
//   build/native-release/bench/engine_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/AllocationCounter.h"
#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "simulated_driver/SimulatedDriver.h"

namespace {

// An output that is always open and does nothing with what it is sent.
class NoopOutput : public MidiOutput {
public:
    unsigned portCount() override { return 0; }
    std::string portName(unsigned) override { return {}; }
    void openPort(unsigned, std::string const&) override {}
    bool isPortOpen() const override { return true; }
    void closePort() override {}
    void sendMessage(std::uint8_t const*, std::size_t) override {}
};

PortEntry& sharedEntry() {
    static PortEntry* entry = [] {
        auto* e = new PortEntry;
        e->output = std::make_unique<NoopOutput>();
        return e;
    }();
    return *entry;
}

void BM_ForwardShortMessage(benchmark::State& state) {
    PortEntry& entry = sharedEntry();
    std::uint8_t note[] = {0x90, 0x3C, 0x7F};
    long const before = g_allocations;
    for (auto _ : state) {
        PortController::forward(&entry, note, 3);
    }
    state.counters["allocations"] = static_cast<double>(g_allocations - before);
}
BENCHMARK(BM_ForwardShortMessage)->Threads(1)->Threads(2)->UseRealTime();

std::vector<std::string> storedNames;
void tenStoredNames(std::vector<std::string>* names) {
    names->insert(names->end(), storedNames.begin(), storedNames.end());
}

void BM_QuietTick(benchmark::State& state) {
    FakeDeviceBus bus;
    int const outputs = static_cast<int>(state.range(0));
    for (int i = 0; i < outputs; ++i) bus.plug("Output " + std::to_string(i));
    storedNames.clear();
    for (int i = 0; i < 10; ++i) storedNames.push_back("Output " + std::to_string(i * 3));

    PortController::Dependencies d;
    d.outputs = &bus;
    d.driver = tessivane::simulatedDriver();
    PortController controller(d);
    PortController::Hooks hooks;
    hooks.defaultPorts = tenStoredNames;
    controller.initialize(hooks);  // no timer in this build: it returns false after the first tick
    controller.serviceTick();      // the loopback request
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.serviceTick());
    }
}
BENCHMARK(BM_QuietTick)->Arg(0)->Arg(8)->Arg(32);

}  // namespace

BENCHMARK_MAIN();
