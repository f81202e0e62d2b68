#include "disk/crc32.h"

#include <array>

namespace orvet {

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0][b]: what shifting byte b out of the low end of the register through the feedback
// taps does to the rest of it. tables[k][b]: the same for a byte that has k more zero bytes
// behind it, so that eight bytes can be folded in at once, each through its own table.
constexpr CrcTables BuildCrcTables() {
    CrcTables tables{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t remainder = byte;
        for (int bit = 0; bit < 8; ++bit) {
            remainder = (remainder & 1) ? (remainder >> 1) ^ 0xEDB88320u : remainder >> 1;
        }
        tables[0][byte] = remainder;
    }
    for (size_t slice = 1; slice < tables.size(); ++slice) {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            const uint32_t previous = tables[slice - 1][byte];
            tables[slice][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = BuildCrcTables();

}  // namespace

uint32_t Crc32Update(uint32_t previous, std::span<const uint8_t> bytes) {
    uint32_t crcRegister = ~previous;
    const uint8_t* next = bytes.data();
    size_t left = bytes.size();
    for (; left >= 8; left -= 8, next += 8) {
        const uint32_t low = crcRegister ^ (uint32_t{next[0]} | uint32_t{next[1]} << 8 |
                                            uint32_t{next[2]} << 16 | uint32_t{next[3]} << 24);
        crcRegister = kCrcTables[7][low & 0xFF] ^ kCrcTables[6][(low >> 8) & 0xFF] ^
                      kCrcTables[5][(low >> 16) & 0xFF] ^ kCrcTables[4][low >> 24] ^
                      kCrcTables[3][next[4]] ^ kCrcTables[2][next[5]] ^ kCrcTables[1][next[6]] ^
                      kCrcTables[0][next[7]];
    }
    for (; left > 0; --left, ++next) {
        crcRegister = kCrcTables[0][(crcRegister ^ *next) & 0xFF] ^ (crcRegister >> 8);
    }
    return ~crcRegister;
}

}  // namespace orvet
