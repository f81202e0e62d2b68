// A processor with a memory map the test can reshape: flat RAM from address 0 in every list of
// both list sets, which a test edits (a device ahead of RAM, a shorter code range, a second bank,
// a user map that differs from the supervisor's) and reinstalls. Every vector leads to a STOP of
// its own, so a test can tell which exception was taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include "cpu/cpu.h"

namespace orvet::test {

constexpr uint32_t kRamSize = 0x10000;
constexpr uint32_t kSupervisorStack = 0x8000;
constexpr uint32_t kUserStack = 0x6000;
constexpr uint32_t kCodeStart = 0x1000;
// Vector n leads to kVectorStubs + 4n, where STOP #$2700 waits.
constexpr uint32_t kVectorStubs = 0x0400;
constexpr uint16_t kSrSupervisorMask7 = 0x2700;
constexpr uint16_t kSrUser = 0x0000;

// Emulated memory in host memory: the 68000 word at an even offset is the host's own 16-bit value
// there, and a byte sits at its offset with bit 0 inverted.
inline void StoreWord(uint8_t* host, uint32_t offset, uint16_t value) {
    std::memcpy(host + offset, &value, 2);
}
inline void StoreLong(uint8_t* host, uint32_t offset, uint32_t value) {
    StoreWord(host, offset, static_cast<uint16_t>(value >> 16));
    StoreWord(host, offset + 2, static_cast<uint16_t>(value));
}
inline void StoreByte(uint8_t* host, uint32_t offset, uint8_t value) { host[offset ^ 1] = value; }
inline uint16_t LoadWord(const uint8_t* host, uint32_t offset) {
    uint16_t value;
    std::memcpy(&value, host + offset, 2);
    return value;
}
inline uint32_t LoadLong(const uint8_t* host, uint32_t offset) {
    return (uint32_t{LoadWord(host, offset)} << 16) | LoadWord(host, offset + 2);
}
inline uint8_t LoadByte(const uint8_t* host, uint32_t offset) { return host[offset ^ 1]; }

// Host memory for a range of the map, with the slack the core may read past a code range.
struct HostBlock {
    explicit HostBlock(uint32_t size) : bytes(size + kFetchGuardBytes, 0) {}
    uint8_t* data() { return bytes.data(); }
    std::vector<uint8_t> bytes;
};

inline MemoryRegion DirectRange(uint32_t low, uint32_t high, uint8_t* host) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.hostBase = host;
    return region;
}
inline MemoryRegion DeviceRange(uint32_t low, uint32_t high, ReadHandler read, WriteHandler write,
                                void* context) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.read = read;
    region.write = write;
    region.context = context;
    return region;
}
inline FetchRegion CodeRange(uint32_t low, uint32_t high, uint8_t* host) {
    FetchRegion region;
    region.low = low;
    region.high = high;
    region.displacement = FetchDisplacement(host, low);
    return region;
}

struct DeviceAccess {
    uint32_t address;
    uint32_t value;
    int32_t time;
    bool write;
};

// A device that answers a read at A with answerBase + (A & 0xFF), logs every call with its cycle
// time, and runs `duringAccess` inside the call (to post an interrupt, add wait states, end the
// slice or ask for a bus error, as real devices do).
struct RecordingDevice {
    uint16_t answerBase = 0xA500;
    std::vector<DeviceAccess> accesses;
    std::function<void(CpuState&, const DeviceAccess&)> duringAccess;

    MemoryRegion range(uint32_t low, uint32_t high) {
        return DeviceRange(low, high, &RecordingDevice::read, &RecordingDevice::write, this);
    }
    static uint32_t read(CpuState& cpu, uint32_t address, const MemoryRegion& region,
                         int32_t time) {
        auto& device = *static_cast<RecordingDevice*>(region.context);
        const uint16_t value = static_cast<uint16_t>(device.answerBase + (address & 0xFF));
        device.accesses.push_back({address, value, time, false});
        if (device.duringAccess) device.duringAccess(cpu, device.accesses.back());
        return value;
    }
    static void write(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                      int32_t time) {
        auto& device = *static_cast<RecordingDevice*>(region.context);
        device.accesses.push_back({address, value, time, true});
        if (device.duringAccess) device.duringAccess(cpu, device.accesses.back());
    }
};

// One list set as editable vectors, without their terminators.
struct RegionLists {
    std::vector<FetchRegion> fetch;
    std::vector<MemoryRegion> readByte, readWord, writeByte, writeWord;

    // A range answering data accesses of every kind, placed ahead of the others.
    void putDeviceFirst(const MemoryRegion& device) {
        readByte.insert(readByte.begin(), device);
        readWord.insert(readWord.begin(), device);
        writeByte.insert(writeByte.begin(), device);
        writeWord.insert(writeWord.begin(), device);
    }
    void appendDirect(const MemoryRegion& range) {
        readByte.push_back(range);
        readWord.push_back(range);
        writeByte.push_back(range);
        writeWord.push_back(range);
    }
};

