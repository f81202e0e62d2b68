// Data accesses through the region lists as programs make them: byte order, unmapped addresses,
// longs that cross the end of a range, devices sharing addresses with RAM, the time stamps a
// device sees, the prefetched opcode, and the debugger's side door.
#include <gtest/gtest.h>

#include "mapped_machine.h"

namespace orvet::test {
namespace {

constexpr uint32_t kDevice = 0xFF8000;

TEST(Bus, ByteAtAnEvenAddressIsTheHighByteOfItsWord) {
    MappedMachine machine;
    machine.cpu.d[0] = 0xAB;
    machine.cpu.d[1] = 0xCD;
    machine.ram()[0x2002] = 0x34;  // the 68000 word $1234 at $2002, as the host holds it
    machine.ram()[0x2003] = 0x12;
    machine.placeCode(kCodeStart, {
                                      0x13C0, 0x0000, 0x2000,  // MOVE.B D0,$2000
                                      0x13C1, 0x0000, 0x2001,  // MOVE.B D1,$2001
                                      0x3439, 0x0000, 0x2000,  // MOVE.W $2000,D2
                                      0x2639, 0x0000, 0x2000,  // MOVE.L $2000,D3
                                  });

    EXPECT_EQ(machine.run(68), kCpuRunEnded);
    EXPECT_EQ(machine.ram()[0x2001], 0xAB);
    EXPECT_EQ(machine.ram()[0x2000], 0xCD);
    EXPECT_EQ(machine.cpu.d[2], 0xABCDu);
    EXPECT_EQ(machine.cpu.d[3], 0xABCD1234u);
}

TEST(Bus, ReadsWhereNoRangeExistsGiveAllOnesWithoutAnException) {
    MappedMachine machine;
    for (uint32_t index = 0; index < 3; ++index) machine.cpu.d[index] = 0x11111111;
    machine.placeCode(kCodeStart, {
                                      0x1039, 0x0002, 0x0000,  // MOVE.B $20000,D0
                                      0x3239, 0x0002, 0x0000,  // MOVE.W $20000,D1
                                      0x2439, 0x0002, 0x0000,  // MOVE.L $20000,D2
                                  });

    EXPECT_EQ(machine.run(52), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 0x111111FFu);
    EXPECT_EQ(machine.cpu.d[1], 0x1111FFFFu);
    EXPECT_EQ(machine.cpu.d[2], 0xFFFFFFFFu);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 18);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
}

// ---- Longs that cross the end of a range -----------------------------------------------------

// RAM ends at $FFFF; what follows it at $10000 is up to the test.
struct MachineWithBank : MappedMachine {
    explicit MachineWithBank(uint32_t bankLow) : bank(0x1000) {
        supervisor.appendDirect(DirectRange(bankLow, bankLow + 0xFFF, bank.data()));
        user = supervisor;
        installLists();
    }
    HostBlock bank;
};

TEST(Bus, LongCrossingIntoAnotherRangeUsesItForTheSecondWord) {
    MachineWithBank machine(0x10000);
    machine.setWord(0xFFFE, 0x1234);
    StoreWord(machine.bank.data(), 0, 0x5678);
    machine.cpu.d[1] = 0xCAFEF00D;
    machine.placeCode(kCodeStart, {
                                      0x2039, 0x0000, 0xFFFE,  // MOVE.L $FFFE,D0
                                      0x23C1, 0x0000, 0xFFFE,  // MOVE.L D1,$FFFE
                                  });

    EXPECT_EQ(machine.run(40), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 0x12345678u);
    EXPECT_EQ(machine.word(0xFFFE), 0xCAFE);
    EXPECT_EQ(LoadWord(machine.bank.data(), 0), 0xF00D);
    EXPECT_EQ(machine.lastRunCycles, 40);
}

TEST(Bus, LongCrossingIntoADeviceCallsItOnceFourCyclesAfterTheFirstWord) {
    MappedMachine machine;
    RecordingDevice device;
    machine.supervisor.appendDirect(device.range(0x10000, 0x100FF));
    machine.installLists();
    machine.setWord(0xFFFE, 0x1234);
    machine.placeCode(kCodeStart, {0x2039, 0x0000, 0xFFFE});  // MOVE.L $FFFE,D0

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 0x1234A500u);
    ASSERT_EQ(device.accesses.size(), 1u);
    EXPECT_EQ(device.accesses[0].address, 0x10000u);
    EXPECT_EQ(device.accesses[0].time, 16) << "the long is read at +12, its second word 4 later";
    EXPECT_EQ(machine.lastRunCycles, 20);
}

