#include "sound/dma_sound.h"

#include <algorithm>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {
namespace {

// Word offsets on the page.
constexpr uint32_t kControlWord = 0x00;
constexpr uint32_t kFrameStartWord = 0x02;  // three words: high, middle, low
constexpr uint32_t kCounterWord = 0x08;
constexpr uint32_t kFrameEndWord = 0x0E;
constexpr uint32_t kModeWord = 0x20;
constexpr uint32_t kMicrowireDataWord = 0x22;
constexpr uint32_t kMicrowireMaskWord = 0x24;

// Which byte lanes of the data bus an access drives: a byte at an even address travels on the
// upper lines, one at an odd address on the lower.
constexpr uint16_t kUpperLane = 0xFF00;
constexpr uint16_t kLowerLane = 0x00FF;
constexpr uint16_t kBothLanes = 0xFFFF;

// The sample clock's divider for rates 0-3.
constexpr std::array<int64_t, 4> kClockDivider = {8, 4, 2, 1};

// The LMC1992 takes an 11-bit command: address 10 (bits 10-9), then a function (bits 8-6) and
// its value. Function 101 sets the left side, 100 the right; master, treble, bass and the input
// mixer are not modelled.
constexpr uint16_t kMicrowireFunctionMask = 0x540;
constexpr uint16_t kMicrowireLeft = 0x540;
constexpr uint16_t kMicrowireRight = 0x500;

// A 22-bit address from the three bytes of an address register.
uint32_t AddressOf(const std::array<uint8_t, 3>& bytes) {
    return (bytes[0] & 0x3Fu) << 16 | bytes[1] << 8 | bytes[2];
}

bool Playing(const DmaSound& dma) {
    return dma.registers.control & kDmaSoundControlPlay;
}

uint32_t BytesPerSampleFrame(const DmaSound& dma) {
    return (dma.registers.mode & kDmaSoundModeMono) ? 1 : 2;
}

// One sample clock period in 1/kDmaSoundClockHz machine cycles.
int64_t TickLength(const DmaSound& dma) {
    return kClockDivider[dma.registers.mode & 3] * kDmaSoundMachineClockHz;
}

// The same period in whole machine cycles and a remainder, so that the clock runs on without a
// division per tick.
struct TickStep {
    int32_t cycles;
    int32_t fraction;
};
constexpr TickStep StepOf(int64_t divider) {
    const int64_t length = divider * kDmaSoundMachineClockHz;
    return {static_cast<int32_t>(length / kDmaSoundClockHz),
            static_cast<int32_t>(length % kDmaSoundClockHz)};
}
constexpr std::array<TickStep, 4> kTickSteps = {StepOf(kClockDivider[0]), StepOf(kClockDivider[1]),
                                                StepOf(kClockDivider[2]), StepOf(kClockDivider[3])};

// A tick takes effect on the first machine cycle at or after it.
int32_t NextTickTime(const DmaSound& dma) {
    return dma.nextTickCycle + (dma.nextTickFraction != 0 ? 1 : 0);
}

void StepClock(DmaSound& dma) {
    const TickStep& step = kTickSteps[dma.registers.mode & 3];
    dma.nextTickCycle += step.cycles;
    dma.nextTickFraction += step.fraction;
    if (dma.nextTickFraction >= kDmaSoundClockHz) {
        dma.nextTickFraction -= static_cast<int32_t>(kDmaSoundClockHz);
        ++dma.nextTickCycle;
    }
}

void AddLevel(DmaSound& dma, int32_t time, int8_t left, int8_t right) {
    if (dma.levelCount == dma.levels.size()) return;
    dma.levels[dma.levelCount++] = {time, left, right};
}

// The DMA reaches RAM only; past the fitted RAM there is nothing to fetch and the sample is 0.
int8_t FetchSigned(const MachineMemory* memory, uint32_t address) {
    if (!memory || !memory->ramBase || address >= memory->ramSize || address >= kRamAreaSize) {
        return 0;
    }
    return static_cast<int8_t>(memory->ramBase[address ^ 1]);
}

// Starting to play (and each repeat) takes the frame registers as they are then; changing them
// while a frame plays affects only the next one.
void LatchFrame(DmaSound& dma) {
    dma.frameStart = AddressOf(dma.registers.frameStart);
    dma.frameEnd = AddressOf(dma.registers.frameEnd);
    dma.fetchAddress = dma.frameStart;
    dma.frameDone = false;
}

bool SampleFrameLeft(const DmaSound& dma) {
    return dma.fetchAddress + BytesPerSampleFrame(dma) <= dma.frameEnd;
}

// The frame end falls on the tick after the frame's last sample; an empty frame (end at or below
// start) still takes one tick to find that it has nothing to play.
void ScheduleEnd(DmaSound& dma) {
    if (!Playing(dma)) {
        dma.endTime = kDmaSoundNoEvent;
        return;
    }
    int64_t ticksToEnd = 0;
    if (!dma.frameDone) {
        const int64_t samplesLeft =
            SampleFrameLeft(dma) ? (dma.frameEnd - dma.fetchAddress) / BytesPerSampleFrame(dma) : 0;
        ticksToEnd = std::max<int64_t>(samplesLeft, 1);
    }
    const int64_t end = static_cast<int64_t>(dma.nextTickCycle) * kDmaSoundClockHz +
                        dma.nextTickFraction + ticksToEnd * TickLength(dma);
    dma.endTime = static_cast<int32_t>((end + kDmaSoundClockHz - 1) / kDmaSoundClockHz);
}

// One tick of the sample clock: the frame that has played its last sample ends (a pulse for
// Timer A; it repeats or stops), then the next sample frame goes to the DAC.
void Tick(DmaSound& dma) {
    const int32_t time = NextTickTime(dma);
    if (dma.frameDone) {
        ++dma.endPulsesOwed;
        if (!(dma.registers.control & kDmaSoundControlRepeat)) {
            dma.registers.control &= static_cast<uint8_t>(~kDmaSoundControlPlay);
            dma.frameDone = false;
            AddLevel(dma, time, 0, 0);
            return;
        }
        LatchFrame(dma);
    }
    if (SampleFrameLeft(dma)) {
        const int8_t left = FetchSigned(dma.memory, dma.fetchAddress);
        const bool mono = BytesPerSampleFrame(dma) == 1;
        const int8_t right = mono ? left : FetchSigned(dma.memory, dma.fetchAddress + 1);
        AddLevel(dma, time, left, right);
        dma.fetchAddress += BytesPerSampleFrame(dma);
    }
    dma.frameDone = !SampleFrameLeft(dma);
    StepClock(dma);
}

// Between frame ends a tick only puts a sample frame out: the ones due by `time` go out in one
// pass that keeps what it needs at hand. Called with at least one such tick due.
void PlayDueSamples(DmaSound& dma, int32_t time) {
    const uint32_t width = BytesPerSampleFrame(dma);
    const TickStep step = kTickSteps[dma.registers.mode & 3];
    const MachineMemory* memory = dma.memory;
    const uint8_t* ram = memory ? memory->ramBase : nullptr;
    const uint32_t ramTop = ram ? std::min(memory->ramSize, kRamAreaSize) : 0;
    const uint32_t frameEnd = dma.frameEnd;
    DmaSoundLevel* levels = dma.levels.data();
    const size_t capacity = dma.levels.size();
    size_t levelCount = dma.levelCount;
    uint32_t address = dma.fetchAddress;
    int32_t cycle = dma.nextTickCycle;
    int32_t fraction = dma.nextTickFraction;
    while (address + width <= frameEnd) {
        const int32_t tickTime = cycle + (fraction != 0 ? 1 : 0);
        if (tickTime > time) break;
        int8_t left = 0;
        int8_t right = 0;
        if (address + width <= ramTop) {
            left = static_cast<int8_t>(ram[address ^ 1]);
            right = width == 1 ? left : static_cast<int8_t>(ram[(address + 1) ^ 1]);
        }
        if (levelCount < capacity) levels[levelCount++] = {tickTime, left, right};
        address += width;
        cycle += step.cycles;
        fraction += step.fraction;
        if (fraction >= kDmaSoundClockHz) {
            fraction -= static_cast<int32_t>(kDmaSoundClockHz);
            ++cycle;
        }
    }
    dma.levelCount = levelCount;
    dma.fetchAddress = address;
    dma.nextTickCycle = cycle;
    dma.nextTickFraction = fraction;
    dma.frameDone = !SampleFrameLeft(dma);
}

void WriteControl(DmaSound& dma, CpuState& cpu, uint8_t control, int32_t time) {
    const bool wasPlaying = Playing(dma);
    dma.registers.control = control;
    if (Playing(dma) && !wasPlaying) {
        LatchFrame(dma);
        dma.nextTickCycle = time;
        dma.nextTickFraction = 0;
    } else if (!Playing(dma) && wasPlaying) {
        AddLevel(dma, time, 0, 0);
    } else {
        return;
    }
    ScheduleEnd(dma);
    CpuEndSlice(cpu);  // the frame loop must see the new end time and the active line
}

void DecodeMicrowire(DmaSound& dma) {
    const uint16_t command = dma.registers.microwireData;
    const uint16_t function = command & kMicrowireFunctionMask;
    if (function == kMicrowireLeft) {
        dma.leftVolume = command & 31;
    } else if (function == kMicrowireRight) {
        dma.rightVolume = command & 31;
    }
}

uint8_t CounterByte(const DmaSound& dma, uint32_t index) {
    const uint32_t counter = dma.fetchAddress & 0x3FFFFF;
    return static_cast<uint8_t>(counter >> (16 - 8 * index));
}

uint16_t ReadRegister(const DmaSound& dma, uint32_t word) {
    const DmaSoundRegisters& r = dma.registers;
    if (word == kControlWord) return 0xFF00 | r.control;
    if (word >= kFrameStartWord && word < kCounterWord) {
        return 0xFF00 | r.frameStart[(word - kFrameStartWord) / 2];
    }
    if (word >= kCounterWord && word < kFrameEndWord) {
        return 0xFF00 | CounterByte(dma, (word - kCounterWord) / 2);
    }
    if (word >= kFrameEndWord && word <= kFrameEndWord + 4) {
        return 0xFF00 | r.frameEnd[(word - kFrameEndWord) / 2];
    }
    if (word == kModeWord) return r.mode;
    // The data register shifts out to the LMC1992 as it is read: it reads as 0.
    if (word == kMicrowireDataWord) return 0x0000;
    if (word == kMicrowireMaskWord) return r.microwireMask;
    return 0xFFFF;  // the gap between the address registers and the mode, and the page's tail
}

// The registers of 8 bits sit on the lower data lines; what an access puts on the upper ones is
// lost. The microwire registers take each lane on its own, and only a word sends a command.
void WriteRegister(DmaSound& dma, CpuState& cpu, uint32_t word, uint16_t value, uint16_t lanes,
                   int32_t time) {
    DmaSoundRegisters& r = dma.registers;
    const auto low = static_cast<uint8_t>(value);
    if (word == kMicrowireDataWord || word == kMicrowireMaskWord) {
        uint16_t& target = word == kMicrowireDataWord ? r.microwireData : r.microwireMask;
        target = static_cast<uint16_t>((target & ~lanes) | (value & lanes));
        if (word == kMicrowireDataWord && lanes == kBothLanes) DecodeMicrowire(dma);
        return;
    }
    if (!(lanes & kLowerLane)) return;
    if (word == kControlWord) {
        WriteControl(dma, cpu, low, time);
    } else if (word >= kFrameStartWord && word < kCounterWord) {
        r.frameStart[(word - kFrameStartWord) / 2] = low;
    } else if (word >= kFrameEndWord && word <= kFrameEndWord + 4) {
        r.frameEnd[(word - kFrameEndWord) / 2] = low;
    } else if (word == kModeWord) {
        // A new rate or width takes effect from the next tick; the frame's end moves with it.
        r.mode = low;
        ScheduleEnd(dma);
        CpuEndSlice(cpu);
    }
    // The frame address counter is read only.
}

}  // namespace

