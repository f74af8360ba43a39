// Costs of the engine's hot paths: forwarding one short message or a 1 KB SysEx through an entry
// (one or two writers on the entry, with the heap allocations they make), and the service tick when
// nothing changed (with outputs, and with 8 outputs and 8 shared inputs), with its default-ports hook parsing the stored document whenever the tick asks
// for it, as the program's store does (minus the registry, which tick-bench.exe measures under
// Wine). Prints figures; asserts nothing about speed.
//
//   cmake --preset native-release && cmake --build --preset native-release --target engine_bench
//   build/native-release/bench/engine_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/native/AllocationCounter.h"
#include "engine/PortController.h"
#include "midi_output/fake_bus/FakeDeviceBus.h"
#include "settings/DefaultPortsDocument.h"
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

void BM_ForwardSysEx1K(benchmark::State& state) {
    PortEntry& entry = sharedEntry();
    std::vector<std::uint8_t> sysex(1024, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    long const before = g_allocations;
    for (auto _ : state) {
        PortController::forward(&entry, sysex.data(), static_cast<std::uint32_t>(sysex.size()));
    }
    state.counters["allocations"] = static_cast<double>(g_allocations - before);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1024);
}
BENCHMARK(BM_ForwardSysEx1K)->Threads(1)->Threads(2)->UseRealTime();

std::string outputName(int i) { return "Output " + std::to_string(i); }

// The stored document: ten names, the first eight outputs and two that are not plugged.
std::string const& storedText() {
    static std::string const text = [] {
        std::string names;
        for (int i = 0; i < 8; ++i) names += "\"" + outputName(i) + "\",";
        return "{\"ports\":[" + names + "\"Absent A\",\"Absent B\"]}";
    }();
    return text;
}

long storeReads = 0;
// The program's hook without the registry: parse the stored text, append the names.
void parseStoredChoices(std::vector<std::string>* names) {
    ++storeReads;
    std::vector<std::string> stored = storedPortNames(storedText().c_str());
    names->insert(names->end(), stored.begin(), stored.end());
}

std::string inputName(int i) { return "Input " + std::to_string(i); }

// The stored shared inputs: the first eight inputs.
void sharedInputs(std::vector<std::string>* names) {
    for (int i = 0; i < 8; ++i) names->push_back(inputName(i));
}

// range(0) outputs and range(1) inputs plugged; the first eight of each chosen and open.
void BM_QuietTick(benchmark::State& state) {
    FakeDeviceBus bus;
    int const outputs = static_cast<int>(state.range(0));
    int const inputs = static_cast<int>(state.range(1));
    for (int i = 0; i < outputs; ++i) bus.plug(outputName(i));
    for (int i = 0; i < inputs; ++i) bus.plugInput(inputName(i));

    PortController::Dependencies d;
    d.outputs = &bus;
    d.inputs = &bus;
    d.driver = tessivane::simulatedDriver();
    PortController controller(d);
    PortController::Hooks hooks;
    hooks.defaultPorts = parseStoredChoices;
    hooks.sharedInputs = sharedInputs;
    controller.initialize(hooks);  // no timer in this build: it returns false after the first tick
    controller.serviceTick();      // the loopback request
    int open = 0, shared = 0;
    for (auto const& record : controller.publishedOutputs()) open += record.enabled ? 1 : 0;
    for (auto const& record : controller.publishedInputs()) shared += record.enabled ? 1 : 0;
    long const reads = storeReads;
    long const allocations = g_allocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.serviceTick());
    }
    state.counters["open outputs"] = open;
    state.counters["shared inputs"] = shared;
    state.counters["store reads"] = static_cast<double>(storeReads - reads);
    state.counters["allocations"] = benchmark::Counter(static_cast<double>(g_allocations - allocations),
                                                       benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_QuietTick)->Args({0, 0})->Args({8, 0})->Args({8, 8})->Args({32, 0})->Args({100, 0});

// Parsing the stored choices once: what every quiet tick paid on top while it read them each time.
void BM_ParseStoredChoices(benchmark::State& state) {
    std::vector<std::string> names;
    for (auto _ : state) {
        names.clear();
        parseStoredChoices(&names);
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(BM_ParseStoredChoices);

}  // namespace

BENCHMARK_MAIN();
