#include "sound/ym_synth.h"

#include <algorithm>
#include <limits>

namespace orvet {
namespace {

// An envelope segment runs 16 steps from level 15a to level 15b.
struct Segment {
    uint8_t from;  // 0 or 1
    uint8_t to;
};
constexpr Segment kFall{1, 0};
constexpr Segment kRise{0, 1};
constexpr Segment kLow{0, 0};
constexpr Segment kHigh{1, 1};

// Shapes 0-7 ignore the Alternate and Hold bits: without Continue the envelope ends at 0.
constexpr std::array<std::array<Segment, 4>, 16> kShapeSegments = {{
    {kFall, kLow, kLow, kLow},     // 0  \___
    {kFall, kLow, kLow, kLow},     // 1
    {kFall, kLow, kLow, kLow},     // 2
    {kFall, kLow, kLow, kLow},     // 3
    {kRise, kLow, kLow, kLow},     // 4  /___
    {kRise, kLow, kLow, kLow},     // 5
    {kRise, kLow, kLow, kLow},     // 6
    {kRise, kLow, kLow, kLow},     // 7
    {kFall, kFall, kFall, kFall},  // 8  \\\\ saw
    {kFall, kLow, kLow, kLow},     // 9  \___
    {kFall, kRise, kFall, kRise},  // 10 \/\/ triangle
    {kFall, kHigh, kHigh, kHigh},  // 11 \```
    {kRise, kRise, kRise, kRise},  // 12 //// saw
    {kRise, kHigh, kHigh, kHigh},  // 13 /```
    {kRise, kFall, kRise, kFall},  // 14 /\/\ triangle
    {kRise, kLow, kLow, kLow},     // 15 /___
}};

constexpr YmEnvelopeShapeTable BuildEnvelopeShapes() {
    YmEnvelopeShapeTable table{};
    for (size_t shape = 0; shape < 16; ++shape) {
        for (size_t segment = 0; segment < 4; ++segment) {
            const int from = kShapeSegments[shape][segment].from;
            const int to = kShapeSegments[shape][segment].to;
            for (int step = 0; step < 16; ++step) {
                table[shape][segment * 16 + step] =
                    static_cast<uint8_t>(15 * from + step * (to - from));
            }
        }
    }
    return table;
}

// Time runs in 1/4,096 machine cycles. One frame's `count` samples span 881 samples' worth of
// time, whatever the count, so a frame always covers one frame of emulated time.
constexpr uint64_t kFrameSampleTimeTimesCount =
    kYmMachineClock * 4096 * kSamplesPerPacedFrame / kSoundSampleRate;
constexpr int64_t kNoMoreWrites = std::numeric_limits<int64_t>::max() / 4;

// The tone flips twice per period of 16 chip clocks x P, so a full cycle of 2^32 phase is P x 16
// chip clocks. Below 6 the period is above what the output rate can carry: the channel then
// holds its level, which is how samples are played through the volume registers.
uint32_t ToneStep(unsigned period) {
    if (period < 6) return 0;
    return static_cast<uint32_t>((kYmChipClock << 31) / (kSoundSampleRate * 8 * period));
}

// The noise shift register moves every 16 x N chip clocks; the accumulator overflows at 65,536.
uint32_t NoiseStep(unsigned period) {
    if (period < 3) return 0;
    return static_cast<uint32_t>((kYmChipClock << 15) / (kSoundSampleRate * 8 * period));
}

// One envelope step lasts 16 x E chip clocks; 32 steps are one turn of the phase.
uint32_t EnvelopeStep(unsigned period) {
    if (period == 0) return 0;
    return static_cast<uint32_t>((kYmChipClock << 32) / (kSoundSampleRate * 512 * period));
}

int64_t TimeOfEntry(std::span<const SoundLogEntry> entries, size_t index) {
    if (index >= entries.size()) return kNoMoreWrites;
    const uint32_t cycles = entries[index].cyclesSincePrevious;
    if (cycles >= kSoundLogEndMark) return kNoMoreWrites;
    return static_cast<int64_t>(cycles) * 4096;
}

void ApplyEntry(YmSynth& synth, YmSynthResetState& chip, const SoundLogEntry& entry) {
    if (entry.registerNumber < kYmRegisterCount) {
        YmSynthWrite(synth, chip, static_cast<uint8_t>(entry.registerNumber),
                     static_cast<uint8_t>(entry.value));
    }
}

struct Extremes {
    int32_t minimum = 32767;
    int32_t maximum = -32768;
};

// The generators between two register writes: nothing changes but the phases.
void RenderRun(YmSynth& synth, YmSynthResetState& chip, int32_t* out, int count,
               Extremes& extremes) {
    std::array<uint32_t, 3> phases = synth.tonePhase;
    const std::array<uint32_t, 3> steps = synth.toneStep;
    const std::array<uint32_t, 3> toneOff = {chip.mixerMasks[0], chip.mixerMasks[1],
                                             chip.mixerMasks[2]};
    const std::array<uint32_t, 3> noiseOff = {chip.mixerMasks[3], chip.mixerMasks[4],
                                              chip.mixerMasks[5]};
    std::array<bool, 3> followsEnvelope{};
    std::array<uint32_t, 3> fixedLevels{};
    for (size_t channel = 0; channel < 3; ++channel) {
        followsEnvelope[channel] = (chip.volumes[channel] & 0x10) != 0;
        fixedLevels[channel] = chip.fixedLevels[channel];
    }
    const uint8_t* shapeSteps = kYmEnvelopeShapes[synth.envelopeShape & 15].data();
    uint32_t noiseAccumulator = synth.noiseAccumulator;
    uint32_t noiseShift = chip.noiseShiftRegister;
    uint32_t noiseLevel = chip.noiseLevel;
    uint32_t envelopePhase = synth.envelopePhase;
    unsigned envelopeHalf = synth.envelopeHalf;
    int32_t minimum = extremes.minimum;
    int32_t maximum = extremes.maximum;

    for (int index = 0; index < count; ++index) {
        if (noiseAccumulator >= 65536) {
            const uint32_t bit = (noiseShift ^ (noiseShift >> 2)) & 1;
            noiseShift = (noiseShift >> 1) | (bit << 16);
            if (bit == 0) noiseLevel ^= 0xFFFF;
            noiseAccumulator &= 0xFFFF;
        }
        const uint32_t envelopeLevel =
            kYmVolumeTable[shapeSteps[envelopeHalf * 32 + (envelopePhase >> 27)]];
        int32_t sum = 0;
        for (size_t channel = 0; channel < 3; ++channel) {
            const uint32_t toneHigh = (0u - (phases[channel] >> 31)) & 0xFFFF;
            const uint32_t gate = (toneHigh | toneOff[channel]) & (noiseLevel | noiseOff[channel]);
            const uint32_t level = followsEnvelope[channel] ? envelopeLevel : fixedLevels[channel];
            sum += static_cast<int32_t>(gate & level);
        }
        // Three full channels sum to at most 65,532, so this never leaves 16 bits.
        const int32_t value = sum - 32768;
        out[index] = value;
        minimum = std::min(minimum, value);
        maximum = std::max(maximum, value);

        for (size_t channel = 0; channel < 3; ++channel) phases[channel] += steps[channel];
        noiseAccumulator += synth.noiseStep;
        const uint32_t previousEnvelope = envelopePhase;
        envelopePhase += synth.envelopeStep;
        if (envelopePhase < previousEnvelope) envelopeHalf = 1;  // the once-only half is over
    }

    synth.tonePhase = phases;
    synth.noiseAccumulator = noiseAccumulator;
    chip.noiseShiftRegister = noiseShift;
    chip.noiseLevel = static_cast<uint16_t>(noiseLevel);
    synth.envelopePhase = envelopePhase;
    synth.envelopeHalf = static_cast<uint8_t>(envelopeHalf);
    extremes.minimum = minimum;
    extremes.maximum = maximum;
}

}  // namespace

const YmEnvelopeShapeTable kYmEnvelopeShapes = BuildEnvelopeShapes();

void YmSynthWrite(YmSynth& synth, YmSynthResetState& chip, uint8_t registerNumber, uint8_t value) {
    switch (registerNumber) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5: {
            const size_t channel = registerNumber / 2;
            if (registerNumber & 1) {
                synth.toneCoarse[channel] = value & 15;
            } else {
                synth.toneFine[channel] = value;
            }
            const unsigned period = synth.toneCoarse[channel] * 256u + synth.toneFine[channel];
            synth.toneStep[channel] = ToneStep(period);
            if (synth.toneStep[channel] == 0) synth.tonePhase[channel] = 0x80000000u;
            break;
        }
        case 6:
            synth.noisePeriod = value & 31;
            synth.noiseStep = NoiseStep(synth.noisePeriod);
            if (synth.noiseStep == 0) {
                synth.noiseAccumulator = 0;
                chip.noiseLevel = 0xFFFF;
            }
            break;
        case 7:
            chip.mixer = value;
            for (size_t bit = 0; bit < 6; ++bit) {
                chip.mixerMasks[bit] = (value >> bit) & 1 ? 0xFFFF : 0;
            }
            break;
        case 8:
        case 9:
        case 10: {
            const size_t channel = registerNumber - 8u;
            chip.volumes[channel] = value & 31;
            chip.fixedLevels[channel] = kYmVolumeTable[value & 15];
            break;
        }
        case 11:
        case 12:
            if (registerNumber == 11) {
                synth.envelopeFine = value;
            } else {
                synth.envelopeCoarse = value;
            }
            synth.envelopeStep = EnvelopeStep(synth.envelopeCoarse * 256u + synth.envelopeFine);
            break;
        case 13:
            // Writing the shape restarts the envelope, even with the same shape.
            synth.envelopeShape = value & 15;
            synth.envelopePhase = 0;
            synth.envelopeHalf = 0;
            synth.shapeWritten = true;
            break;
        default:
            break;  // the I/O ports
    }
}

