#include "sound/mixer.h"

#include <algorithm>

namespace orvet {

void FilterAndClip(SoundFilter& filter, const int32_t* mixed, int count, int16_t* out) {
    int32_t previous = filter.previous;
    int32_t beforePrevious = filter.beforePrevious;
    for (int index = 0; index < count; ++index) {
        const int32_t value = mixed[index];
        const int32_t smoothed = (value + 2 * previous + beforePrevious) >> 2;
        out[index] = static_cast<int16_t>(std::clamp(smoothed, -32768, 32767));
        beforePrevious = previous;
        previous = value;
    }
    filter.previous = previous;
    filter.beforePrevious = beforePrevious;
}

int SoundFrame(SoundChips& chips, Ym2149& ym, DriveSoundPlayer& driveSounds,
               const SoundSettings& settings, int count, int16_t* out) {
    count = out ? std::clamp(count, 0, kMaxSamplesPerFrame) : 0;
    int32_t* mix = chips.mixBuffer.data();
    std::fill_n(mix, count, 0);

    if (settings.YMSound && count > 0) {
        YmRender(chips.ymSynth, ym, mix, count);
    } else {
        YmApplyLog(chips.ymSynth, ym);
    }
    if (settings.DiskSound && !settings.FastDisk) {
        DriveSoundsRender(driveSounds, mix, count);
    }
    // The DMA keeps fetching whether or not the host hears it.
    DmaSoundRender(chips.dmaSound, settings.bDacSound ? mix : nullptr, count);

    FilterAndClip(chips.filter, mix, count, out);
    return count;
}

}  // namespace orvet
