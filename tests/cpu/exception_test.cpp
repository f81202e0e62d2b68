// Exception processing as the rest of the machine meets it: bus and address error frames, the
// double fault, interrupt posting, priorities and vectors, the switch between user and supervisor
// state, privileged instructions, RESET and accepting interrupts between runs.
#include <gtest/gtest.h>

#include "mapped_machine.h"

namespace orvet::test {
namespace {

constexpr uint32_t kDevice = 0xFF8000;
constexpr uint32_t kHandler = 0x3000;

struct Group0Frame {
    uint16_t accessWord;
    uint32_t faultAddress;
    uint16_t instructionRegister;
    uint16_t sr;
    uint32_t pc;
};
Group0Frame Group0FrameAt(const MappedMachine& machine, uint32_t address) {
    return {machine.word(address), machine.longAt(address + 2), machine.word(address + 6),
            machine.word(address + 8), machine.longAt(address + 10)};
}

// ---- Bus and address errors ------------------------------------------------------------------

// User programs may write only below $7000 here (the supervisor stack lies above), and a device at
// $FF8000 answers every access with a bus error.
struct MachineWithFaults : MappedMachine {
    MachineWithFaults() {
        const MemoryRegion userRam = DirectRange(0, 0x6FFF, ram());
        user.writeByte = {userRam};
        user.writeWord = {userRam};
        supervisor.putDeviceFirst(device.range(kDevice, kDevice + 0xFF));
        installLists();
        device.duringAccess = [](CpuState& cpu, const DeviceAccess&) { CpuSignalBusError(cpu); };
    }
    RecordingDevice device;
};

TEST(Group0, AddressErrorEndsTheInstructionAtTheFailedAccess) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0x2715);
    machine.cpu.a[0] = 0x2001;
    machine.cpu.d[0] = 0x11112222;
    machine.placeCode(kCodeStart, {0x3010, 0x4E71});  // MOVE.W (A0),D0; NOP

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(3));
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack - 14);
    EXPECT_EQ(machine.cpu.d[0], 0x11112222u) << "the read never happened";
    EXPECT_EQ(machine.cpu.sr, 0x2715);
    // The failed access takes no bus slot; the exception takes 56.
    EXPECT_EQ(machine.lastRunCycles, 4 + 56);
}

