#include "platform/frame_pacing.h"

namespace orvet {

FramePacing ChoosePacing(uint32_t syncMode, uint32_t frameSkip, bool fastForward,
                         bool soundDevice) {
    FramePacing pacing;
    if (fastForward) {
        pacing.muted = true;
        return pacing;
    }
    switch (syncMode) {
        case 1:
            pacing.waitForSound = soundDevice;
            pacing.paceByHostClock = !soundDevice;
            break;
        case 2:
            pacing.swapInterval = 1 + static_cast<int>(frameSkip > 9 ? 9 : frameSkip);
            pacing.soundAsPlayed = soundDevice;
            break;
        default:
            pacing.soundAsPlayed = soundDevice;
            break;
    }
    return pacing;
}

}  // namespace orvet
