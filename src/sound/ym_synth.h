// The YM2149's sound side: three square-wave tone generators, one noise generator and one
// envelope generator, turned into 44,100 Hz samples once per frame.
//
// The processor only ever writes the register file (sound/ym2149.h); the synthesiser learns of
// those writes from the frame's register log and applies each one at the time it was made, so
// that writes in the middle of a frame (digitised drums, samples played through the volume
// registers) are heard where they happened.
//
// The frequencies are divided by phase accumulators: each generator adds a precomputed 32-bit
// step per output sample, so a sample costs a handful of integer operations and one table look-up
// for the envelope.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sound/ym2149.h"

namespace orvet {

// 8,021,248 Hz machine clock divided by 4.
constexpr uint64_t kYmChipClock = 2005312;
constexpr uint64_t kYmMachineClock = 8021248;
constexpr uint64_t kSoundSampleRate = 44100;
// The frame's samples always span one frame of emulated time; 881 is the count at 50.06 frames a
// second, and with it one sample is this many 1/4,096 machine cycles.
constexpr int kSamplesPerPacedFrame = 881;
constexpr int kYmRegistersRecorded = 14;

// 16 shapes x 64 envelope steps of levels 0-15: the first 32 steps play once after the shape is
// written, the last 32 repeat for as long as the shape holds.
using YmEnvelopeShapeTable = std::array<std::array<uint8_t, 64>, 16>;
extern const YmEnvelopeShapeTable kYmEnvelopeShapes;

struct YmSynth {
    // Tone generators A, B, C. The square wave is high while bit 31 of the phase is set.
    std::array<uint8_t, 3> toneFine{};
    std::array<uint8_t, 3> toneCoarse{};  // 4 bits
    std::array<uint32_t, 3> toneStep{};
    std::array<uint32_t, 3> tonePhase = {0x80000000u, 0x80000000u, 0x80000000u};

    uint8_t noisePeriod = 0;  // 5 bits
    uint32_t noiseStep = 0;
    uint32_t noiseAccumulator = 0;  // the shift register moves when this reaches 65,536

    uint8_t envelopeFine = 0;
    uint8_t envelopeCoarse = 0;
    uint32_t envelopeStep = 0;
    uint32_t envelopePhase = 0;  // bits 27-31: the step within the current 32-step half
    uint8_t envelopeShape = 0;
    uint8_t envelopeHalf = 0;  // 0 while the first 32 steps play, then 1
    bool shapeWritten = false;

    int64_t timeCarry = 0;  // 1/4,096 machine cycles
};

// One register write as the sound side hears it (registers 14 and 15 are ports and make no
// sound). The mixer, volumes and noise output live in the chip's reset state, since the reset
// line sets them.
void YmSynthWrite(YmSynth& synth, YmSynthResetState& chip, uint8_t registerNumber, uint8_t value);

// Makes `count` samples into `out` (overwriting it), replaying the frame's logged register writes
// at their times, then centres the frame's waveform on zero. Writes logged after the frame's last
// sample take effect from the next frame's first. Returns the number of samples made (count, or
// 0 when count < 1).
int YmRender(YmSynth& synth, Ym2149& chip, int32_t* out, int count);

// Applies the frame's logged writes without making sound, for frames whose YM sound is not
// wanted: the synthesiser must still follow the register file, or the next frame that is heard
// would play stale notes.
void YmApplyLog(YmSynth& synth, Ym2149& chip);

// Registers 0-13 as the synthesiser holds them (tone periods A-C, noise period, mixer, volumes
// A-C, envelope period, shape), and whether the shape register was written since the last call.
void ReadRegisters(YmSynth& synth, const YmSynthResetState& chip,
                   std::span<uint8_t, kYmRegistersRecorded> destination,
                   bool* shapeWritten = nullptr);

}  // namespace orvet