void DmaSoundReset(DmaSound& dma) {
    const MachineMemory* memory = dma.memory;
    dma = DmaSound{};
    dma.memory = memory;
}

bool DmaSoundHasRegister(uint32_t address) {
    address &= 0xFFFFFF;
    return address >= kDmaSoundPageFirst && address <= kDmaSoundPageLast;
}

uint8_t DmaSoundReadByte(DmaSound& dma, CpuState&, uint32_t address, int32_t cycleTime) {
    DmaSoundAdvance(dma, cycleTime);
    const uint16_t word = ReadRegister(dma, address & 0xFE);
    return static_cast<uint8_t>((address & 1) ? word : word >> 8);
}

uint16_t DmaSoundReadWord(DmaSound& dma, CpuState&, uint32_t address, int32_t cycleTime) {
    DmaSoundAdvance(dma, cycleTime);
    return ReadRegister(dma, address & 0xFE);
}

void DmaSoundWriteByte(DmaSound& dma, CpuState& cpu, uint32_t address, uint8_t value,
                       int32_t cycleTime) {
    DmaSoundAdvance(dma, cycleTime);
    const bool lower = address & 1;
    WriteRegister(dma, cpu, address & 0xFE, lower ? value : static_cast<uint16_t>(value << 8),
                  lower ? kLowerLane : kUpperLane, cycleTime);
}

