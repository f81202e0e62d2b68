// A GIF's LZW codes walked as a decoder walks them, counting what each code stands for, so that a
// test sees what a decoder reading it would: every code comes in the width the decoder expects
// (9 bits after a clear code, one more once 2^width table entries are in use), how long the
// longest code's string is, and whether the end code comes where the image ends. Shared by the
// capture tests and the GIF fuzz target.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvet::testing {

struct CodeWalk {
    size_t pixels = 0;
    size_t longestCode = 0;
    bool ended = false;            // the end code was read before the data ran out
    std::vector<int> clearedAt;    // the table's next entry at each clear code
};

// gif: a file of one image with a global table of 256 entries and no extensions.
inline CodeWalk WalkGifCodes(const std::vector<uint8_t>& gif) {
    size_t at = 13 + 768 + 10 + 1;  // screen, table, image descriptor, minimum code size
    std::vector<uint8_t> data;
    while (at < gif.size() && gif[at] != 0) {
        const size_t end = std::min(gif.size(), at + 1 + gif[at]);
        data.insert(data.end(), gif.begin() + long(at) + 1, gif.begin() + long(end));
        at = end;
    }
    CodeWalk walk;
    std::vector<size_t> length(4096, 1);
    int width = 9, next = 258, previous = -1;
    for (size_t bit = 0; bit + size_t(width) <= data.size() * 8;) {
        int code = 0;
        for (int index = 0; index < width; ++index, ++bit) {
            code |= (data[bit / 8] >> (bit % 8) & 1) << index;
        }
        if (code == 256) {
            walk.clearedAt.push_back(next);
            width = 9, next = 258, previous = -1;
            continue;
        }
        walk.ended = code == 257;
        if (code == 257 || code > next || (previous < 0 && code > 255)) break;
        const size_t stands =
            code == next ? length[size_t(previous)] + 1 : length[size_t(code)];
        walk.pixels += stands;
        walk.longestCode = std::max(walk.longestCode, stands);
        // Every code but the first after a clear adds a string to the table.
        if (previous >= 0 && next < 4096) {
            length[size_t(next)] = length[size_t(previous)] + 1;
            if (++next == 1 << width && width < 12) ++width;
        }
        previous = code;
    }
    return walk;
}

}  // namespace orvet::testing
