// Each sync mode paces by what it names, and fast forward by nothing.
#include "platform/frame_pacing.h"

#include <gtest/gtest.h>

namespace orvet {
namespace {

TEST(FramePacingTest, EachModePacesByItsOwnClock) {
    struct Case {
        uint32_t syncMode, frameSkip;
        bool fastForward, soundDevice;
        int swapInterval;
        bool waitForSound, paceByHostClock, soundAsPlayed, muted;
    };
    const Case cases[] = {
        {0, 0, false, true, 0, false, false, true, false},   // none: as fast as the host goes
        {1, 0, false, true, 0, true, false, false, false},   // the sound card's clock
        {1, 0, false, false, 0, false, true, false, false},  // no card: the host clock
        {2, 0, false, true, 1, false, false, true, false},   // the host's vertical blank
        {2, 3, false, true, 4, false, false, true, false},   // ...and three blanks more
        {2, 3, true, true, 0, false, false, false, true},    // fast forward: nothing waits
        {1, 0, true, false, 0, false, false, false, true},
    };
    for (const Case& c : cases) {
        const FramePacing pacing =
            ChoosePacing(c.syncMode, c.frameSkip, c.fastForward, c.soundDevice);
        SCOPED_TRACE(testing::Message()
                     << "mode " << c.syncMode << " skip " << c.frameSkip << " fast "
                     << c.fastForward << " device " << c.soundDevice);
        EXPECT_EQ(pacing.swapInterval, c.swapInterval);
        EXPECT_EQ(pacing.waitForSound, c.waitForSound);
        EXPECT_EQ(pacing.paceByHostClock, c.paceByHostClock);
        EXPECT_EQ(pacing.soundAsPlayed, c.soundAsPlayed);
        EXPECT_EQ(pacing.muted, c.muted);
    }
}

}  // namespace
}  // namespace orvet
