// The machine's memory: one host block for RAM, the TOS ROM and the cartridge, and the region
// lists that map the 68000's address space onto it and onto the I/O page.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "cpu/cpu.h"

namespace orvet {

constexpr uint32_t kRamAreaSize = 0x400000;  // always 4 MB, whatever the configured size
constexpr uint32_t kRomAreaOffset = 0x400000;
constexpr uint32_t kRomAreaSize = 0x40000;  // 256 KB
constexpr uint32_t kCartridgeAreaOffset = 0x440000;
constexpr uint32_t kCartridgeAreaSize = 0x20000;  // 128 KB
constexpr uint32_t kMachineMemorySize = 0x460000;
constexpr uint32_t kCartridgeBase = 0xFA0000;
constexpr uint32_t kDefaultRomBase = 0xFC0000;  // where a ROM sits until one is loaded
constexpr uint32_t kIoBase = 0xFF8000;

// The I/O page's four handlers, installed for 0xFF8000-0xFFFFFF by the owner of the I/O layer.
struct IoHandlers {
    ReadHandler readByte = nullptr;
    ReadHandler readWord = nullptr;
    WriteHandler writeByte = nullptr;
    WriteHandler writeWord = nullptr;
    void* context = nullptr;
};

struct MachineMemory {
    std::unique_ptr<uint8_t[]> block;  // kMachineMemorySize bytes and the fetch guard after them
    uint8_t* ramBase = nullptr;
    uint8_t* romHost = nullptr;
    uint8_t* cartridgeHost = nullptr;
    uint32_t ramSize = 0x100000;
    uint32_t romBase = kDefaultRomBase;
    uint32_t romSize = 0x30000;
    uint8_t memoryConfig = 0;  // the register at 0xFFFF8001: kept, but the map ignores it
    bool tosLoaded = false;    // a TOS image is in the ROM area: the machine has something to run

    // The lists, each closed by an end entry. The supervisor and user sets are the same lists.
    FetchRegion fetch[4];
    MemoryRegion readByte[7];
    MemoryRegion readWord[7];
    MemoryRegion writeByte[4];
    MemoryRegion writeWord[4];
};

// Allocates the block and builds the lists (ROM at 0xFC0000-0xFEFFFF, 1 MB of RAM) with the I/O
// handlers at 0xFF8000; false when the host has no memory for it.
bool CreateMachineMemory(MachineMemory& memory, const IoHandlers& io);

// Installs the lists as both of the processor's list sets.
void InstallMemoryLists(MachineMemory& memory, CpuState& cpu);

// RAM sizes by the 2-bit index of the RAMSize setting: 512 KB, 1 MB, 2 MB, 4 MB.
uint32_t RamSizeForIndex(unsigned index);
void SetRamSize(MachineMemory& memory, unsigned index);

// Copies a file into `destination` with every byte pair exchanged, at most `capacity` bytes;
// returns the file's length, or -1 when it cannot be read (nothing is changed then).
long LoadSwappedImage(const std::string& path, uint8_t* destination, uint32_t capacity,
                      std::string* error = nullptr);

// Loads a TOS image into the ROM area, maps it at the base its header names and copies its first
// 8 bytes (reset stack pointer and PC) to RAM 0-7. False, with `error` set, when the file cannot
// be read, is larger than 256 KB or names a base that leaves no room for it.
bool LoadTosRom(MachineMemory& memory, const std::string& path, std::string* error = nullptr);
// The same from bytes in memory (the built-in ROM); `name` stands for the image in messages.
bool LoadTosRomBytes(MachineMemory& memory, std::span<const uint8_t> bytes, const std::string& name,
                     std::string* error = nullptr);

// Loads a cartridge image, or fills the area with 0xFF when `path` is empty.
bool LoadCartridge(MachineMemory& memory, const std::string& path, std::string* error = nullptr);

// Cold reset clears RAM above the first 8 bytes, which keep the ROM's vectors.
void ClearRamForColdReset(MachineMemory& memory);

}  // namespace orvet
