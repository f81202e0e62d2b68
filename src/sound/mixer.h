// The frame's sound: the YM2149, the drive noises and the STE's DMA sound mixed into one mono
// 44,100 Hz stream, smoothed and clipped to 16 bits. The frame end calls SoundFrame once; the
// host audio device and the sound recorders take what it made.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/dma_sound.h"
#include "sound/drive_sounds.h"
#include "sound/ym2149.h"
#include "sound/ym_synth.h"

namespace orvet {

// No frame asks for more: the host's sound buffer holds 4,096 samples.
constexpr int kMaxSamplesPerFrame = 4096;

// Which sources are heard; the names are those the settings file stores.
struct SoundSettings {
    bool YMSound = true;    // the YM2149
    bool DiskSound = true;  // the drive noises
    bool bDacSound = true;  // the STE DMA sound
    bool FastDisk = false;  // ultra-fast floppy timing: the drive makes no noise then
};

// The output's smoothing: each sample is a quarter of x[k] + 2 x[k-1] + x[k-2], a gentle low-pass
// that takes the edge off the square waves. It remembers the last two mixed values, so frames
// join without a seam.
struct SoundFilter {
    int32_t previous = 0;
    int32_t beforePrevious = 0;
};

// The sound side's state that lasts from frame to frame. The YM2149's register face and the
// drive-noise player belong to the machine, which the processor and the floppy controller reach.
struct SoundChips {
    YmSynth ymSynth;
    DmaSound dmaSound;
    SoundFilter filter;
    std::vector<int32_t> mixBuffer = std::vector<int32_t>(kMaxSamplesPerFrame);
};

// Makes the frame's `count` samples into `out` (room for `count`, at most kMaxSamplesPerFrame)
// from the sources the settings switch on, consuming the YM2149's register log (which the caller
// has closed) and playing the drive noises on. Returns the number of samples made: count, held to
// 0 ... kMaxSamplesPerFrame (0 when out is null). A frame with no samples still applies the frame's
// YM register writes. Allocates nothing.
int SoundFrame(SoundChips& chips, Ym2149& ym, DriveSoundPlayer& driveSounds,
               const SoundSettings& settings, int count, int16_t* out);

// The smoothing and clipping steps of SoundFrame on mixed values.
void FilterAndClip(SoundFilter& filter, const int32_t* mixed, int count, int16_t* out);

}  // namespace orvet
