#include "machine/io.h"

namespace orvet {
namespace {

IoSpace& spaceOf(const MemoryRegion& region) {
    return *static_cast<IoSpace*>(region.context);
}

// The page answering `address`, after its wait states; nullptr (and a bus error) where no device
// answers, which is how programs find out what hardware the machine has.
const IoPage* answeringPage(IoSpace& io, CpuState& cpu, uint32_t address, bool word) {
    const IoPage& page = io.pages[(address & 0x7F00) >> 8];
    uint8_t offset = static_cast<uint8_t>(address);
    if (!page.readByte || offset < page.firstOffset || offset > page.lastOffset) {
        CpuSignalBusError(cpu);
        return nullptr;
    }
    switch (page.wait) {
        case IoWaitRule::None:
            break;
        case IoWaitRule::EveryAccess:
            CpuAddWaitStates(cpu, 4);
            break;
        case IoWaitRule::SoundChip:
            // The YM sits behind a slower bus interface: the first access of an instruction
            // waits a slot, and a run of accesses within one instruction loses another slot
            // every 9 bytes or 5 words.
            if (!cpu.peripheralAccessed) {
                CpuAddWaitStates(cpu, 4);
                io.ymAccessCount = 0;
            }
            if (++io.ymAccessCount == (word ? 5 : 9)) {
                CpuAddWaitStates(cpu, 4);
                io.ymAccessCount = 0;
            }
            break;
    }
    return &page;
}

uint32_t readByte(CpuState& cpu, uint32_t address, const MemoryRegion& region, int32_t time) {
    const IoPage* page = answeringPage(spaceOf(region), cpu, address, false);
    return page ? page->readByte(page->device, cpu, address, time) : 0xFF;
}

uint32_t readWord(CpuState& cpu, uint32_t address, const MemoryRegion& region, int32_t time) {
    const IoPage* page = answeringPage(spaceOf(region), cpu, address, true);
    if (!page) return 0xFFFF;
    if (page->readWord) return page->readWord(page->device, cpu, address, time);
    uint32_t high = page->readByte(page->device, cpu, address, time);
    return high << 8 | page->readByte(page->device, cpu, address + 1, time);
}

void writeByte(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
               int32_t time) {
    const IoPage* page = answeringPage(spaceOf(region), cpu, address, false);
    if (page && page->writeByte) {
        page->writeByte(page->device, cpu, address, static_cast<uint8_t>(value), time);
    }
}

void writeWord(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
               int32_t time) {
    const IoPage* page = answeringPage(spaceOf(region), cpu, address, true);
    if (!page) return;
    if (page->writeWord) {
        page->writeWord(page->device, cpu, address, static_cast<uint16_t>(value), time);
    } else if (page->writeByte) {
        page->writeByte(page->device, cpu, address, static_cast<uint8_t>(value >> 8), time);
        page->writeByte(page->device, cpu, address + 1, static_cast<uint8_t>(value), time);
    }
}

uint8_t readMemoryConfiguration(void* device, CpuState&, uint32_t address, int32_t) {
    return (address & 1) ? static_cast<MachineMemory*>(device)->memoryConfig : 0xFF;
}

void writeMemoryConfiguration(void* device, CpuState&, uint32_t address, uint8_t value, int32_t) {
    if (address & 1) static_cast<MachineMemory*>(device)->memoryConfig = value;
}

}  // namespace

IoHandlers IoSpaceHandlers(IoSpace& io) {
    return IoHandlers{readByte, readWord, writeByte, writeWord, &io};
}

void IoSetPage(IoSpace& io, uint32_t address, const IoPage& page) {
    io.pages[(address & 0x7F00) >> 8] = page;
}

IoPage MemoryConfigurationPage(MachineMemory& memory) {
    IoPage page;
    page.readByte = readMemoryConfiguration;
    page.writeByte = writeMemoryConfiguration;
    page.device = &memory;
    page.firstOffset = 0x00;
    page.lastOffset = 0x01;
    return page;
}

}  // namespace orvet
