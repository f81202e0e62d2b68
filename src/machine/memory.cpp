#include "machine/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace orvet {
namespace {

// RAM between the configured size and 4 MB: the ST's memory controller answers there, with all
// ones, so reads never fault.
uint32_t readMissingRam(CpuState&, uint32_t, const MemoryRegion&, int32_t) {
    return 0xFFFF;
}

// Anywhere else nothing answers the bus and the access ends in a bus error, reads as well as
// writes. Operating systems probe for hardware this way: an answer where the ST has nothing
// makes them believe they run on a bigger machine.
uint32_t readNothing(CpuState& cpu, uint32_t, const MemoryRegion&, int32_t) {
    CpuSignalBusError(cpu);
    return 0xFFFF;
}

MemoryRegion direct(uint32_t low, uint32_t high, uint8_t* host) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.hostBase = host;
    return region;
}

MemoryRegion device(uint32_t low, uint32_t high, ReadHandler read, WriteHandler write,
                    void* context) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.read = read;
    region.write = write;
    region.context = context;
    return region;
}

void buildReadList(MachineMemory& memory, MemoryRegion* list, ReadHandler io, void* ioContext) {
    list[0] = direct(0, memory.ramSize - 1, memory.ramBase);
    list[1] = direct(memory.romBase, memory.romBase + memory.romSize - 1, memory.romHost);
    list[2] = direct(kCartridgeBase, kCartridgeBase + kCartridgeAreaSize - 1, memory.cartridgeHost);
    list[3] = device(kIoBase, 0xFFFFFF, io, nullptr, ioContext);
    list[4] = device(0, kRamAreaSize - 1, readMissingRam, nullptr, nullptr);
    list[5] = device(0, 0xFFFFFF, readNothing, nullptr, nullptr);
    list[6] = MemoryRegion{};
}

void buildWriteList(MachineMemory& memory, MemoryRegion* list, WriteHandler io, void* ioContext) {
    // The first 8 bytes hold the reset vectors copied from the ROM: writes there fault, as the
    // ST's memory controller refuses them. Above the configured size writes land unseen.
    list[0] = direct(8, kRamAreaSize - 1, memory.ramBase + 8);
    list[1] = device(kIoBase, 0xFFFFFF, nullptr, io, ioContext);
    list[2] = MemoryRegion{};
    list[3] = MemoryRegion{};
}

void mapRom(MachineMemory& memory) {
    memory.fetch[1] = FetchRegion{memory.romBase, memory.romBase + memory.romSize - 1,
                                  FetchDisplacement(memory.romHost, memory.romBase)};
    for (MemoryRegion* list : {memory.readByte, memory.readWord}) {
        list[1].low = memory.romBase;
        list[1].high = memory.romBase + memory.romSize - 1;
    }
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (error) *error = path + ": cannot open the file";
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + count);
        // Nothing the machine loads is larger than this; stop reading a file that is.
        if (bytes.size() > kMachineMemorySize) break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        if (error) *error = path + ": cannot read the file";
        return false;
    }
    return true;
}

void copySwapped(std::span<const uint8_t> bytes, uint8_t* destination, size_t count) {
    for (size_t index = 0; index < count; ++index) destination[index ^ 1] = bytes[index];
}

}  // namespace

bool CreateMachineMemory(MachineMemory& memory, const IoHandlers& io) {
    memory.block.reset(new (std::nothrow) uint8_t[kMachineMemorySize + kFetchGuardBytes]());
    if (!memory.block) return false;
    memory.ramBase = memory.block.get();
    memory.romHost = memory.block.get() + kRomAreaOffset;
    memory.cartridgeHost = memory.block.get() + kCartridgeAreaOffset;
    memory.romBase = kDefaultRomBase;
    memory.romSize = 0x30000;
    memory.ramSize = 0x100000;

    memory.fetch[0] = FetchRegion{0, memory.ramSize - 1, FetchDisplacement(memory.ramBase, 0)};
    memory.fetch[2] = FetchRegion{kCartridgeBase, kCartridgeBase + kCartridgeAreaSize - 1,
                                  FetchDisplacement(memory.cartridgeHost, kCartridgeBase)};
    memory.fetch[3] = FetchRegion{};
    buildReadList(memory, memory.readByte, io.readByte, io.context);
    buildReadList(memory, memory.readWord, io.readWord, io.context);
    buildWriteList(memory, memory.writeByte, io.writeByte, io.context);
    buildWriteList(memory, memory.writeWord, io.writeWord, io.context);
    mapRom(memory);
    return true;
}

void InstallMemoryLists(MachineMemory& memory, CpuState& cpu) {
    ListSet lists{memory.fetch, memory.readByte, memory.readWord, memory.writeByte,
                  memory.writeWord};
    cpu.supervisorLists = lists;
    cpu.userLists = lists;
    cpu.currentLists = lists;
}

uint32_t RamSizeForIndex(unsigned index) {
    return 0x80000u << (index & 3);
}

void SetRamSize(MachineMemory& memory, unsigned index) {
    memory.ramSize = RamSizeForIndex(index);
    memory.fetch[0].high = memory.ramSize - 1;
    memory.readByte[0].high = memory.ramSize - 1;
    memory.readWord[0].high = memory.ramSize - 1;
}

long LoadSwappedImage(const std::string& path, uint8_t* destination, uint32_t capacity,
                      std::string* error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return -1;
    copySwapped(bytes, destination, std::min<size_t>(bytes.size(), capacity & ~1u));
    return static_cast<long>(bytes.size());
}

bool LoadTosRom(MachineMemory& memory, const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    return LoadTosRomBytes(memory, bytes, path, error);
}

bool LoadTosRomBytes(MachineMemory& memory, std::span<const uint8_t> bytes, const std::string& name,
                     std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = name + ": " + why;
        return false;
    };
    if (bytes.size() < 64) return fail("too short for a TOS image (no header)");
    if (bytes.size() > kRomAreaSize) return fail("larger than 256 KB, not a TOS image");
    uint32_t base =
        uint32_t{bytes[8]} << 24 | uint32_t{bytes[9]} << 16 | uint32_t{bytes[10]} << 8 | bytes[11];
    uint32_t size = static_cast<uint32_t>(bytes.size() + 1) & ~1u;
    if ((base & 1) || base < kRamAreaSize || base > kIoBase || kIoBase - base < size) {
        char text[96];
        std::snprintf(text, sizeof text, "its header names base address $%08X, where no ROM fits",
                      base);
        return fail(text);
    }
    std::memset(memory.romHost, 0xFF, kRomAreaSize);
    copySwapped(bytes, memory.romHost, bytes.size());
    memory.romBase = base;
    memory.romSize = size;
    mapRom(memory);
    // The reset stack pointer and PC appear at address 0 as well, as the ST's ROM shadows them.
    std::memcpy(memory.ramBase, memory.romHost, 8);
    memory.tosLoaded = true;
    return true;
}

bool LoadCartridge(MachineMemory& memory, const std::string& path, std::string* error) {
    if (path.empty()) {
        std::memset(memory.cartridgeHost, 0xFF, kCartridgeAreaSize);
        return true;
    }
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    if (bytes.size() > kCartridgeAreaSize) {
        if (error) *error = path + ": larger than 128 KB, not a cartridge image";
        return false;
    }
    std::memset(memory.cartridgeHost, 0xFF, kCartridgeAreaSize);
    copySwapped(bytes, memory.cartridgeHost, bytes.size());
    return true;
}

void ClearRamForColdReset(MachineMemory& memory) {
    std::memset(memory.ramBase + 8, 0, kRamAreaSize - 8);
}

}  // namespace orvet