// The frame from the new SSP up: the access word (the instruction register's upper bits, read
// 0x10, instruction fetch 0x08, function code: 1 user data, 2 user program, 5 and 6 supervisor),
// the failed address as computed, the instruction register, SR, and the PC as far as the
// 68000's prefetch had gone.
TEST(Group0, FrameNamesTheAccessTheInstructionAndHowFarItHadGone) {
    struct Case {
        const char* what;
        std::vector<uint16_t> code;
        uint16_t startSr;
        uint32_t a0;
        int vector;
        uint16_t accessWord;
        uint32_t faultAddress;
        uint32_t stackedPc;
        uint32_t frameBelowStack = 14;
    };
    constexpr uint32_t kCode = kCodeStart;
    const Case cases[] = {
        // Address errors: the top byte stays in the address; user mode names user data.
        {"MOVE.W (A0),D0", {0x3010}, 0x2700, 0xAB002001, 3, 0x3015, 0xAB002001, kCode},
        {"MOVE.W D0,(A0) as user", {0x3080}, kSrUser, 0x3001, 3, 0x3081, 0x3001, kCode},
        // Bus errors from the device and from unmapped space. MOVE writes before it prefetches,
        // and to a long address before it has taken the address's second word.
        {"MOVE.W $8000.W,D0", {0x3038, 0x8000}, 0x2700, 0, 2, 0x3035, 0xFFFF8000, kCode + 2},
        {"MOVE.W D0,$FF8000", {0x33C0, 0xFF, 0x8000}, 0x2700, 0, 2, 0x33C5, 0xFF8000, kCode + 2},
        {"MOVE.B D0,$20001", {0x13C0, 2, 1}, 0x2700, 0, 2, 0x13C5, 0x20001, kCode + 2},
        {"MOVE.L D0,(A0)", {0x2080}, 0x2700, 0x20000, 2, 0x2085, 0x20000, kCode},
        // A read-modify-write prefetches before its write: the next instruction's address.
        {"ADDQ.W #1,$7000", {0x5279, 0, 0x7000}, kSrUser, 0, 2, 0x5261, 0x7000, kCode + 6},
        // A long below the register goes low word first; MOVEM writes before it prefetches.
        {"MOVEM.L D0-D1,-(A0)", {0x48E0, 0xC000}, 0x2700, 0x3001, 3, 0x48E5, 0x2FFF, kCode + 2},
        // A fetch at an odd address stacks the target less 4; an odd vector is such a fetch,
        // and its frame lies below the TRAP's own.
        {"JMP (A0)", {0x4ED0}, 0x2700, 0x2001, 3, 0x4EDE, 0x2001, 0x1FFD},
        {"JMP (A0) as user", {0x4ED0}, kSrUser, 0x2001, 3, 0x4EDA, 0x2001, 0x1FFD},
        {"TRAP #1 to $3001", {0x4E41}, 0x2700, 0, 3, 0x4E5E, 0x3001, 0x2FFD, 14 + 6},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.what);
        MachineWithFaults machine;
        machine.startAt(kCodeStart, fault.startSr);
        machine.cpu.a[0] = fault.a0;
        machine.cpu.d[0] = 0x00010001;  // MOVE sets the flags before its write: here all clear
        machine.setVector(33, 0x3001);
        machine.placeCode(kCodeStart, fault.code);

        machine.run(200);
        ASSERT_EQ(machine.stoppedInVector(), fault.vector);
        ASSERT_EQ(machine.cpu.a[7], kSupervisorStack - fault.frameBelowStack);
        const Group0Frame frame = Group0FrameAt(machine, machine.cpu.a[7]);
        EXPECT_EQ(frame.accessWord, fault.accessWord);
        EXPECT_EQ(frame.faultAddress, fault.faultAddress);
        EXPECT_EQ(frame.instructionRegister, fault.code[0]);
        EXPECT_EQ(frame.sr, fault.startSr);
        EXPECT_EQ(frame.pc, fault.stackedPc);
    }
}

TEST(Group0, FaultWhileStackingAGroup0FrameHalts) {
    struct Case {
        const char* what;
        uint32_t supervisorStack;
        std::vector<uint16_t> code;
    };
    const Case cases[] = {
        // MOVE.W (A0),D0 with A0 odd, and a stack the frame cannot be written to.
        {"address error, odd stack", 0x7FFF, {0x3010}},
        // MOVE.W D0,$20000 with the stack where nothing is mapped either.
        {"bus error, unmapped stack", 0x30000, {0x33C0, 0x0002, 0x0000}},
        // TRAP #1: its own frame meets the odd stack first.
        {"trap, odd stack", 0x7FFF, {0x4E41}},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.what);
        MappedMachine machine;
        machine.cpu.a[0] = 0x2001;
        machine.cpu.a[7] = fault.supervisorStack;
        machine.placeCode(kCodeStart, fault.code);

        EXPECT_EQ(machine.run(100), kCpuHalted);
        EXPECT_EQ(machine.run(100), kCpuHalted);
        EXPECT_EQ(machine.lastRunCycles, 0);
        EXPECT_EQ(CpuReset(machine.cpu), 0);
        EXPECT_EQ(machine.run(4), kCpuRunEnded);
    }
}

TEST(Group0, HaltedProcessorStaysHaltedWhenAnInterruptArrives) {
    MappedMachine machine;
    machine.setLong(4, 0x1001);
    ASSERT_EQ(CpuReset(machine.cpu), -1);

    CpuPostInterrupt(machine.cpu, 7, -1);
    CpuServiceInterrupts(machine.cpu);
    EXPECT_EQ(machine.run(100), kCpuHalted) << "only a reset ends a halt";
}

