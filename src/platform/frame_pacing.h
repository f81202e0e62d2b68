// What sets the machine's speed in each sync mode, and where each frame's sound comes from.
#pragma once

#include <cstdint>

namespace orvet {

struct FramePacing {
    int swapInterval = 0;          // vertical blanks each present waits for; 0 none
    bool waitForSound = false;     // the sound card's clock paces: wait for room for 881 samples
    bool paceByHostClock = false;  // the host clock paces at 50.06 frames a second
    bool soundAsPlayed = false;    // each frame makes what the device played since the last
    bool muted = false;            // no sound is made or played
};

// syncMode: 0 none, 1 "ST Screen Freq.", 2 "PC Vertical Blank" (with frameSkip extra blanks).
// Fast forward runs unpaced and muted whatever the mode. Without a sound device the paced mode
// follows the host clock, which ticks at the rate the sound card would.
FramePacing ChoosePacing(uint32_t syncMode, uint32_t frameSkip, bool fastForward, bool soundDevice);

}  // namespace orvet
