// The debugger redraws its disassembly pane every frame: 16 lines must cost far less than a
// millisecond. Measured on the built-in ROM's start-up code, read through the processor's
// debugger access as the pane reads it.
#include <benchmark/benchmark.h>

#include <memory>

#include "debugger/disassembler.h"
#include "machine/builtin_rom.h"
#include "machine/machine.h"

namespace {

void BM_DisassemblyPane(benchmark::State& state) {
    auto machine = std::make_unique<orvet::Machine>();
    orvet::CreateMachine(*machine);
    orvet::LoadBuiltinRom(machine->memory);
    orvet::ResetMachine(*machine, true);
    orvet::Disassembler dis = orvet::MachineDisassembler(machine->cpu);
    size_t characters = 0;
    for (auto _ : state) {
        uint32_t address = 0xFC0030;
        for (int line = 0; line < 16; ++line) {
            address = orvet::DisassembleAt(dis, address);
            characters += dis.lineText.size();
        }
        benchmark::DoNotOptimize(characters);
    }
    state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_DisassemblyPane)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