// ---- Interrupts --------------------------------------------------------------------------------

TEST(Interrupts, PostingReportsWhatItLatched) {
    MappedMachine machine;
    machine.cpu.interruptState = 1;  // stopped
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 0, -1), 2);
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 8, -1), 2);
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 3, -3), 2);
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 3, 256), 2);
    EXPECT_EQ(machine.cpu.interruptState, 1) << "rejected posts change nothing";

    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 3, 255), 0);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 3) << "a new level wakes a stopped processor";
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 3, 7), 1);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 3);
}

TEST(Interrupts, AcceptanceUsesTheLatchedVector) {
    struct Case {
        int level;
        int postedVector;
        uint32_t vectorTaken;
    };
    const Case cases[] = {
        {4, -1, 28}, {7, -1, 31}, {6, 0x4D, 0x4D}, {2, -2, 24}, {1, 255, 255},
    };
    for (const Case& interrupt : cases) {
        SCOPED_TRACE(interrupt.level);
        MappedMachine machine;
        machine.startAt(kCodeStart, 0x2000);
        ASSERT_EQ(CpuPostInterrupt(machine.cpu, interrupt.level, interrupt.postedVector), 0);
        // A second post of the same level does not replace the vector.
        EXPECT_EQ(CpuPostInterrupt(machine.cpu, interrupt.level, 0x40), 1);

        EXPECT_EQ(machine.run(0), kCpuRunEnded);
        EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(interrupt.vectorTaken));
        EXPECT_EQ(machine.cpu.sr & 0x0700, interrupt.level << 8);
    }
}

TEST(Interrupts, HigherLevelFirstThenTheLowerOneWhenTheMaskDrops) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0x2300);
    machine.placeNops(kCodeStart, 4);
    machine.setVector(30, kHandler);
    machine.placeCode(kHandler, {0x7C06, 0x4E73});  // MOVEQ #6,D6; RTE
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 4, -1), 0);
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 6, -1), 0);

    machine.run(0);
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0600);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 4);

    machine.run(0);  // level 4 waits under mask 6
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.lastRunCycles, 0);

    // RTE brings back mask 3 and ends the run; level 4 is taken before the run returns.
    machine.run(400);
    EXPECT_EQ(machine.cpu.d[6], 6u);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(28));
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0400);
    EXPECT_EQ(machine.word(kSupervisorStack - 6), 0x2300);
    EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart);
    EXPECT_EQ(machine.lastRunCycles, 4 + 20 + 56);
}

TEST(Interrupts, LevelSevenGetsThroughMaskSevenAndNothingElseDoes) {
    MappedMachine machine;  // mask 7
    machine.placeNops(kCodeStart, 1);
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 6, -1), 0);
    machine.run(0);
    EXPECT_EQ(machine.cpu.pc, kCodeStart);

    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 7, -1), 0);
    machine.run(0);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(31));
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0700);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 6);
}

TEST(Interrupts, ServicingBetweenRunsAcceptsOneInterruptAndCountsItsTime) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0x2200);
    machine.cpu.cycleCounter = 100;
    CpuServiceInterrupts(machine.cpu);  // nothing pending
    EXPECT_EQ(machine.cpu.pc, kCodeStart);
    EXPECT_EQ(machine.cpu.cycleCounter, 100);

    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 5, -1), 0);
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 6, -1), 0);
    CpuServiceInterrupts(machine.cpu);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(30));
    EXPECT_EQ(machine.cpu.cycleCounter, 156);
    EXPECT_EQ(machine.cpu.sr, 0x2600);
    EXPECT_EQ(machine.word(kSupervisorStack - 6), 0x2200);
    EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart);

    CpuServiceInterrupts(machine.cpu);  // level 5 waits under mask 6
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(30));
    EXPECT_EQ(machine.cpu.cycleCounter, 156);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 5);
}

