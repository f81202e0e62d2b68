// The sound view: where its frame lines and its trace fall on the picture.
#include "sound/sound_scope.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvet {
namespace {

TEST(SoundScope, DrawsFrameLinesAndATraceFromEachSampleLevelToTheNext) {
    std::vector<uint16_t> surface(800 * 600, 0);
    const auto at = [&](int x, int y) { return surface[size_t(y) * 800 + size_t(x)]; };
    DrawSoundScope(nullptr, 881, surface.data(), 800);
    std::vector<int16_t> samples(881, 0x1000);  // high byte 16: level 127 - 16 = 111
    DrawSoundScope(samples.data(), 0, surface.data(), 800);
    EXPECT_EQ(surface, std::vector<uint16_t>(800 * 600, 0));  // nothing to draw

    DrawSoundScope(samples.data(), 881, surface.data(), 800);
    for (int column : {0, 200, 383}) {
        const int x = 16 + 2 * column;
        for (int row : {44, 44 + 254, 44 + 512}) {
            EXPECT_EQ(at(x, row), 0xFF00);
            EXPECT_EQ(at(x + 1, row), 0xFF00);
        }
        EXPECT_EQ(at(x, 44 + 2 * 111), 0xFFFF);  // a steady level is one dot a column
        EXPECT_EQ(at(x, 44 + 2 * 110), 0);
        EXPECT_EQ(at(x + 1, 44 + 2 * 111), 0);
    }
    EXPECT_EQ(at(15, 44), 0);
    EXPECT_EQ(at(16 + 768, 44), 0);

    // A jump from the lowest level to the highest is drawn on every second row between them,
    // as many samples as columns reading the last sample at the right edge and never past it.
    std::fill(surface.begin(), surface.end(), 0);
    std::vector<int16_t> jump(384, -32768);
    jump[1] = 32767;
    DrawSoundScope(jump.data(), 384, surface.data(), 800);
    for (int level = 0; level <= 255; ++level) EXPECT_EQ(at(16, 44 + 2 * level), 0xFFFF);
    EXPECT_EQ(at(16, 44 + 2 * 100 + 1), 0);
}

}  // namespace
}  // namespace orvet
