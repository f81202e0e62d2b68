// The machine's memory map: what each area answers to reads, writes and instruction fetches,
// ROM and cartridge loading, and the bus errors where nothing answers.
#include "machine/memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "machine/io.h"

namespace orvet {
namespace {

constexpr uint32_t kCode = 0x1000;
constexpr uint32_t kBusErrorHandler = 0x2000;
constexpr uint32_t kStack = 0x8000;

// A ROM image as its file holds it: big-endian, base at offset 8, reset SSP and PC first.
std::vector<uint8_t> RomImage(uint32_t base, uint32_t size) {
    std::vector<uint8_t> image(size);
    for (uint32_t index = 0; index < size; ++index) image[index] = static_cast<uint8_t>(index * 7);
    auto put = [&](uint32_t offset, uint32_t value) {
        for (int shift = 24, at = 0; shift >= 0; shift -= 8, ++at) {
            image[offset + at] = static_cast<uint8_t>(value >> shift);
        }
    };
    put(0, kStack);
    put(4, base + 0x30);
    put(8, base);
    return image;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    auto path = std::filesystem::temp_directory_path() / ("orvet_memory_test_" + name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path.string();
}

struct Machine {
    MachineMemory memory;
    IoSpace io;
    CpuState cpu;

    Machine() {
        CpuBuildDispatch();
        EXPECT_TRUE(CreateMachineMemory(memory, IoSpaceHandlers(io)));
        IoSetPage(io, 0xFF8000, MemoryConfigurationPage(memory));
        InstallMemoryLists(memory, cpu);
        LoadCartridge(memory, "");
    }
    Machine(const Machine&) = delete;

    void setWord(uint32_t address, uint16_t value) {
        std::memcpy(memory.ramBase + address, &value, 2);
    }
    void setLong(uint32_t address, uint32_t value) {
        setWord(address, static_cast<uint16_t>(value >> 16));
        setWord(address + 2, static_cast<uint16_t>(value));
    }
    void place(uint32_t address, std::initializer_list<uint16_t> words) {
        for (uint16_t word : words) setWord(address, word), address += 2;
    }
    // Runs the code at kCode in supervisor mode until it stops; bus errors are counted in D7 by
    // a handler that drops the 14-byte frame's first 8 bytes and returns to the address in A6:
    // the PC the 68000 stacks lies inside the faulting instruction, so a program that probes
    // says where to carry on.
    uint32_t runProgram() {
        setLong(8, kBusErrorHandler);
        // ADDQ.L #1,D7; ADDQ.W #8,A7; MOVE.L A6,2(A7); RTE
        place(kBusErrorHandler, {0x5287, 0x504F, 0x2F4E, 0x0002, 0x4E73});
        cpu.pc = kCode;
        cpu.interruptState = 0;
        cpu.sr = 0x2700;
        cpu.a[7] = kStack;
        uint32_t result = kCpuRunEnded;
        for (int run = 0; run < 100 && result == kCpuRunEnded && !(cpu.interruptState & 1); ++run) {
            result = CpuExecute(cpu, 512);
        }
        return result;
    }
    // One data access from a program: MOVE.size (abs.L),D0 or MOVE.size D0,(abs.L).
    uint32_t faultsOf(uint16_t opcode, uint32_t address) {
        cpu.d[7] = 0;
        cpu.a[6] = kCode + 6;
        place(kCode, {opcode, static_cast<uint16_t>(address >> 16), static_cast<uint16_t>(address),
                      0x4E72, 0x2700});
        runProgram();
        return cpu.d[7];
    }
    uint32_t readFaults(uint32_t address) { return faultsOf(0x3039, address); }  // MOVE.W
    uint32_t byteReadFaults(uint32_t address) { return faultsOf(0x1039, address); }
    uint32_t writeFaults(uint32_t address) { return faultsOf(0x33C0, address); }
    uint32_t byteWriteFaults(uint32_t address) { return faultsOf(0x13C0, address); }
};

TEST(MemoryMap, EachAreaAnswersAsTheMachineDoes) {
    Machine machine;
    std::string rom = WriteTempFile("rom192", RomImage(0xFC0000, 0x30000));
    std::string error;
    ASSERT_TRUE(LoadTosRom(machine.memory, rom, &error)) << error;
    SetRamSize(machine.memory, 1);

    // RAM above the configured size: reads give all ones, writes land unseen, no fault.
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x100000), 0xFFFF);
    EXPECT_EQ(machine.readFaults(0x100000), 0u);
    EXPECT_EQ(machine.cpu.d[0] & 0xFFFF, 0xFFFF);
    EXPECT_EQ(machine.writeFaults(0x100000), 0u);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x100000), 0xFFFF);

    // The reset vectors at 0-7 read as the ROM's, and writes there fault.
    EXPECT_EQ(CpuPeekWord(machine.cpu, 6), 0x0030);
    EXPECT_EQ(machine.byteWriteFaults(4), 1u);

    // ROM and cartridge are read-only.
    EXPECT_EQ(machine.readFaults(0xFC0000), 0u);
    EXPECT_EQ(machine.writeFaults(0xFC0000), 1u);
    EXPECT_EQ(machine.readFaults(0xFA0000), 0u);
    EXPECT_EQ(machine.cpu.d[0] & 0xFFFF, 0xFFFF) << "no cartridge: the area reads all ones";
    EXPECT_EQ(machine.writeFaults(0xFA0000), 1u);

    // Where nothing answers, reads fault as writes do.
    for (uint32_t address : {0x400000u, 0xE00000u, 0xF00000u, 0xFF0000u}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(machine.readFaults(address), 1u);
        EXPECT_EQ(machine.byteReadFaults(address), 1u);
        EXPECT_EQ(machine.writeFaults(address), 1u);
    }
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xF00000), 0xFFFF) << "the debugger's peek never faults";
}

