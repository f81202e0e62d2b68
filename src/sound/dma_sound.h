// The STE's DMA sound: 8-bit signed samples fetched from RAM at one of four rates, mono or
// stereo, with the left and right volumes set through the microwire interface of the LMC1992.
//
// Register page 0xFF8900 (STE only; the I/O layer leaves the page empty on the STFM). The chip
// answers across 0xFF8900-0xFF8927; byte and word accesses reach the same registers, each byte
// lane on its own:
//   0xFF8901 control: bit 0 plays, bit 1 repeats the frame
//   0xFF8903/05/07 frame start (bits 16-21, 8-15, 0-7), 0xFF8909/0B/0D frame address counter
//   (read only), 0xFF890F/11/13 frame end; these are 8-bit registers on the low data lines, the
//   even bytes beside them read all ones. 0xFF8921 sound mode: bits 0-1 rate, bit 7 mono (the
//   byte above it reads 0). 0xFF8922 microwire data, 0xFF8924 microwire mask: 16 bits.
//
// The chip runs on its own sample clock, 50,066 Hz divided by 8, 4, 2 or 1. It is not ticked:
// it keeps the time of its next sample and catches up whenever the program reads or writes it,
// when its frame ends (DmaSoundNextEventTime, fired by the frame loop) and at the frame end, so
// the counter, the control bit and the end of a sample frame fall on the cycle they do on the
// machine. What the DAC put out is kept, cycle-stamped, and made into the frame's sound at the
// frame end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace orvet {

struct CpuState;
struct MachineMemory;

constexpr uint32_t kDmaSoundPageFirst = 0xFF8900;
constexpr uint32_t kDmaSoundPageLast = 0xFF89FF;
constexpr uint32_t kDmaSoundBlockFirst = 0xFF8900;
constexpr uint32_t kDmaSoundBlockLast = 0xFF8927;

constexpr uint32_t kDmaSoundControl = 0xFF8901;
constexpr uint32_t kDmaSoundFrameStartHigh = 0xFF8903;
constexpr uint32_t kDmaSoundFrameStartMiddle = 0xFF8905;
constexpr uint32_t kDmaSoundFrameStartLow = 0xFF8907;
constexpr uint32_t kDmaSoundCounterHigh = 0xFF8909;
constexpr uint32_t kDmaSoundCounterMiddle = 0xFF890B;
constexpr uint32_t kDmaSoundCounterLow = 0xFF890D;
constexpr uint32_t kDmaSoundFrameEndHigh = 0xFF890F;
constexpr uint32_t kDmaSoundFrameEndMiddle = 0xFF8911;
constexpr uint32_t kDmaSoundFrameEndLow = 0xFF8913;
constexpr uint32_t kDmaSoundMode = 0xFF8920;  // word; the mode byte is 0xFF8921
constexpr uint32_t kMicrowireData = 0xFF8922;
constexpr uint32_t kMicrowireMask = 0xFF8924;

constexpr uint8_t kDmaSoundControlPlay = 0x01;
constexpr uint8_t kDmaSoundControlRepeat = 0x02;
constexpr uint8_t kDmaSoundModeMono = 0x80;

// The largest attenuation value the LMC1992 takes for a side: 20 steps of 2 dB, 20 = loudest.
constexpr int kMicrowireLoudest = 20;

// The sample clock at rate 3 and the machine clock it is counted against; rates 0-2 divide the
// sample clock by 8, 4 and 2 (6,258, 12,517 and 25,033 Hz).
constexpr int64_t kDmaSoundClockHz = 50066;
constexpr int64_t kDmaSoundMachineClockHz = 8021247;
// The emulated frame whose sound is made at its end: 313 lines of 512 cycles.
constexpr int32_t kDmaSoundFrameCycles = 160256;
constexpr int32_t kDmaSoundNoEvent = std::numeric_limits<int32_t>::max();