class MappedMachine {
public:
    MappedMachine() : ram_(kRamSize) {
        CpuBuildDispatch();
        const MemoryRegion ramRange = DirectRange(0, kRamSize - 1, ram_.data());
        supervisor.fetch.push_back(CodeRange(0, kRamSize - 1, ram_.data()));
        supervisor.appendDirect(ramRange);
        user = supervisor;
        installLists();
        setLong(0, kSupervisorStack);
        setLong(4, kCodeStart);
        for (uint32_t vector = 2; vector < 256; ++vector) {
            setVector(vector, stubFor(vector));
            setWord(stubFor(vector), 0x4E72);  // STOP #$2700
            setWord(stubFor(vector) + 2, 0x2700);
        }
        startAt(kCodeStart, kSrSupervisorMask7);
    }
    // The processor keeps pointers into the machine's lists.
    MappedMachine(const MappedMachine&) = delete;
    MappedMachine& operator=(const MappedMachine&) = delete;

    // Rebuilds the terminated lists from `supervisor` and `user` and hands them to the processor;
    // the set in force follows SR.S.
    void installLists() {
        terminate(supervisor, supervisorLists_);
        terminate(user, userLists_);
        cpu.supervisorLists = listSet(supervisorLists_);
        cpu.userLists = listSet(userLists_);
        cpu.currentLists = (cpu.sr & kSrSupervisor) ? cpu.supervisorLists : cpu.userLists;
    }

    // Places the processor at `pc` with `sr`, each stack pointer at its default.
    void startAt(uint32_t pc, uint16_t sr) {
        cpu.pc = pc;
        cpu.sr = sr;
        const bool supervisorMode = (sr & kSrSupervisor) != 0;
        cpu.a[7] = supervisorMode ? kSupervisorStack : kUserStack;
        cpu.otherStackPointer = supervisorMode ? kUserStack : kSupervisorStack;
        cpu.currentLists = supervisorMode ? cpu.supervisorLists : cpu.userLists;
    }

    // Writes instruction words from `address` on; returns the address after them.
    uint32_t placeCode(uint32_t address, std::initializer_list<uint16_t> words) {
        for (uint16_t word : words) {
            setWord(address, word);
            address += 2;
        }
        return address;
    }
    uint32_t placeCode(uint32_t address, const std::vector<uint16_t>& words) {
        for (uint16_t word : words) {
            setWord(address, word);
            address += 2;
        }
        return address;
    }
    uint32_t placeNops(uint32_t address, int count) {
        for (int index = 0; index < count; ++index, address += 2) setWord(address, 0x4E71);
        return address;
    }

    void setVector(uint32_t vector, uint32_t handler) { setLong(vector * 4, handler); }
    static constexpr uint32_t stubFor(uint32_t vector) { return kVectorStubs + 4 * vector; }
    // The vector whose stub the processor has stopped in, or -1.
    int stoppedInVector() const {
        if (!(cpu.interruptState & 1) || cpu.pc < kVectorStubs + 4 ||
            cpu.pc > kVectorStubs + 0x400) {
            return -1;
        }
        return static_cast<int>((cpu.pc - kVectorStubs - 4) / 4);
    }

    // Runs one slice; `lastRunCycles` holds what it added to cycleCounter.
    uint32_t run(int32_t cycles) {
        const int32_t before = cpu.cycleCounter;
        const uint32_t result = CpuExecute(cpu, cycles);
        lastRunCycles = cpu.cycleCounter - before;
        return result;
    }

    uint8_t* ram() { return ram_.data(); }
    void setWord(uint32_t address, uint16_t value) { StoreWord(ram_.data(), address, value); }
    void setLong(uint32_t address, uint32_t value) { StoreLong(ram_.data(), address, value); }
    void setByte(uint32_t address, uint8_t value) { StoreByte(ram_.data(), address, value); }
    uint16_t word(uint32_t address) const { return LoadWord(ram_.bytes.data(), address); }
    uint32_t longAt(uint32_t address) const { return LoadLong(ram_.bytes.data(), address); }
    uint8_t byte(uint32_t address) const { return LoadByte(ram_.bytes.data(), address); }

    CpuState cpu;
    RegionLists supervisor;
    RegionLists user;
    int32_t lastRunCycles = 0;

private:
    struct TerminatedLists {
        std::vector<FetchRegion> fetch;
        std::vector<MemoryRegion> readByte, readWord, writeByte, writeWord;
    };

    static void terminate(const RegionLists& source, TerminatedLists& target) {
        auto withEnd = [](auto list) {
            list.emplace_back();
            return list;
        };
        target.fetch = withEnd(source.fetch);
        target.readByte = withEnd(source.readByte);
        target.readWord = withEnd(source.readWord);
        target.writeByte = withEnd(source.writeByte);
        target.writeWord = withEnd(source.writeWord);
    }
    static ListSet listSet(const TerminatedLists& lists) {
        return ListSet{lists.fetch.data(), lists.readByte.data(), lists.readWord.data(),
                       lists.writeByte.data(), lists.writeWord.data()};
    }

    HostBlock ram_;
    TerminatedLists supervisorLists_;
    TerminatedLists userLists_;
};

}  // namespace orvet::test
