// The I/O area 0xFF8000-0xFFFFFF: one 256-byte page per device, picked by address bits 8-14,
// with the page's wait states, and bus errors wherever no device answers.
#pragma once

#include <cstdint>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {

// The extra bus cycles a device's page costs.
enum class IoWaitRule : uint8_t {
    None,
    EveryAccess,  // the MFP: 4 cycles on every access
    SoundChip,    // the YM2149: 4 on an instruction's first access and on every 9th byte / 5th word
};

// One device's registers. Accesses to the page outside [firstOffset, lastOffset] end in a bus
// error, as nothing answers there on the ST; a device without word handlers is accessed a byte at
// a time, high byte first.
struct IoPage {
    uint8_t (*readByte)(void* device, CpuState& cpu, uint32_t address, int32_t cycleTime) = nullptr;
    uint16_t (*readWord)(void* device, CpuState& cpu, uint32_t address,
                         int32_t cycleTime) = nullptr;
    void (*writeByte)(void* device, CpuState& cpu, uint32_t address, uint8_t value,
                      int32_t cycleTime) = nullptr;
    void (*writeWord)(void* device, CpuState& cpu, uint32_t address, uint16_t value,
                      int32_t cycleTime) = nullptr;
    void* device = nullptr;
    uint8_t firstOffset = 0;
    uint8_t lastOffset = 0xFF;
    IoWaitRule wait = IoWaitRule::None;
};

struct IoSpace {
    IoPage pages[128];  // indexed by (address & 0x7F00) >> 8; a page without readByte is empty
    int ymAccessCount = 0;
};

// The four handlers the memory map installs for 0xFF8000-0xFFFFFF.
IoHandlers IoSpaceHandlers(IoSpace& io);

// Puts a device at the page holding `address`, or empties the page with IoPage{}.
void IoSetPage(IoSpace& io, uint32_t address, const IoPage& page);

// The memory configuration register at 0xFFFF8001 (byte) / 0xFFFF8000 (word, 0xFF above it).
IoPage MemoryConfigurationPage(MachineMemory& memory);

}  // namespace orvet
