// How long one screenshot takes to become a GIF file's bytes: the goal is under 5 ms a picture,
// so that saving never makes the window wait. Three pictures: the built-in ROM's start screen as
// the machine shows it (a handful of colours, long runs), raster bars (a colour a line), and the
// worst case, 256 colours of noise.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/screen_capture.h"
#include "machine/machine.h"

namespace {

using namespace orvet;

ScreenCapture StartScreen() {
    auto machine = std::make_unique<Machine>();
    std::string error;
    ScreenCapture capture;
    if (!StartMachine(*machine, MachineSettings{}, error)) return capture;
    SetRunState(*machine, RunState::Running);
    for (int frame = 0; frame < 100; ++frame) RunFrame(*machine);
    CaptureScreen(capture, machine->screen.data(), kScreenWidth);
    return capture;
}

ScreenCapture Synthetic(bool noise) {
    std::vector<uint16_t> surface(kScreenWidth * kScreenHeight);
    uint32_t state = 1;
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            state = state * 1103515245u + 12345u;
            // 565 pixels whose top four bits of each field pick one of 256 colours.
            const unsigned colour = noise ? (state >> 16) & 0xFF : (y / 2) & 0xFF;
            surface[y * kScreenWidth + x] =
                static_cast<uint16_t>((colour >> 4) << 12 | (colour & 15) << 7 | (colour & 3) << 1);
        }
    }
    ScreenCapture capture;
    CaptureScreen(capture, surface.data(), kScreenWidth);
    return capture;
}

// Argument 0: the start screen; 1: raster bars; 2: noise.
void EncodeGifPicture(benchmark::State& state) {
    const ScreenCapture capture = state.range(0) == 0 ? StartScreen() : Synthetic(state.range(0) == 2);
    size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> gif = EncodeGif(capture);
        bytes = gif.size();
        benchmark::DoNotOptimize(gif.data());
    }
    state.counters["colours"] = capture.colourCount;
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(EncodeGifPicture)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