void DmaSoundWriteWord(DmaSound& dma, CpuState& cpu, uint32_t address, uint16_t value,
                       int32_t cycleTime) {
    DmaSoundAdvance(dma, cycleTime);
    WriteRegister(dma, cpu, address & 0xFE, value, kBothLanes, cycleTime);
}

bool DmaSoundActive(const DmaSound& dma) {
    return Playing(dma);
}

int32_t DmaSoundNextEventTime(const DmaSound& dma) {
    return dma.endTime;
}

void DmaSoundAdvance(DmaSound& dma, int32_t time) {
    // Ticks that only put out a sample leave the end time where it was; a frame end moves it.
    bool frameEnded = false;
    while (Playing(dma) && NextTickTime(dma) <= time) {
        if (!dma.frameDone && SampleFrameLeft(dma)) {
            PlayDueSamples(dma, time);
            continue;
        }
        frameEnded |= dma.frameDone;
        Tick(dma);
    }
    if (frameEnded) ScheduleEnd(dma);
}

bool DmaSoundTakeEndPulse(DmaSound& dma) {
    if (dma.endPulsesOwed == 0) return false;
    --dma.endPulsesOwed;
    return true;
}

int DmaSoundGain(uint8_t volume) {
    const int loudness = volume > kMicrowireLoudest ? kMicrowireLoudest : volume;
    return loudness * 256 / kMicrowireLoudest;
}

