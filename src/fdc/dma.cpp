#include "fdc/dma.h"

#include <algorithm>
#include <cstring>

#include "machine/memory.h"

namespace orvet {
namespace {

// The reset vectors copied from the ROM: the memory controller refuses writes below here.
constexpr uint32_t kFirstWritableAddress = 8;

bool hasRam(const MachineMemory& memory) {
    return memory.ramBase != nullptr && memory.ramSize <= kRamAreaSize;
}

}  // namespace

uint32_t DmaLengthInRam(const MachineMemory& memory, uint32_t address, uint32_t length) {
    if (!hasRam(memory) || address >= memory.ramSize) return 0;
    return std::min(length, memory.ramSize - address);
}

void DmaCopyToRam(MachineMemory& memory, uint32_t address, const uint8_t* source, uint32_t length) {
    length = DmaLengthInRam(memory, address, std::min<uint32_t>(length, 512));
    if (length == 0) return;
    uint8_t* ram = memory.ramBase;
    const uint32_t skipped =
        address < kFirstWritableAddress ? std::min(kFirstWritableAddress - address, length) : 0;
    if ((address & 1) == 0 && (length & 1) == 0) {
        // RAM and the image share the word-swapped layout: whole words copy as they stand.
        std::memcpy(ram + address + skipped, source + skipped, length - skipped);
        return;
    }
    // An odd start puts every byte in the other half of its word.
    for (uint32_t index = skipped; index < length; ++index) {
        ram[(address + index) ^ 1] = source[index ^ 1];
    }
}

void DmaCopyFromRam(const MachineMemory& memory, uint32_t address, uint8_t* target,
                    uint32_t length) {
    length = DmaLengthInRam(memory, address, std::min<uint32_t>(length, 512));
    if (length == 0) return;
    const uint8_t* ram = memory.ramBase;
    if ((address & 1) == 0 && (length & 1) == 0) {
        std::memcpy(target, ram + address, length);
        return;
    }
    for (uint32_t index = 0; index < length; ++index) {
        target[index ^ 1] = ram[(address + index) ^ 1];
    }
}

void DmaClearRam(MachineMemory& memory, uint32_t address, uint64_t length) {
    if (!hasRam(memory)) return;
    uint32_t first = std::max(address, kFirstWritableAddress);
    uint32_t end =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{address} + length, memory.ramSize));
    if (first >= end) return;
    uint8_t* ram = memory.ramBase;
    if (first & 1) {
        ram[first ^ 1] = 0;
        ++first;
    }
    if (first < end && (end & 1)) {
        --end;
        ram[end ^ 1] = 0;
    }
    if (first < end) std::memset(ram + first, 0, end - first);
}

}  // namespace orvet