TEST(MemoryMap, ProbingForHardwareTheMachineLacksEndsInBusErrors) {
    Machine machine;
    // The addresses an operating system probes to tell an ST from a TT or Falcon.
    const uint32_t probes[] = {0xFF8282, 0xFF8400, 0xFF8A00, 0xFFFA81, 0xFFFC21, 0xF00000};
    machine.cpu.d[7] = 0;
    uint32_t address = kCode;
    for (uint32_t probe : probes) {
        // LEA probe,A0; LEA next,A6; TST.B (A0)
        const uint32_t next = address + 14;
        machine.place(
            address,
            {0x41F9, static_cast<uint16_t>(probe >> 16), static_cast<uint16_t>(probe), 0x4DF9,
             static_cast<uint16_t>(next >> 16), static_cast<uint16_t>(next), 0x4A10});
        address = next;
    }
    machine.place(address, {0x4A39, 0x00FF, 0x8001, 0x4E72, 0x2700});  // TST.B $FF8001; STOP
    machine.runProgram();
    EXPECT_EQ(machine.cpu.d[7], 6u) << "the memory configuration register answers";
    EXPECT_EQ(machine.cpu.pc, address + 10);
}

TEST(MemoryMap, RamSizeChangesWhatTheProgramSeesAtOnce) {
    Machine machine;
    SetRamSize(machine.memory, 3);
    machine.setWord(0x300000, 0x1234);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x300000), 0x1234);
    SetRamSize(machine.memory, 0);
    EXPECT_EQ(machine.memory.ramSize, 0x80000u);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x300000), 0xFFFF);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x7FFFE), 0);

    // Code above the configured size cannot run.
    machine.cpu.pc = 0x80000;
    EXPECT_EQ(CpuExecute(machine.cpu, 100), kCpuLeftFetchRegions);
}

TEST(MemoryMap, TosRomMapsAtTheBaseItsHeaderNames) {
    Machine machine;
    std::string rom = WriteTempFile("rom256", RomImage(0xE00000, 0x40000));
    ASSERT_TRUE(LoadTosRom(machine.memory, rom));
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xE00008), 0x00E0);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xE3FFFE), (0x3FFFE * 7 & 0xFF) << 8 | (0x3FFFF * 7 & 0xFF));
    EXPECT_EQ(machine.readFaults(0xFC0000), 1u) << "the old place answers no longer";

    // A cold reset keeps the vectors at 0-7 and clears everything above them.
    machine.setWord(0x1000, 0xBEEF);
    ClearRamForColdReset(machine.memory);
    EXPECT_EQ(CpuReset(machine.cpu), 0);
    EXPECT_EQ(machine.cpu.a[7], kStack);
    EXPECT_EQ(machine.cpu.pc, 0xE00030u);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x1000), 0);
}

