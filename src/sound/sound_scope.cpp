#include "sound/sound_scope.h"

#include <algorithm>

namespace orvet {

void DrawSoundScope(const int16_t* samples, int count, uint16_t* surface, int pitchPixels) {
    if (!samples || count < 1 || !surface) return;
    // 16.16 fixed point: the samples spread evenly over the columns.
    const int64_t step = static_cast<int64_t>(count) * 65536 / kScopeColumns;
    // The signed high byte of a sample, turned so that loud positive values stand high.
    const auto levelAt = [&](int64_t position) {
        const int index = static_cast<int>(std::min<int64_t>(position >> 16, count - 1));
        return 127 - (samples[index] >> 8);
    };
    const auto pixel = [&](int x, int viewRow) -> uint16_t& {
        return surface[static_cast<size_t>(kScopeTop + viewRow) * pitchPixels + x];
    };
    int64_t position = 0;
    for (int column = 0; column < kScopeColumns; ++column) {
        const int x = kScopeLeft + 2 * column;
        for (int viewRow : {0, 254, kScopeHeight}) {
            pixel(x, viewRow) = kScopeFrameColour;
            pixel(x + 1, viewRow) = kScopeFrameColour;
        }
        const int from = levelAt(position);
        position += step;
        const int to = levelAt(position);
        const int direction = to >= from ? 1 : -1;
        for (int level = from;; level += direction) {
            pixel(x, 2 * level) = kScopeTraceColour;
            if (level == to) break;
        }
    }
}

}  // namespace orvet