void DmaSoundRender(DmaSound& dma, int32_t* mix, int count) {
    DmaSoundAdvance(dma, kDmaSoundFrameCycles);
    const bool silent = dma.levelCount == 0 && dma.heldLevel.left == 0 && dma.heldLevel.right == 0;
    if (mix && count >= 1 && !silent) {
        const int32_t leftGain = DmaSoundGain(dma.leftVolume);
        const int32_t rightGain = DmaSoundGain(dma.rightVolume);
        // Each output sample takes the level the DAC held at its time, the nearest earlier
        // sample frame, without interpolation.
        // Output sample k stands at cycle floor(k x frame / count).
        const int32_t timeStep = kDmaSoundFrameCycles / count;
        const int32_t timeRemainder = kDmaSoundFrameCycles % count;
        int32_t time = 0;
        int32_t timeFraction = 0;
        DmaSoundLevel level = dma.heldLevel;
        size_t next = 0;
        for (int index = 0; index < count; ++index) {
            while (next < dma.levelCount && dma.levels[next].time <= time) {
                level = dma.levels[next++];
            }
            mix[index] += (level.left * leftGain + level.right * rightGain) >> 1;
            time += timeStep;
            timeFraction += timeRemainder;
            if (timeFraction >= count) {
                timeFraction -= count;
                ++time;
            }
        }
    }

    // The next frame: what the DAC holds at this frame's end carries over, and levels put out
    // past it (by an access in the instruction that crossed the frame end) belong to the next.
    // The levels are in time order.
    size_t nextFrame = dma.levelCount;
    while (nextFrame > 0 && dma.levels[nextFrame - 1].time >= kDmaSoundFrameCycles) --nextFrame;
    if (nextFrame > 0) dma.heldLevel = dma.levels[nextFrame - 1];
    dma.heldLevel.time = 0;
    size_t kept = 0;
    for (size_t index = nextFrame; index < dma.levelCount; ++index) {
        dma.levels[kept] = dma.levels[index];
        dma.levels[kept++].time -= kDmaSoundFrameCycles;
    }
    dma.levelCount = kept;
    // While playing the next tick lies within the frame; stopped, nothing advances it, and it
    // rests a frame back instead of running down towards overflow (playback starts it anew).
    dma.nextTickCycle = std::max(dma.nextTickCycle - kDmaSoundFrameCycles, -kDmaSoundFrameCycles);
    if (dma.endTime != kDmaSoundNoEvent) dma.endTime -= kDmaSoundFrameCycles;
}

}  // namespace orvet