TEST(Bus, LongCrossingIntoNothingReadsOnesAndFailsToWrite) {
    MappedMachine machine;
    machine.setWord(0xFFFE, 0x1234);
    machine.cpu.d[1] = 0xCAFEF00D;
    machine.placeCode(kCodeStart, {
                                      0x2039, 0x0000, 0xFFFE,  // MOVE.L $FFFE,D0
                                      0x23C1, 0x0000, 0xFFFE,  // MOVE.L D1,$FFFE
                                  });

    machine.run(100);
    EXPECT_EQ(machine.cpu.d[0], 0x1234FFFFu);
    // The first word lands in RAM; the second finds no range.
    EXPECT_EQ(machine.word(0xFFFE), 0xCAFE);
    EXPECT_EQ(machine.stoppedInVector(), 2);
    EXPECT_EQ(machine.longAt(kSupervisorStack - 12), 0x10000u) << "fault address";
}

TEST(Bus, LongWriteWhoseFirstWordFindsNoRangeStillWritesTheSecond) {
    MachineWithBank machine(0x20000);
    machine.cpu.d[1] = 0xCAFEF00D;
    machine.placeCode(kCodeStart, {0x23C1, 0x0001, 0xFFFE});  // MOVE.L D1,$1FFFE

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(LoadWord(machine.bank.data(), 0), 0xF00D);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 6);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
}

// ---- Devices -----------------------------------------------------------------------------------

TEST(Bus, LongDeviceAccessIsTwoWordCallsFourCyclesApart) {
    MappedMachine machine;
    RecordingDevice device;
    machine.supervisor.putDeviceFirst(device.range(kDevice, kDevice + 0xFF));
    machine.installLists();
    machine.cpu.cycleCounter = 1000;
    machine.placeCode(kCodeStart, {
                                      0x2039, 0x00FF, 0x8000,  // MOVE.L $FF8000,D0
                                      0x23C0, 0x00FF, 0x8010,  // MOVE.L D0,$FF8010
                                  });

    EXPECT_EQ(machine.run(40), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 0xA500A502u);
    ASSERT_EQ(device.accesses.size(), 4u);
    const DeviceAccess expected[] = {
        {0xFF8000, 0xA500, 1012, false},
        {0xFF8002, 0xA502, 1016, false},
        {0xFF8010, 0xA500, 1032, true},
        {0xFF8012, 0xA502, 1036, true},
    };
    for (size_t index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(device.accesses[index].address, expected[index].address);
        EXPECT_EQ(device.accesses[index].value, expected[index].value);
        EXPECT_EQ(device.accesses[index].time, expected[index].time);
        EXPECT_EQ(device.accesses[index].write, expected[index].write);
    }
}

TEST(Bus, WritesReachTheDeviceAheadOfRamAndThenRamWhileReadsStopAtTheDevice) {
    MappedMachine machine;
    RecordingDevice device;
    machine.supervisor.putDeviceFirst(device.range(0x2000, 0x20FF));
    machine.installLists();
    std::vector<uint16_t> ramWordDuringCall;
    device.duringAccess = [&](CpuState&, const DeviceAccess& access) {
        ramWordDuringCall.push_back(machine.word(access.address & ~1u));
    };
    machine.cpu.d[0] = 0x1234;
    machine.cpu.d[1] = 0x56;
    machine.cpu.d[2] = 0x89ABCDEF;
    machine.placeCode(kCodeStart, {
                                      0x33C0, 0x0000, 0x2000,  // MOVE.W D0,$2000
                                      0x13C1, 0x0000, 0x2003,  // MOVE.B D1,$2003
                                      0x23C2, 0x0000, 0x2004,  // MOVE.L D2,$2004
                                      0x3639, 0x0000, 0x2000,  // MOVE.W $2000,D3
                                  });

    EXPECT_EQ(machine.run(68), kCpuRunEnded);
    ASSERT_EQ(device.accesses.size(), 5u);
    const uint32_t addresses[] = {0x2000, 0x2003, 0x2004, 0x2006, 0x2000};
    const uint32_t values[] = {0x1234, 0x56, 0x89AB, 0xCDEF, 0xA500};
    for (size_t index = 0; index < 5; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(device.accesses[index].address, addresses[index]);
        EXPECT_EQ(device.accesses[index].value, values[index]);
        if (index < 4) {
            EXPECT_EQ(ramWordDuringCall[index], 0) << "the device comes first";
        }
    }
    EXPECT_EQ(machine.word(0x2000), 0x1234);
    EXPECT_EQ(machine.byte(0x2003), 0x56);
    EXPECT_EQ(machine.longAt(0x2004), 0x89ABCDEFu);
    EXPECT_EQ(machine.cpu.d[3], 0xA500u) << "the first range that covers a read answers it";
}

