// The cost of one frame's sound: SoundFrame making 881 samples with the YM2149, the DMA sound and
// the drive noises all playing. The goal is under 20 microseconds a frame, so that sound never
// keeps the machine from running 100 times real time.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cpu/cpu.h"
#include "machine/memory.h"
#include "sound/mixer.h"

namespace {

using namespace orvet;

struct Sound {
    SoundChips chips;
    DriveSoundPlayer driveSounds;
    Ym2149 ym;
    CpuState cpu;
    MachineMemory memory;
    std::vector<int16_t> out = std::vector<int16_t>(kMaxSamplesPerFrame);

    Sound() {
        YmReset(ym);
        memory.block.reset(new uint8_t[kMachineMemorySize]());
        memory.ramBase = memory.block.get();
        memory.ramSize = kRamAreaSize;
        for (uint32_t address = 0; address < 0x10000; ++address) {
            memory.ramBase[address] = uint8_t(address * 7);
        }
        DmaSound& dma = chips.dmaSound;
        dma.memory = &memory;
        DmaSoundWriteWord(dma, cpu, kMicrowireData, 0x0554, 0);
        DmaSoundWriteWord(dma, cpu, kMicrowireData, 0x0514, 0);
        DmaSoundWriteByte(dma, cpu, kDmaSoundFrameEndMiddle, 0xF0, 0);
        DmaSoundWriteWord(dma, cpu, kDmaSoundMode, 0x0003, 0);  // 50 kHz stereo
        DmaSoundWriteByte(dma, cpu, kDmaSoundControl, 3, 0);    // play, repeat
        StartDriveSound(driveSounds, DriveClip::MotorRunning);
    }
    void WriteYm(uint8_t registerNumber, uint8_t value, int32_t cycle) {
        YmWriteByte(ym, cpu, 0xFF8800, registerNumber, cycle);
        YmWriteByte(ym, cpu, 0xFF8802, value, cycle);
    }
    // A busy tune: two tones, noise on the third channel under the envelope, and a digidrum of
    // 64 volume writes played through channel A during the frame.
    void LogFrame(int frame) {
        WriteYm(0, uint8_t(100 + frame), 0);
        WriteYm(2, 75, 0);
        WriteYm(6, 12, 0);
        WriteYm(7, 0x1C, 0);  // tones A, B, noise C
        WriteYm(9, 13, 0);
        WriteYm(10, 0x10, 0);
        WriteYm(11, 200, 0);
        WriteYm(13, 10, 0);
        for (int write = 0; write < 64; ++write) {
            WriteYm(8, uint8_t(write & 15), 20000 + write * 1000);
        }
        SoundLogClose(ym.soundLog);
    }
};

// The frame's register log is replayed every iteration: rendering reads the log, it does not
// consume it.
void BM_SoundFrameAllSources(benchmark::State& state) {
    auto sound = std::make_unique<Sound>();
    const SoundSettings settings;  // every source on
    sound->LogFrame(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SoundFrame(sound->chips, sound->ym, sound->driveSounds, settings,
                                            881, sound->out.data()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SoundFrameAllSources)->Unit(benchmark::kMicrosecond);

// Each source alone, to see where the time goes.
void BM_SoundFrameOneSource(benchmark::State& state) {
    auto sound = std::make_unique<Sound>();
    SoundSettings settings{.YMSound = state.range(0) == 0,
                           .DiskSound = state.range(0) == 1,
                           .bDacSound = state.range(0) == 2};
    sound->LogFrame(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SoundFrame(sound->chips, sound->ym, sound->driveSounds, settings,
                                            881, sound->out.data()));
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) == 0 ? "YM2149" : state.range(0) == 1 ? "drive" : "DMA");
}
BENCHMARK(BM_SoundFrameOneSource)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
