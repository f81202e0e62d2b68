// How fast a finished frame becomes host pixels. The goal is at least 5,000 plain low-resolution
// frames a second on one core, so that drawing never keeps the machine from running 100 times
// real time.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "machine/memory.h"
#include "video/renderer.h"
#include "video/shifter.h"

namespace {

using namespace orvet;

// A low-resolution screen of 16 colours in vertical stripes, with a palette set before the
// frame is drawn.
struct Frame {
    Shifter shifter;
    Renderer renderer;
    MachineMemory memory;
    std::vector<uint16_t> surface = std::vector<uint16_t>(kScreenWidth * kScreenHeight);

    Frame() {
        memory.block.reset(new uint8_t[kMachineMemorySize + 16]());
        for (size_t offset = 0; offset < shifter.snapshot.size(); offset += 2) {
            uint16_t word = static_cast<uint16_t>(0x0F0F * (offset / 8 + offset / 2));
            shifter.snapshot[offset] = static_cast<uint8_t>(word);
            shifter.snapshot[offset + 1] = static_cast<uint8_t>(word >> 8);
        }
        for (int index = 0; index < 16; ++index) {
            renderer.palette[index] = static_cast<uint16_t>(index * 0x111);
        }
        renderer.BuildColourTable(kRgb565);
    }
    // The frame's log: nothing, or a change of colour 0 in the middle of every display line.
    void logRasterBars(bool everyLine) {
        shifter.log.writePosition = 0;
        shifter.log.lastLoggedTime = 0;
        if (everyLine) {
            for (int line = 63; line < 263; ++line) {
                LogAppend(shifter.log, kLogPalette, static_cast<uint32_t>(line * 7) & 0x777,
                          line * 512 + 200);
            }
        }
        LogClose(shifter.log);
    }
};

// Argument 0: a plain frame; 1: a colour change on every display line.
void RenderFrames(benchmark::State& state) {
    Frame frame;
    frame.logRasterBars(state.range(0) != 0);
    for (auto _ : state) {
        RenderFrame(frame.renderer, frame.shifter, frame.memory, frame.surface.data(),
                    kScreenWidth);
        benchmark::DoNotOptimize(frame.surface.data());
    }
    state.SetLabel(state.range(0) ? "colour change on every line" : "plain frame");
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(RenderFrames)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
