// TGA pictures in the two kinds screenshots use: colour-mapped and run-length coded for up to 256
// colours, and uncoded 16-bit true colour for more. Both are stored bottom row first, as the
// format's default origin asks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvet {

constexpr size_t kTgaHeaderSize = 18;

// width x height indexes, top row first, and colourCount (1-256) map entries of blue, green, red.
std::vector<uint8_t> EncodeTgaColourMapped(const uint8_t* indexes, int width, int height,
                                           const std::array<std::array<uint8_t, 3>, 256>& map,
                                           int colourCount);

// width x height 12-bit colours (red in bits 8-11), top row first, each 4-bit field k stored as
// the 5-bit 2k of a 0RRRRRGGGGGBBBBB pixel.
std::vector<uint8_t> EncodeTgaTrueColour(const uint16_t* colours, int width, int height);

// TGA's run-length packets over one stream of bytes (runs may cross rows): runs of 2 or more as
// run packets, other bytes gathered into raw packets, at most 128 bytes a packet.
void TgaRunLength(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out);

}  // namespace orvet
