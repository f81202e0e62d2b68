// The STE's DMA sound: 8-bit signed samples fetched from RAM at one of four rates, mono or
// stereo, with the left and right volumes set through the microwire interface of the LMC1992.
//
// Register page 0xFF8900 (STE only; the I/O layer leaves the page empty on the STFM). The chip
// answers across the page; its registers are 0xFF8900-0xFF8927:
//   0xFF8901 control: bit 0 plays, bit 1 repeats the frame
//   0xFF8903/05/07 frame start (bits 16-21, 8-15, 0-7), 0xFF8909/0B/0D frame address counter,
//   0xFF890F/11/13 frame end; 0xFF8921 sound mode: bits 0-1 rate, bit 7 mono;
//   0xFF8922 microwire data, 0xFF8924 microwire mask.
// The sound is fetched at the frame end: the counter moves once per emulated frame.
#pragma once

#include <array>
#include <cstdint>

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

// The page at power-on: control, addresses and counter read 0 in their odd bytes, the unused
// even bytes and 0xFF8914-0xFF891F all ones, the mode and microwire words 0.
constexpr std::array<uint8_t, 256> DmaSoundPowerOnImage() {
    std::array<uint8_t, 256> image{};
    for (unsigned offset = 0; offset < 256; ++offset) {
        uint8_t value = 0xFF;
        if (offset <= 0x13) value = (offset & 1) ? 0x00 : 0xFF;
        if (offset >= 0x20 && offset <= 0x24) value = 0x00;
        image[offset] = value;
    }
    return image;
}

struct DmaSound {
    // The page as the processor sees it, byte n at image[n].
    std::array<uint8_t, 256> image = DmaSoundPowerOnImage();
    uint8_t leftVolume = 0;  // microwire side volumes, 0-31 as written
    uint8_t rightVolume = 0;

    // The frame being played, latched when playing starts and again at each repeat.
    uint32_t frameStart = 0;
    uint32_t frameEnd = 0;
    uint32_t playAddress = 0;       // the next sample frame to fetch
    uint32_t positionFraction = 0;  // 16-bit fraction of a sample frame

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

// ---- Sound, at the frame end ----

// Plays one emulated frame's worth of DMA sound as `count` output samples, added to `mix`
// (when `mix` is null the chip still plays, unheard: its counter and repeats go on).
void DmaSoundRender(DmaSound& dma, int32_t* mix, int count);

// Side gain 0-256 for a microwire volume; volumes outside 0-20 count as 20.
int DmaSoundGain(uint8_t volume);

}  // namespace orvet
