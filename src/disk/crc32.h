// CRC-32 as zip archives record it: the reflected polynomial 0xEDB88320, register preset to all
// ones and complemented at the end.
#pragma once

#include <cstdint>
#include <span>

namespace orvet {

// The CRC-32 of `bytes` following bytes whose CRC-32 was `previous` (0 for none), so that a
// stream can be checked piece by piece: Crc32Update(Crc32(a), b) == Crc32(a followed by b).
uint32_t Crc32Update(uint32_t previous, std::span<const uint8_t> bytes);

inline uint32_t Crc32(std::span<const uint8_t> bytes) {
    return Crc32Update(0, bytes);
}

}  // namespace orvet