int YmRender(YmSynth& synth, Ym2149& chip, int32_t* out, int count) {
    const std::span<const SoundLogEntry> entries = SoundLogEntries(chip.soundLog);
    if (count < 1) {
        YmApplyLog(synth, chip);
        return 0;
    }
    const int64_t sampleTime =
        static_cast<int64_t>(kFrameSampleTimeTimesCount / static_cast<uint64_t>(count));
    if (sampleTime >= synth.timeCarry) synth.timeCarry = 0;

    size_t next = 0;
    int64_t timeToWrite = TimeOfEntry(entries, next);
    Extremes extremes;
    int made = 0;
    while (made < count) {
        const int64_t firstStep = sampleTime - synth.timeCarry;
        if (firstStep > timeToWrite) {
            ApplyEntry(synth, chip.synth, entries[next]);
            synth.timeCarry += timeToWrite;
            timeToWrite = TimeOfEntry(entries, ++next);
            continue;
        }
        // Every sample up to the next write: the first ends the carried time, the rest are
        // whole sample steps.
        const int64_t fitting = 1 + (timeToWrite - firstStep) / sampleTime;
        const int run = static_cast<int>(std::min<int64_t>(fitting, count - made));
        RenderRun(synth, chip.synth, out + made, run, extremes);
        if (timeToWrite != kNoMoreWrites) timeToWrite -= firstStep + (run - 1) * sampleTime;
        synth.timeCarry = 0;
        made += run;
    }
    // Writes made in the frame's last cycles, after its last sample: the log restarts at the
    // frame end, so they are applied now and heard from the next frame's first sample.
    for (; next < entries.size() && TimeOfEntry(entries, next) != kNoMoreWrites; ++next) {
        ApplyEntry(synth, chip.synth, entries[next]);
    }

    const int32_t centre = (extremes.minimum + extremes.maximum) >> 1;
    for (int index = 0; index < count; ++index) out[index] -= centre;
    return count;
}

void YmApplyLog(YmSynth& synth, Ym2149& chip) {
    for (const SoundLogEntry& entry : SoundLogEntries(chip.soundLog)) {
        if (entry.cyclesSincePrevious >= kSoundLogEndMark) break;
        ApplyEntry(synth, chip.synth, entry);
    }
}

void ReadRegisters(YmSynth& synth, const YmSynthResetState& chip,
                   std::span<uint8_t, kYmRegistersRecorded> destination, bool* shapeWritten) {
    for (size_t channel = 0; channel < 3; ++channel) {
        destination[channel * 2] = synth.toneFine[channel];
        destination[channel * 2 + 1] = synth.toneCoarse[channel];
    }
    destination[6] = synth.noisePeriod;
    destination[7] = chip.mixer;
    for (size_t channel = 0; channel < 3; ++channel) {
        destination[8 + channel] = chip.volumes[channel];
    }
    destination[11] = synth.envelopeFine;
    destination[12] = synth.envelopeCoarse;
    destination[13] = synth.envelopeShape;
    if (shapeWritten) *shapeWritten = synth.shapeWritten;
    synth.shapeWritten = false;
}

}  // namespace orvet