TEST(MemoryMap, ImagesThatDoNotFitAreRefusedAndChangeNothing) {
    Machine machine;
    std::string error;
    std::string good = WriteTempFile("good", RomImage(0xFC0000, 0x30000));
    ASSERT_TRUE(LoadTosRom(machine.memory, good));

    std::string big = WriteTempFile("big", RomImage(0xE00000, 0x40002));
    EXPECT_FALSE(LoadTosRom(machine.memory, big, &error));
    EXPECT_NE(error.find("256 KB"), std::string::npos) << error;
    std::string misplaced = WriteTempFile("misplaced", RomImage(0xFE0000, 0x30000));
    EXPECT_FALSE(LoadTosRom(machine.memory, misplaced, &error));
    EXPECT_FALSE(LoadTosRom(machine.memory, "/nonexistent/tos.img", &error));
    EXPECT_EQ(machine.memory.romBase, 0xFC0000u);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xFC0008), 0x00FC);

    EXPECT_FALSE(LoadCartridge(machine.memory, big, &error));
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xFA0000), 0xFFFF);
    std::string cartridge = WriteTempFile("cart", {0xAB, 0xCD, 0xFA, 0x52, 0x23});
    EXPECT_TRUE(LoadCartridge(machine.memory, cartridge));
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xFA0000), 0xABCD);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0xFA0004), 0x23FF) << "an odd last byte is the high one";
}

TEST(IoPage, MemoryConfigurationRegisterAndItsPage) {
    Machine machine;
    machine.place(kCode, {0x13FC, 0x0005, 0x00FF, 0x8001,  // MOVE.B #5,$FF8001
                          0x3039, 0x00FF, 0x8000,          // MOVE.W $FF8000,D0
                          0x1239, 0x00FF, 0x8000,          // MOVE.B $FF8000,D1
                          0x4E72, 0x2700});
    machine.cpu.d[7] = 0;
    machine.runProgram();
    EXPECT_EQ(machine.memory.memoryConfig, 5);
    EXPECT_EQ(machine.cpu.d[0] & 0xFFFF, 0xFF05u);
    EXPECT_EQ(machine.cpu.d[1] & 0xFF, 0xFFu);
    EXPECT_EQ(machine.cpu.d[7], 0u);
    EXPECT_EQ(machine.byteReadFaults(0xFF8002), 1u) << "past the register block";
}

}  // namespace
}  // namespace orvet

namespace orvet {
namespace {

uint8_t ReadZero(void*, CpuState&, uint32_t, int32_t) {
    return 0;
}
void WriteAnything(void*, CpuState&, uint32_t, uint8_t, int32_t) {}

TEST(IoPage, WaitStatesOfTheSoundChipAndTheMfp) {
    Machine machine;
    IoPage page;
    page.readByte = ReadZero;
    page.writeByte = WriteAnything;
    page.wait = IoWaitRule::SoundChip;
    IoSetPage(machine.io, 0xFF8800, page);
    page.wait = IoWaitRule::EveryAccess;
    page.lastOffset = 0x3F;
    IoSetPage(machine.io, 0xFFFA00, page);

    struct Case {
        const char* assembly;
        uint32_t a0;
        std::initializer_list<uint16_t> code;
        int32_t cycles;
    };
    const Case cases[] = {
        // Four byte writes in one instruction wait one slot, on the first.
        {"MOVEP.L D0,0(A0) to the YM", 0xFF8800, {0x01C8, 0x0000}, 24 + 4},
        // Five words: the first and the fifth wait.
        {"MOVEM.W D0-D4,(A0) to the YM", 0xFF8800, {0x4890, 0x001F}, 28 + 8},
        {"MOVE.B (A0),D0 from the YM", 0xFF8800, {0x1010}, 8 + 4},
        // Every MFP access waits a slot.
        {"MOVEP.L 0(A0),D0 from the MFP", 0xFFFA01, {0x0148, 0x0000}, 24 + 16},
        {"MOVE.B (A0),D0 from the MFP", 0xFFFA01, {0x1010}, 8 + 4},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.assembly);
        machine.place(kCode, test.code);
        machine.cpu.pc = kCode;
        machine.cpu.interruptState = 0;
        machine.cpu.a[0] = test.a0;
        machine.cpu.a[7] = kStack;
        int32_t before = machine.cpu.cycleCounter;
        EXPECT_EQ(CpuExecute(machine.cpu, 4), kCpuRunEnded);
        EXPECT_EQ(machine.cpu.cycleCounter - before, test.cycles);
        EXPECT_EQ(machine.cpu.pc, kCode + 2 * test.code.size()) << "no bus error";
    }
}

}  // namespace
}  // namespace orvet