// ---- User and supervisor state -----------------------------------------------------------------

TEST(UserMode, TrapSwitchesToTheSupervisorStackAndMap) {
    MachineWithFaults machine;
    machine.startAt(kCodeStart, kSrUser | 0x09);
    machine.placeCode(kCodeStart, {0x4E41});  // TRAP #1

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 36);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(33));
    EXPECT_EQ(machine.cpu.sr, 0x2009);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack - 6);
    EXPECT_EQ(machine.cpu.otherStackPointer, kUserStack);
    EXPECT_EQ(machine.word(kSupervisorStack - 6), 0x0009);
    EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart + 2);
    EXPECT_EQ(machine.longAt(kUserStack - 4), 0u);
}

// Like the ST: below $2000 (vectors, stubs and the supervisor's code) only the supervisor may
// read, write or fetch.
struct MachineWithProtectedLowMemory : MappedMachine {
    static constexpr uint32_t kUserLow = 0x2000;
    MachineWithProtectedLowMemory() {
        const MemoryRegion userRam = DirectRange(kUserLow, kRamSize - 1, ram() + kUserLow);
        user.fetch = {CodeRange(kUserLow, kRamSize - 1, ram() + kUserLow)};
        user.readByte = user.readWord = user.writeByte = user.writeWord = {userRam};
        installLists();
    }
};

TEST(UserMode, ExceptionsFetchTheirVectorAsSupervisor) {
    MachineWithProtectedLowMemory machine;
    const uint32_t userCode = MachineWithProtectedLowMemory::kUserLow;
    machine.startAt(userCode, kSrUser);
    machine.placeCode(userCode, {0x4E41, 0x4E71});  // TRAP #1; NOP

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(33));

    machine.startAt(userCode + 2, kSrUser);
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 4, -1), 0);
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(28));
    EXPECT_EQ(machine.cpu.sr, 0x2400);
}

TEST(UserMode, DroppingToUserModeLeavesSupervisorOnlyCode) {
    MachineWithProtectedLowMemory machine;
    machine.placeCode(kCodeStart, {0x46FC, 0x0000, 0x4E71});  // MOVE #0,SR; NOP

    EXPECT_EQ(machine.run(100), kCpuLeftFetchRegions);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 4);
    EXPECT_EQ(machine.cpu.sr, kSrUser);
}

TEST(UserMode, RteToUserModePopsTheSupervisorStackAndEndsTheRun) {
    MachineWithFaults machine;
    machine.cpu.a[7] = kSupervisorStack - 6;
    machine.setWord(kSupervisorStack - 6, 0x0004);
    machine.setLong(kSupervisorStack - 4, kHandler);
    machine.placeCode(kCodeStart, {0x4E73, 0x7001});  // RTE; MOVEQ #1,D0
    machine.placeCode(kHandler, {0x7202});            // MOVEQ #2,D1

    EXPECT_EQ(machine.run(400), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 20);
    EXPECT_EQ(machine.cpu.sr, 0x0004);
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.cpu.a[7], kUserStack);
    EXPECT_EQ(machine.cpu.otherStackPointer, kSupervisorStack);

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[1], 2u);
    EXPECT_EQ(machine.cpu.d[0], 0u);
}

TEST(UserMode, RteDropsStatusBitsThe68000DoesNotHave) {
    MappedMachine machine;
    machine.cpu.a[7] = kSupervisorStack - 6;
    machine.setWord(kSupervisorStack - 6, 0xFFFF);
    machine.setLong(kSupervisorStack - 4, kHandler);
    machine.placeCode(kCodeStart, {0x4E73});  // RTE

    machine.run(4);
    EXPECT_EQ(machine.cpu.sr, 0xA71F);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
}

