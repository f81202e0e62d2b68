// Saving and loading a state of the largest machine: an STE with 4 MB of RAM and a 720 KB disk
// in the drive, after a second of the built-in ROM. The goal is under 10 ms each, so that a quick
// save or load never holds the window up for a frame's time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "machine/builtin_rom.h"
#include "machine/machine.h"
#include "machine/save_state.h"

namespace {

using namespace orvet;

std::unique_ptr<Machine> LargestMachine() {
    auto machine = std::make_unique<Machine>();
    MachineSettings settings;
    settings.ramSizeIndex = 3;
    settings.ste = true;
    std::string error;
    if (!StartMachine(*machine, settings, error)) return nullptr;
    machine->driveA.data.assign(80 * 2 * 9 * 512, 0xE5);
    machine->driveA.tracks = 80, machine->driveA.sides = 2, machine->driveA.sectors = 9;
    for (uint32_t address = 0x10000; address < machine->memory.ramSize; ++address) {
        machine->memory.ramBase[address] = uint8_t(address * 13 >> 3);
    }
    for (int frame = 0; frame < 50; ++frame) RunFrame(*machine);
    return machine;
}

void BM_SaveState(benchmark::State& state) {
    auto machine = LargestMachine();
    if (!machine) return state.SkipWithError("no machine");
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        SaveState(*machine, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_SaveState)->Unit(benchmark::kMillisecond);

void BM_LoadState(benchmark::State& state) {
    auto machine = LargestMachine();
    if (!machine) return state.SkipWithError("no machine");
    std::vector<uint8_t> bytes;
    SaveState(*machine, bytes);
    for (auto _ : state) {
        if (!LoadState(*machine, bytes)) return state.SkipWithError("the state was refused");
    }
}
BENCHMARK(BM_LoadState)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