struct DmaSoundRegisters {
    uint8_t control = 0;
    std::array<uint8_t, 3> frameStart{};  // high, middle, low bytes as written
    std::array<uint8_t, 3> frameEnd{};
    uint8_t mode = 0;
    uint16_t microwireData = 0;
    uint16_t microwireMask = 0;
};

// The DAC's output from `time` (frame cycle) on: the sample frame's signed bytes, the same byte
// on both sides in mono; 0 and 0 once playing stops.
struct DmaSoundLevel {
    int32_t time = 0;
    int8_t left = 0;
    int8_t right = 0;
};

// A frame at 50 kHz puts out 1,001 levels; the rest leaves room for a program that starts and
// stops the sound many times a frame. Levels beyond it are dropped (the DAC holds).
constexpr size_t kDmaSoundMaxLevels = 4096;

struct DmaSound {
    DmaSoundRegisters registers;
    uint8_t leftVolume = 0;  // microwire side volumes, 0-31 as written
    uint8_t rightVolume = 0;

    // The frame being played, latched when playing starts and again at each repeat.
    uint32_t frameStart = 0;
    uint32_t frameEnd = 0;
    uint32_t fetchAddress = 0;  // the next sample frame; the frame address counter reads it
    bool frameDone = false;     // the frame's last sample is out: it ends at the next tick
    // The next tick of the sample clock: the cycle it falls in (from the start of the current
    // emulated frame) and how far into that cycle, in 1/kDmaSoundClockHz of a cycle.
    int32_t nextTickCycle = 0;
    int32_t nextTickFraction = 0;
    int32_t endTime = kDmaSoundNoEvent;  // cycle of the next frame end; none while stopped
    // Frame ends the chip has passed and the machine has not yet pulsed into Timer A's input.
    uint32_t endPulsesOwed = 0;

    // What the DAC put out in this emulated frame, and what it held when the frame began.
    std::vector<DmaSoundLevel> levels = std::vector<DmaSoundLevel>(kDmaSoundMaxLevels);
    size_t levelCount = 0;
    DmaSoundLevel heldLevel;

    const MachineMemory* memory = nullptr;  // set once by the machine; none: nothing is fetched
};

// The power-on registers and volumes; playing stops. The memory stays attached.
void DmaSoundReset(DmaSound& dma);

// ---- Register page (the I/O layer installs these on the STE only) ----
bool DmaSoundHasRegister(uint32_t address);
uint8_t DmaSoundReadByte(DmaSound& dma, CpuState& cpu, uint32_t address, int32_t cycleTime);
uint16_t DmaSoundReadWord(DmaSound& dma, CpuState& cpu, uint32_t address, int32_t cycleTime);
void DmaSoundWriteByte(DmaSound& dma, CpuState& cpu, uint32_t address, uint8_t value,
                       int32_t cycleTime);
void DmaSoundWriteWord(DmaSound& dma, CpuState& cpu, uint32_t address, uint16_t value,
                       int32_t cycleTime);

// ---- For the frame loop ----

// The DMA's "active" line: a sample frame is playing.
bool DmaSoundActive(const DmaSound& dma);
// The cycle at which the frame being played ends, kDmaSoundNoEvent while stopped.
int32_t DmaSoundNextEventTime(const DmaSound& dma);
// Runs the chip up to `time`: every sample clock tick due by then, frame ends included.
void DmaSoundAdvance(DmaSound& dma, int32_t time);
// Takes one frame end owed to Timer A's input; false when none is owed.
bool DmaSoundTakeEndPulse(DmaSound& dma);

// ---- Sound, at the frame end ----

// The frame end: runs the chip to the end of the emulated frame, adds what the DAC put out over
// the frame to `mix` as `count` output samples (when `mix` is null or count < 1 nothing is
// heard, but the chip goes on), and starts the next frame's clock.
void DmaSoundRender(DmaSound& dma, int32_t* mix, int count);

// Side gain 0-256 for a microwire volume; volumes outside 0-20 count as 20.
int DmaSoundGain(uint8_t volume);

}  // namespace orvet
