#include "sound/dma_sound.h"

#include <algorithm>

#include "machine/memory.h"

namespace orvet {
namespace {

// Page offsets.
constexpr uint32_t kControlOffset = 0x01;
constexpr uint32_t kLastAddressOffset = 0x13;  // control and the three address registers
constexpr uint32_t kModeOffset = 0x20;
constexpr uint32_t kMicrowireDataOffset = 0x22;
constexpr uint32_t kMicrowireMaskOffset = 0x24;
constexpr uint32_t kLastRegisterOffset = 0x26;

// Sample frames fetched in one emulated frame at each rate: 6,258, 12,517, 25,033 and 50,066 Hz
// at 50.06 frames a second.
constexpr std::array<uint32_t, 4> kFramesPerEmulatedFrame = {125, 250, 500, 1001};

// The LMC1992 takes an 11-bit command: address 10 (bits 10-9), then a function (bits 8-6) and
// its value. Function 101 sets the left side, 100 the right; master, treble, bass and the input
// mixer are not modelled.
constexpr uint16_t kMicrowireFunctionMask = 0x540;
constexpr uint16_t kMicrowireLeft = 0x540;
constexpr uint16_t kMicrowireRight = 0x500;

uint16_t WordAt(const DmaSound& dma, uint32_t offset) {
    return static_cast<uint16_t>(dma.image[offset] << 8 | dma.image[offset + 1]);
}

// A 22-bit address from the odd bytes of three consecutive words.
uint32_t AddressAt(const DmaSound& dma, uint32_t highOffset) {
    return (dma.image[highOffset] & 0x3Fu) << 16 | dma.image[highOffset + 2] << 8 |
           dma.image[highOffset + 4];
}

void SetCounter(DmaSound& dma, uint32_t address) {
    const uint32_t counterOffset = kDmaSoundCounterHigh & 0xFF;
    dma.image[counterOffset] = static_cast<uint8_t>((address >> 16) & 0x3F);
    dma.image[counterOffset + 2] = static_cast<uint8_t>(address >> 8);
    dma.image[counterOffset + 4] = static_cast<uint8_t>(address);
}

// Starting to play (and each repeat) takes the frame registers as they are then; changing them
// while a frame plays affects only the next one.
void LatchFrame(DmaSound& dma) {
    dma.frameStart = AddressAt(dma, kDmaSoundFrameStartHigh & 0xFF);
    dma.frameEnd = AddressAt(dma, kDmaSoundFrameEndHigh & 0xFF);
    dma.playAddress = dma.frameStart;
    dma.positionFraction = 0;
}

// The control register is written through here only. (GCC 12.2 at -O2 wrongly takes a store to
// image[offset], offset odd, as never reaching image[1]: compared with a copy taken before the
// store, the control byte then seemed unchanged and playing never started.)
void WriteControl(DmaSound& dma, uint8_t control) {
    const uint8_t previousControl = dma.image[kControlOffset];
    dma.image[kControlOffset] = control;
    if ((control & kDmaSoundControlPlay) && !(previousControl & kDmaSoundControlPlay)) {
        LatchFrame(dma);
        SetCounter(dma, dma.playAddress);
    }
}

void DecodeMicrowire(DmaSound& dma) {
    const uint16_t command = WordAt(dma, kMicrowireDataOffset);
    const uint16_t function = command & kMicrowireFunctionMask;
    if (function == kMicrowireLeft) {
        dma.leftVolume = command & 31;
    } else if (function == kMicrowireRight) {
        dma.rightVolume = command & 31;
    }
}

// The DMA reaches RAM only; past the fitted RAM there is nothing to fetch and the sample is 0.
int32_t FetchSigned(const MachineMemory& memory, uint32_t address) {
    if (address >= memory.ramSize || address >= kRamAreaSize || !memory.ramBase) return 0;
    return static_cast<int8_t>(memory.ramBase[address ^ 1]);
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

uint8_t DmaSoundReadByte(DmaSound& dma, CpuState&, uint32_t address, int32_t) {
    const uint32_t offset = address & 0xFF;
    if (offset <= kLastAddressOffset) return (offset & 1) ? dma.image[offset] : 0xFF;
    if (offset >= kMicrowireDataOffset && offset <= kLastRegisterOffset) {
        return dma.image[offset];
    }
    return 0xFF;  // the gap, the mode register (word access only) and beyond
}

uint16_t DmaSoundReadWord(DmaSound& dma, CpuState&, uint32_t address, int32_t) {
    const uint32_t offset = address & 0xFE;
    if (offset <= kLastAddressOffset) return WordAt(dma, offset);
    // The microwire data register shifts out while it is read: it reads as 0.
    if (offset == kMicrowireDataOffset) return 0x0000;
    if (offset == kModeOffset || offset == kMicrowireMaskOffset) return WordAt(dma, offset);
    return 0xFFFF;
}

void DmaSoundWriteByte(DmaSound& dma, CpuState&, uint32_t address, uint8_t value, int32_t) {
    const uint32_t offset = address & 0xFF;
    if (offset <= kLastAddressOffset) {
        if (!(offset & 1)) return;  // the registers sit on the low data lines
        if (offset == kControlOffset) {
            WriteControl(dma, value);
        } else {
            dma.image[offset] = value;
        }
    } else if (offset >= kMicrowireDataOffset && offset <= kLastRegisterOffset) {
        dma.image[offset] = value;
    }
}

void DmaSoundWriteWord(DmaSound& dma, CpuState&, uint32_t address, uint16_t value, int32_t) {
    const uint32_t offset = address & 0xFE;
    const bool stored = offset <= kLastAddressOffset || offset == kModeOffset ||
                        offset == kMicrowireDataOffset || offset == kMicrowireMaskOffset;
    if (!stored) return;
    dma.image[offset] = static_cast<uint8_t>(value >> 8);
    if (offset + 1 == kControlOffset) {
        WriteControl(dma, static_cast<uint8_t>(value));
    } else {
        dma.image[offset + 1] = static_cast<uint8_t>(value);
    }
    if (offset == kMicrowireDataOffset) DecodeMicrowire(dma);
}

int DmaSoundGain(uint8_t volume) {
    const int loudness = volume > kMicrowireLoudest ? kMicrowireLoudest : volume;
    return loudness * 256 / kMicrowireLoudest;
}

void DmaSoundRender(DmaSound& dma, int32_t* mix, int count) {
    uint8_t& control = dma.image[kControlOffset];
    if (!(control & kDmaSoundControlPlay) || count < 1 || !dma.memory) return;
    const uint8_t mode = dma.image[kModeOffset + 1];
    const bool mono = (mode & kDmaSoundModeMono) != 0;
    const uint32_t bytesPerFrame = mono ? 1 : 2;
    const uint32_t step = (kFramesPerEmulatedFrame[mode & 3] << 16) / static_cast<uint32_t>(count);
    const int32_t leftGain = DmaSoundGain(dma.leftVolume);
    const int32_t rightGain = DmaSoundGain(dma.rightVolume);
    const MachineMemory& memory = *dma.memory;

    uint32_t address = dma.playAddress;
    uint32_t position = dma.positionFraction;
    for (int index = 0; index < count; ++index) {
        uint32_t offset = (position >> 16) * bytesPerFrame;
        if (address + offset + bytesPerFrame > dma.frameEnd) {
            if (!(control & kDmaSoundControlRepeat)) {
                // The frame is done and the chip stops, as a program polling the control bit
                // expects.
                control &= static_cast<uint8_t>(~kDmaSoundControlPlay);
                address = std::max(dma.frameEnd, dma.frameStart);
                position = 0;
                break;
            }
            LatchFrame(dma);
            address = dma.frameStart;
            position &= 0xFFFF;
            offset = 0;
            if (address + bytesPerFrame > dma.frameEnd) break;  // an empty frame plays nothing
        }
        if (mix) {
            const int32_t left = FetchSigned(memory, address + offset);
            // In mono the one byte goes to both sides, so it is as loud as a stereo pair.
            const int32_t right = mono ? left : FetchSigned(memory, address + offset + 1);
            mix[index] += (left * leftGain + right * rightGain) >> 1;
        }
        position += step;
    }
    dma.playAddress = address + (position >> 16) * bytesPerFrame;
    dma.positionFraction = position & 0xFFFF;
    SetCounter(dma, dma.playAddress);
}

}  // namespace orvet
