// A machine with nothing but RAM around the processor, for tests that place a few 68000 words at
// an address and run them.
//
// Layout of its 128 KB:
//   0x000000  exception vectors: vector n leads to kHandlerBase + 4 * n (vectors 0 and 1 hold the
//             reset stack pointer and program counter)
//   0x000C00  the handlers, all NOPs, so the program counter after an exception names the vector
//   0x002000  kCodeAddress: where tests put the instructions they run
//   0x00F000  kUserStack, 0x010000 kSupervisorStack
// A device window may be put ahead of RAM in every data list to watch accesses.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "cpu/cpu.h"

namespace orvet::test {

class CpuTestMachine {
public:
    static constexpr uint32_t kRamSize = 0x20000;
    static constexpr uint32_t kHandlerBase = 0x0C00;
    static constexpr uint32_t kCodeAddress = 0x2000;
    static constexpr uint32_t kUserStack = 0xF000;
    static constexpr uint32_t kSupervisorStack = 0x10000;
    static constexpr uint16_t kNop = 0x4E71;

    CpuTestMachine() : storage_(new uint64_t[(kRamSize + kFetchGuardBytes + 7) / 8]()) {
        host_ = reinterpret_cast<uint8_t*>(storage_.get());
        ram_ = MemoryRegion{0, kRamSize - 1, nullptr, nullptr, host_, nullptr};
        fetch_[0] = FetchRegion{0, kRamSize - 1, FetchDisplacement(host_, 0)};
        RebuildLists();

        SetLong(0, kSupervisorStack);
        SetLong(4, kCodeAddress);
        for (uint32_t vector = 2; vector < 256; ++vector)
            SetLong(vector * 4, HandlerAddress(vector));
        for (uint32_t address = kHandlerBase; address < kHandlerBase + 4 * 256; address += 2) {
            SetWord(address, kNop);
        }

        cpu.sr = 0x2700;
        cpu.a[7] = kSupervisorStack;
        cpu.otherStackPointer = kUserStack;
        cpu.pc = kCodeAddress;
    }
    // The processor keeps pointers into the machine's lists.
    CpuTestMachine(const CpuTestMachine&) = delete;
    CpuTestMachine& operator=(const CpuTestMachine&) = delete;

    static constexpr uint32_t HandlerAddress(uint32_t vector) { return kHandlerBase + 4 * vector; }

    // The 68000 byte at A is the host byte at A ^ 1: a 68000 word is one host-order uint16.
    void SetByte(uint32_t address, uint8_t value) { host_[(address % kRamSize) ^ 1] = value; }
    uint8_t Byte(uint32_t address) const { return host_[(address % kRamSize) ^ 1]; }
    void SetWord(uint32_t address, uint16_t value) {
        SetByte(address, static_cast<uint8_t>(value >> 8));
        SetByte(address + 1, static_cast<uint8_t>(value));
    }
    uint16_t Word(uint32_t address) const {
        return static_cast<uint16_t>(Byte(address) << 8 | Byte(address + 1));
    }
    void SetLong(uint32_t address, uint32_t value) {
        SetWord(address, static_cast<uint16_t>(value >> 16));
        SetWord(address + 2, static_cast<uint16_t>(value));
    }
    uint32_t Long(uint32_t address) const {
        return static_cast<uint32_t>(Word(address)) << 16 | Word(address + 2);
    }
    void Load(uint32_t address, const std::vector<uint16_t>& words) {
        for (uint16_t word : words) {
            SetWord(address, word);
            address += 2;
        }
    }

    uint8_t* Host() { return host_; }

    // Puts a device window ahead of RAM in every data list: the byte lists get `byteRegion`, the
    // word lists `wordRegion`. Writes reach the device and the RAM behind it.
    void AddDevice(const MemoryRegion& byteRegion, const MemoryRegion& wordRegion) {
        byteDevice_ = byteRegion;
        wordDevice_ = wordRegion;
        hasDevice_ = true;
        RebuildLists();
    }

    // Leaves supervisor mode by hand, as an RTE would: user stack and user lists in force.
    void EnterUserMode() {
        if (!(cpu.sr & kSrSupervisor)) return;
        std::swap(cpu.a[7], cpu.otherStackPointer);
        cpu.sr &= static_cast<uint16_t>(~kSrSupervisor);
        cpu.currentLists = cpu.userLists;
    }

    // Runs one slice; gives the growth of the cycle counter.
    int32_t Run(int32_t slice) {
        const int32_t before = cpu.cycleCounter;
        lastResult = CpuExecute(cpu, slice);
        return cpu.cycleCounter - before;
    }

    CpuState cpu;
    uint32_t lastResult = kCpuRunEnded;

private:
    void RebuildLists() {
        auto build = [&](MemoryRegion* list, const MemoryRegion& device) {
            int count = 0;
            if (hasDevice_) list[count++] = device;
            list[count++] = ram_;
            list[count] = MemoryRegion{};
        };
        build(byteList_, byteDevice_);
        build(wordList_, wordDevice_);
        const ListSet lists{fetch_, byteList_, wordList_, byteList_, wordList_};
        cpu.supervisorLists = lists;
        cpu.userLists = lists;
        cpu.currentLists = lists;
    }

    std::unique_ptr<uint64_t[]> storage_;
    uint8_t* host_ = nullptr;
    MemoryRegion ram_;
    MemoryRegion byteDevice_;
    MemoryRegion wordDevice_;
    bool hasDevice_ = false;
    MemoryRegion byteList_[3];
    MemoryRegion wordList_[3];
    FetchRegion fetch_[2];
};

}  // namespace orvet::test
