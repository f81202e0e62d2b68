#include "capture/tga_writer.h"

#include <algorithm>

namespace orvet {
namespace {

constexpr size_t kLongestPacket = 128;

void PutLittle16(uint8_t* out, int value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> Header(int imageType, int colourCount, int width, int height,
                            int bitsPerPixel) {
    std::vector<uint8_t> header(kTgaHeaderSize, 0);
    header[1] = colourCount > 0 ? 1 : 0;  // a colour map follows
    header[2] = static_cast<uint8_t>(imageType);
    PutLittle16(&header[5], colourCount);  // map length; the first entry is 0
    header[7] = colourCount > 0 ? 24 : 0;  // bits of a map entry
    PutLittle16(&header[12], width);
    PutLittle16(&header[14], height);
    header[16] = static_cast<uint8_t>(bitsPerPixel);
    return header;  // descriptor 0: the first row stored is the bottom one
}

void WriteRawPackets(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
    while (count > 0) {
        const size_t taken = std::min(count, kLongestPacket);
        out.push_back(static_cast<uint8_t>(taken - 1));
        out.insert(out.end(), bytes, bytes + taken);
        bytes += taken;
        count -= taken;
    }
}

}  // namespace

void TgaRunLength(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
    size_t rawStart = 0;  // the bytes from here to position wait for a raw packet
    size_t position = 0;
    while (position < count) {
        size_t run = 1;
        while (position + run < count && bytes[position + run] == bytes[position]) ++run;
        if (run == 1 && position + 1 < count) {
            ++position;
            continue;
        }
        WriteRawPackets(bytes + rawStart, position - rawStart, out);
        for (size_t left = run; left > 0;) {
            const size_t taken = std::min(left, kLongestPacket);
            out.push_back(static_cast<uint8_t>(0x80 + taken - 1));
            out.push_back(bytes[position]);
            left -= taken;
        }
        position += run;
        rawStart = position;
    }
}

std::vector<uint8_t> EncodeTgaColourMapped(const uint8_t* indexes, int width, int height,
                                           const std::array<std::array<uint8_t, 3>, 256>& map,
                                           int colourCount) {
    colourCount = std::clamp(colourCount, 1, 256);
    std::vector<uint8_t> out = Header(9, colourCount, width, height, 8);
    for (int entry = 0; entry < colourCount; ++entry) {
        out.insert(out.end(), map[entry].begin(), map[entry].end());
    }
    std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        std::copy_n(indexes + static_cast<size_t>(height - 1 - row) * width, width,
                    bottomUp.begin() + static_cast<ptrdiff_t>(row) * width);
    }
    TgaRunLength(bottomUp.data(), bottomUp.size(), out);
    return out;
}

std::vector<uint8_t> EncodeTgaTrueColour(const uint16_t* colours, int width, int height) {
    std::vector<uint8_t> out = Header(2, 0, width, height, 16);
    out.reserve(out.size() + static_cast<size_t>(width) * height * 2);
    for (int row = height - 1; row >= 0; --row) {
        const uint16_t* source = colours + static_cast<size_t>(row) * width;
        for (int x = 0; x < width; ++x) {
            const unsigned colour = source[x];
            const unsigned red = (colour >> 8) & 15, green = (colour >> 4) & 15, blue = colour & 15;
            const unsigned pixel = (red * 2) << 10 | (green * 2) << 5 | blue * 2;
            out.push_back(static_cast<uint8_t>(pixel));
            out.push_back(static_cast<uint8_t>(pixel >> 8));
        }
    }
    return out;
}

}  // namespace orvet
