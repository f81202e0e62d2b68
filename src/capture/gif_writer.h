// GIF 87a pictures of up to 256 colours: one image, a global colour table of 256 entries, the
// indexes packed by a variable-width LZW coder (9 to 12 bits, least significant bit first) into
// sub-blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvet {

// The coder holds its strings to this many index bytes: no code it writes stands for more.
constexpr size_t kGifLongestCode = 96;

// The whole file: width x height indexes, top row first, and the colour table as red, green,
// blue (256 entries; unused ones may be anything).
std::vector<uint8_t> EncodeGif87a(const uint8_t* indexes, int width, int height,
                                  const std::array<std::array<uint8_t, 3>, 256>& redGreenBlue);

// The image data after the minimum code size byte: the LZW codes of count 8-bit indexes, framed
// as sub-blocks and closed with an empty one.
void GifLzwEncode(const uint8_t* indexes, size_t count, std::vector<uint8_t>& out);

}  // namespace orvet