TEST(Bus, DevicesSeeTheTwentyFourBitAddress) {
    MappedMachine machine;
    RecordingDevice device;
    machine.supervisor.putDeviceFirst(device.range(kDevice, kDevice + 0xFF));
    machine.installLists();
    machine.cpu.a[0] = 0xAB002000;
    machine.setWord(0x2000, 0x5A5A);
    machine.placeCode(kCodeStart, {
                                      0x3038, 0x8000,  // MOVE.W $8000.W,D0 (sign-extended)
                                      0x3210,          // MOVE.W (A0),D1
                                  });

    EXPECT_EQ(machine.run(20), kCpuRunEnded);
    ASSERT_EQ(device.accesses.size(), 1u);
    EXPECT_EQ(device.accesses[0].address, 0xFF8000u);
    EXPECT_EQ(machine.cpu.d[0], 0xA500u);
    EXPECT_EQ(machine.cpu.d[1], 0x5A5Au);
}

// ---- Prefetch ----------------------------------------------------------------------------------

TEST(Bus, OverwritingTheNextOpcodeRunsItsOldForm) {
    MappedMachine machine;
    machine.cpu.a[0] = kCodeStart + 2;
    machine.cpu.d[1] = 0x7405;  // MOVEQ #5,D2
    // MOVE.W D1,(A0); MOVEQ #1,D2
    machine.placeCode(kCodeStart, {0x3081, 0x7401});

    machine.run(12);
    EXPECT_EQ(machine.cpu.d[2], 1u);
    EXPECT_EQ(machine.word(kCodeStart + 2), 0x7405);

    machine.cpu.pc = kCodeStart + 2;  // the next fetch sees the new word
    machine.run(4);
    EXPECT_EQ(machine.cpu.d[2], 5u);
}

TEST(Bus, OverwritingALaterWordIsSeen) {
    MappedMachine machine;
    machine.cpu.a[0] = kCodeStart + 4;
    machine.cpu.d[1] = 0x7405;  // MOVEQ #5,D2
    // MOVE.W D1,(A0); NOP; MOVEQ #1,D2
    machine.placeCode(kCodeStart, {0x3081, 0x4E71, 0x7401});

    machine.run(16);
    EXPECT_EQ(machine.cpu.d[2], 5u);
}

TEST(Bus, OnlyTheNextOpcodeIsPrefetched) {
    MappedMachine machine;
    machine.cpu.a[0] = kCodeStart + 2;
    machine.cpu.d[1] = 0x74057606;  // MOVEQ #5,D2; MOVEQ #6,D3
    // MOVE.L D1,(A0); MOVEQ #1,D2; MOVEQ #2,D3
    machine.placeCode(kCodeStart, {0x2081, 0x7401, 0x7602});

    machine.run(20);
    EXPECT_EQ(machine.cpu.d[2], 1u);
    EXPECT_EQ(machine.cpu.d[3], 6u);
}

// ---- The debugger's access -------------------------------------------------------------------

TEST(Bus, PeekAndPokeUseTheSupervisorMapWithoutTimeOrExceptions) {
    MappedMachine machine;
    RecordingDevice registers;
    RecordingDevice writeWatcher;
    machine.supervisor.putDeviceFirst(registers.range(kDevice, kDevice + 0xFF));
    machine.supervisor.writeByte.insert(machine.supervisor.writeByte.begin(),
                                        writeWatcher.range(0x2000, 0x20FF));
    machine.installLists();  // the user map is plain RAM
    machine.startAt(kCodeStart, kSrUser);
    machine.placeNops(kCodeStart, 1);
    machine.cpu.cycleCounter = 500;
    machine.setWord(0x3000, 0x4321);

    EXPECT_EQ(CpuPeekWord(machine.cpu, kDevice + 4), 0xA504);
    ASSERT_EQ(registers.accesses.size(), 1u);
    EXPECT_EQ(registers.accesses[0].time, 500);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x3000), 0x4321);
    EXPECT_EQ(CpuPeekWord(machine.cpu, 0x30000), 0xFFFF);

    CpuPokeByte(machine.cpu, 0x3001, 0x77);
    EXPECT_EQ(machine.word(0x3000), 0x4377);
    CpuPokeByte(machine.cpu, 0x2001, 0x99);  // only the first range that covers it
    ASSERT_EQ(writeWatcher.accesses.size(), 1u);
    EXPECT_EQ(writeWatcher.accesses[0].value, 0x99u);
    EXPECT_EQ(machine.byte(0x2001), 0);
    CpuPokeByte(machine.cpu, 0x40000, 0x01);  // nothing there: nothing happens

    // A bus error a device asks for during a peek is not raised, then or later.
    registers.duringAccess = [](CpuState& cpu, const DeviceAccess&) { CpuSignalBusError(cpu); };
    CpuPeekWord(machine.cpu, kDevice);
    EXPECT_EQ(machine.cpu.cycleCounter, 500);
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 2);
    EXPECT_EQ(machine.cpu.sr & kSrSupervisor, 0);
}

}  // namespace
}  // namespace orvet::test
