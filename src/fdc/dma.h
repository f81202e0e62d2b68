// The DMA chip's reach into RAM. Whatever the address and count registers hold, a transfer
// touches only emulated RAM below the configured size, and never the reset vectors at 0-7.
#pragma once

#include <cstdint>

namespace orvet {

struct MachineMemory;

// How many of `length` bytes from `address` lie below the end of RAM; 0 when the transfer starts
// at or beyond it.
uint32_t DmaLengthInRam(const MachineMemory& memory, uint32_t address, uint32_t length);

// Copies `length` bytes (at most 512, stored word-swapped like RAM) to RAM from `address`, so
// that the byte at 68000 address address + i is source byte i. The part beyond RAM is cut, and
// bytes aimed at addresses 0-7 are dropped: the memory controller write-protects the reset
// vectors there, the DMA included.
void DmaCopyToRam(MachineMemory& memory, uint32_t address, const uint8_t* source, uint32_t length);

// Copies `length` bytes (at most 512) from RAM at `address` into `target`, stored word-swapped
// like RAM, so that target byte i is the byte at 68000 address address + i: a sector on its way
// to the disk. The part beyond RAM is not copied.
void DmaCopyFromRam(const MachineMemory& memory, uint32_t address, uint8_t* target,
                    uint32_t length);

// Clears `length` bytes from `address`, as the hard-disk side's transfer leaves them; the same
// bounds as a copy.
void DmaClearRam(MachineMemory& memory, uint32_t address, uint64_t length);

}  // namespace orvet
