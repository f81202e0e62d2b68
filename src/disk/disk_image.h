// The floppy disk in drive A, as the controller reads it.
#pragma once

#include <cstdint>
#include <vector>

namespace orvet {

// Sector s (from 1) of side h of track t starts at ((t * sides + h) * sectors + s - 1) * 512.
// The bytes of each 16-bit word are exchanged, as in the machine's memory, so that the DMA
// copies the image word for word.
struct DiskImage {
    std::vector<uint8_t> data;  // empty: no disk in the drive
    int32_t tracks = 0;         // per side
    int32_t sides = 0;
    int32_t sectors = 0;        // per track, 512 bytes each

    bool inserted() const { return !data.empty(); }
};

}  // namespace orvet
