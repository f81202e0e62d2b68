// The STE DMA sound's share of a save state: its registers and volumes, the sample frame being
// played and where the sample clock stands, and what the DAC has put out so far in the frame.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "sound/dma_sound.h"

namespace orvet {

void SerializeDmaSound(StateStream& stream, DmaSound& dma) {
    DmaSoundRegisters& r = dma.registers;
    stream.value(r.control);
    stream.values(r.frameStart);
    stream.values(r.frameEnd);
    stream.value(r.mode);
    stream.value(r.microwireData);
    stream.value(r.microwireMask);
    stream.value(dma.leftVolume);
    stream.value(dma.rightVolume);
    stream.value(dma.frameStart);
    stream.value(dma.frameEnd);
    stream.value(dma.fetchAddress);
    stream.value(dma.frameDone);
    stream.value(dma.nextTickCycle);
    stream.value(dma.nextTickFraction);
    stream.value(dma.endTime);
    stream.value(dma.endPulsesOwed);
    // The frame registers hold 22 address bits; the counter runs at most a sample frame past the
    // end. A playing clock far behind the frame would take the chip millions of ticks to catch up.
    stream.require(dma.frameStart < 0x400000 && dma.frameEnd < 0x400000 &&
                       dma.fetchAddress < 0x400002,
                   "a DMA sound frame outside the address range");
    // The clock restarts when playing starts; while it plays it stays within the frame.
    const bool playing = (r.control & kDmaSoundControlPlay) != 0;
    stream.require(dma.nextTickFraction >= 0 && dma.nextTickFraction < kDmaSoundClockHz &&
                       (!playing || (dma.nextTickCycle >= -kDmaSoundFrameCycles &&
                                     dma.nextTickCycle <= 2 * kDmaSoundFrameCycles)),
                   "a DMA sound clock outside the frame");

    uint32_t levelCount = static_cast<uint32_t>(dma.levelCount);
    stream.value(levelCount);
    stream.require(levelCount <= dma.levels.size(), "more DMA sound levels than the frame holds");
    if (stream.failed()) return;
    dma.levelCount = levelCount;
    for (size_t index = 0; index < dma.levelCount; ++index) {
        stream.value(dma.levels[index].time);
        stream.value(dma.levels[index].left);
        stream.value(dma.levels[index].right);
    }
    stream.value(dma.heldLevel.time);
    stream.value(dma.heldLevel.left);
    stream.value(dma.heldLevel.right);
}

}  // namespace orvet