TEST(UserMode, PrivilegedInstructionsTakeVectorEightAtTheirOwnAddress) {
    struct Case {
        const char* assembly;
        std::vector<uint16_t> code;
    };
    const Case cases[] = {
        {"MOVE #$2700,SR", {0x46FC, 0x2700}}, {"ANDI #$F8FF,SR", {0x027C, 0xF8FF}},
        {"ORI #$0700,SR", {0x007C, 0x0700}},  {"EORI #$2000,SR", {0x0A7C, 0x2000}},
        {"MOVE A0,USP", {0x4E60}},            {"MOVE USP,A0", {0x4E68}},
        {"RESET", {0x4E70}},                  {"STOP #$2700", {0x4E72, 0x2700}},
        {"RTE", {0x4E73}},
    };
    for (const Case& instruction : cases) {
        SCOPED_TRACE(instruction.assembly);
        MappedMachine machine;
        machine.startAt(kCodeStart, kSrUser);
        machine.cpu.a[0] = 0xA0A0;
        machine.placeCode(kCodeStart, instruction.code);

        EXPECT_EQ(machine.run(4), kCpuRunEnded);
        EXPECT_EQ(machine.cpu.pc, MappedMachine::stubFor(8));
        EXPECT_EQ(machine.lastRunCycles, 36);
        EXPECT_EQ(machine.word(kSupervisorStack - 6), kSrUser);
        EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart);
        EXPECT_EQ(machine.cpu.a[0], 0xA0A0u);
        EXPECT_EQ(machine.cpu.otherStackPointer, kUserStack);
        EXPECT_EQ(machine.cpu.interruptState, 0);
    }
}

// ---- RESET -------------------------------------------------------------------------------------

struct ResetLog {
    int calls = 0;
    int32_t time = 0;
    bool requestBusError = false;
};
void RecordReset(CpuState& cpu, void* context) {
    auto& log = *static_cast<ResetLog*>(context);
    ++log.calls;
    log.time = CpuCycleTime(cpu);
    if (log.requestBusError) CpuSignalBusError(cpu);
}

TEST(ResetInstruction, WithoutAHookEndsTheRunWithItsAddress) {
    MappedMachine machine;
    machine.startAt(0x55000000 | kCodeStart, kSrSupervisorMask7);
    machine.placeCode(kCodeStart, {0x4E71, 0x4E70, 0x7001});  // NOP; RESET; MOVEQ #1,D0

    EXPECT_EQ(machine.run(400), kCodeStart + 2);
    EXPECT_EQ(machine.cpu.d[0], 0u);
}

TEST(ResetInstruction, CallsTheHookAndCarriesOn) {
    MappedMachine machine;
    ResetLog log;
    machine.cpu.resetHook = RecordReset;
    machine.cpu.resetHookContext = &log;
    machine.cpu.d[5] = 0x55;
    machine.placeCode(kCodeStart, {0x4E70, 0x7001});  // RESET; MOVEQ #1,D0

    EXPECT_EQ(machine.run(132), kCpuRunEnded);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(machine.lastRunCycles, 132);
    EXPECT_EQ(machine.cpu.d[5], 0x55u) << "the processor itself is not reset";
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 1u);
}

TEST(ResetInstruction, BusErrorRequestedByTheHookIsTakenAfterwards) {
    MappedMachine machine;
    ResetLog log{.requestBusError = true};
    machine.cpu.resetHook = RecordReset;
    machine.cpu.resetHookContext = &log;
    machine.placeCode(kCodeStart, {0x4E70, 0x7001});  // RESET; MOVEQ #1,D0

    machine.run(400);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(machine.stoppedInVector(), 2);
    EXPECT_EQ(Group0FrameAt(machine, kSupervisorStack - 14).pc, kCodeStart + 2);
    EXPECT_EQ(machine.cpu.d[0], 0u);
}

}  // namespace
}  // namespace orvet::test
