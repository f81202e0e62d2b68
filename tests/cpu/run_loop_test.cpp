// The run loop as the frame loop drives it: slices and their overrun, interrupts seen at the
// points where the loop looks for them, trace, STOP, device handlers that reach back into the
// run, the PC leaving the code the machine maps, and processor reset.
#include <gtest/gtest.h>

#include "mapped_machine.h"

namespace orvet::test {
namespace {

constexpr uint32_t kHandler = 0x3000;
constexpr uint32_t kDevice = 0xFF8000;

// The frame of a group 1 or 2 exception: SR, then the PC.
uint16_t StackedSr(const MappedMachine& machine) { return machine.word(machine.cpu.a[7]); }
uint32_t StackedPc(const MappedMachine& machine) { return machine.longAt(machine.cpu.a[7] + 2); }

// ---- Slices ----------------------------------------------------------------------------------

TEST(RunLoop, SliceRunsWholeInstructionsAndTheLastOneOverruns) {
    MappedMachine machine;
    uint32_t pc = machine.placeNops(kCodeStart, 3);
    pc = machine.placeCode(pc, {0x23F9, 0x0000, 0x2000, 0x0000, 0x2004});  // MOVE.L $2000,$2004
    machine.placeNops(pc, 4);
    machine.setLong(0x2000, 0xDEADBEEF);

    // Three NOPs use the slice up exactly; the 36-cycle move must wait for the next slice.
    EXPECT_EQ(machine.run(12), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 12);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 6);
    EXPECT_EQ(machine.longAt(0x2004), 0u);

    // A slice shorter than the instruction still runs all of it; the overrun is counted.
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 36);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 16);
    EXPECT_EQ(machine.longAt(0x2004), 0xDEADBEEFu);
    EXPECT_EQ(machine.cpu.cycleCounter, 48);

    EXPECT_EQ(machine.run(8), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 8);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 20);
}

TEST(RunLoop, EmptySliceRunsNothing) {
    MappedMachine machine;
    machine.placeCode(kCodeStart, {0x7001});  // MOVEQ #1,D0
    for (int32_t cycles : {0, -8}) {
        SCOPED_TRACE(cycles);
        EXPECT_EQ(machine.run(cycles), kCpuRunEnded);
        EXPECT_EQ(machine.lastRunCycles, 0);
        EXPECT_EQ(machine.cpu.pc, kCodeStart);
        EXPECT_EQ(machine.cpu.d[0], 0u);
    }
}

TEST(RunLoop, EmptySliceStillAcceptsAPendingInterrupt) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0x2200);
    machine.setVector(29, kHandler);
    machine.placeCode(kHandler, {0x7A05});  // MOVEQ #5,D5
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 5, -1), 0);

    EXPECT_EQ(machine.run(0), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 56);
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.cpu.d[5], 0u) << "the handler's first instruction must wait for a slice";
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0500);
    EXPECT_EQ(machine.cpu.interruptState, 0);
    EXPECT_EQ(StackedSr(machine), 0x2200);
    EXPECT_EQ(StackedPc(machine), kCodeStart);
}

TEST(RunLoop, StoppedProcessorLetsTimePass) {
    MappedMachine machine;
    machine.placeCode(kCodeStart, {0x7001});  // MOVEQ #1,D0
    machine.cpu.interruptState = 1;

    EXPECT_EQ(machine.run(512), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 512);
    EXPECT_EQ(machine.cpu.pc, kCodeStart);
    EXPECT_EQ(machine.cpu.d[0], 0u);
}

// ---- Device handlers reaching into the run ---------------------------------------------------

struct MachineWithDevice : MappedMachine {
    MachineWithDevice() {
        supervisor.putDeviceFirst(device.range(kDevice, kDevice + 0xFF));
        user = supervisor;
        installLists();
    }
    RecordingDevice device;
};

TEST(RunLoop, InterruptPostedByADeviceIsTakenAfterTheCurrentInstruction) {
    MachineWithDevice machine;
    machine.startAt(kCodeStart, 0x2200);
    machine.cpu.d[0] = 0x1234;
    uint32_t pc = machine.placeCode(kCodeStart, {0x33C0, 0x00FF, 0x8000});  // MOVE.W D0,$FF8000
    machine.placeCode(pc, {0x7001});                                         // MOVEQ #1,D0
    machine.setVector(29, kHandler);
    machine.placeNops(kHandler, 100);
    int postResult = -1;
    machine.device.duringAccess = [&](CpuState& cpu, const DeviceAccess&) {
        postResult = CpuPostInterrupt(cpu, 5, -1);
    };

    EXPECT_EQ(machine.run(400), kCpuRunEnded);
    EXPECT_EQ(postResult, 0);
    EXPECT_EQ(machine.cpu.d[0], 0x1234u) << "the instruction after the move must not run first";
    EXPECT_EQ(StackedPc(machine), kCodeStart + 6);
    // The move (16) and the acceptance (56) leave 328 cycles: 82 NOPs of the handler.
    EXPECT_EQ(machine.lastRunCycles, 400);
    EXPECT_EQ(machine.cpu.pc, kHandler + 82 * 2);
}

TEST(RunLoop, MaskedInterruptPostedByADeviceLeavesTheSliceRunning) {
    MachineWithDevice machine;  // mask 7
    uint32_t pc = machine.placeCode(kCodeStart, {0x33C0, 0x00FF, 0x8000});  // MOVE.W D0,$FF8000
    machine.placeNops(pc, 200);
    machine.device.duringAccess = [](CpuState& cpu, const DeviceAccess&) {
        CpuPostInterrupt(cpu, 5, -1);
    };

    EXPECT_EQ(machine.run(400), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 400);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 6 + 96 * 2);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 5);
}

TEST(RunLoop, DeviceCanEndTheSlice) {
    MachineWithDevice machine;
    uint32_t pc = machine.placeNops(kCodeStart, 1);
    pc = machine.placeCode(pc, {0x33C0, 0x00FF, 0x8000});  // MOVE.W D0,$FF8000
    machine.placeNops(pc, 10);
    machine.device.duringAccess = [](CpuState& cpu, const DeviceAccess&) { CpuEndSlice(cpu); };

    EXPECT_EQ(machine.run(400), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 8);
    EXPECT_EQ(machine.lastRunCycles, 20);

    machine.device.duringAccess = nullptr;
    EXPECT_EQ(machine.run(8), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 12);
    EXPECT_EQ(machine.lastRunCycles, 8);
}

TEST(RunLoop, WaitStatesLengthenTheInstructionAndDelayItsLaterAccesses) {
    MachineWithDevice machine;
    machine.cpu.cycleCounter = 1000;
    // MOVE.W $FF8000,$FF8002: reads at +12 and writes at +24 of its 28 cycles.
    machine.placeCode(kCodeStart, {0x33F9, 0x00FF, 0x8000, 0x00FF, 0x8002});
    machine.device.duringAccess = [](CpuState& cpu, const DeviceAccess& access) {
        if (!access.write) CpuAddWaitStates(cpu, 4);
    };

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 32);
    ASSERT_EQ(machine.device.accesses.size(), 2u);
    EXPECT_EQ(machine.device.accesses[0].time, 1012);
    EXPECT_EQ(machine.device.accesses[1].time, 1028);
    EXPECT_EQ(machine.device.accesses[1].value, 0xA500u);
}

// ---- Trace -----------------------------------------------------------------------------------

TEST(RunLoop, TraceRunsOneInstructionThenTheHandlerWithTheRestOfTheSlice) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0xA700);
    machine.placeCode(kCodeStart, {0x7001, 0x7202});  // MOVEQ #1,D0; MOVEQ #2,D1
    machine.setVector(9, kHandler);
    uint32_t pc = machine.placeCode(kHandler, {0x7E09});  // MOVEQ #9,D7
    machine.placeNops(pc, 40);

    EXPECT_EQ(machine.run(100), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 1u);
    EXPECT_EQ(machine.cpu.d[1], 0u);
    EXPECT_EQ(machine.cpu.d[7], 9u);
    EXPECT_EQ(StackedSr(machine), 0xA700);
    EXPECT_EQ(StackedPc(machine), kCodeStart + 2);
    EXPECT_EQ(machine.cpu.sr & kSrTrace, 0);
    // 4 for the MOVEQ and 36 for the trace leave 60: fifteen handler instructions.
    EXPECT_EQ(machine.lastRunCycles, 100);
    EXPECT_EQ(machine.cpu.pc, kHandler + 15 * 2);
}

TEST(RunLoop, TraceHandlerEndingInRteStepsOneInstructionPerRun) {
    MappedMachine machine;
    machine.startAt(kCodeStart, 0xA700);
    machine.placeCode(kCodeStart, {0x7001, 0x7202, 0x7403});  // MOVEQ #1,D0; #2,D1; #3,D2
    machine.setVector(9, kHandler);
    machine.placeCode(kHandler, {0x5286, 0x4E73});  // ADDQ.L #1,D6; RTE

    for (uint32_t step = 1; step <= 3; ++step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(machine.run(1000), kCpuRunEnded);
        // MOVEQ 4, trace 36, ADDQ.L 8, RTE 20: RTE ends the run with only those cycles used.
        EXPECT_EQ(machine.lastRunCycles, 68);
        EXPECT_EQ(machine.cpu.pc, kCodeStart + 2 * step);
        EXPECT_EQ(machine.cpu.d[6], step);
        EXPECT_EQ(machine.cpu.sr, 0xA700);
        EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
    }
    EXPECT_EQ(machine.cpu.d[0], 1u);
    EXPECT_EQ(machine.cpu.d[1], 2u);
    EXPECT_EQ(machine.cpu.d[2], 3u);
}

TEST(RunLoop, SettingTraceThroughMoveToSrTracesTheNextInstruction) {
    MappedMachine machine;
    // MOVE #$A700,SR; MOVEQ #1,D0; MOVEQ #2,D1
    machine.placeCode(kCodeStart, {0x46FC, 0xA700, 0x7001, 0x7202});

    machine.run(200);
    EXPECT_EQ(machine.stoppedInVector(), 9);
    EXPECT_EQ(machine.cpu.d[0], 1u);
    EXPECT_EQ(machine.cpu.d[1], 0u);
    EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart + 6);
}

// ---- Status register writes and STOP ----------------------------------------------------------

TEST(RunLoop, LoweringTheMaskTakesAPendingInterruptBeforeTheNextInstruction) {
    struct Case {
        const char* assembly;
        uint16_t opcode;
        uint16_t operand;
    };
    const Case cases[] = {
        {"MOVE #$2300,SR", 0x46FC, 0x2300},
        {"ANDI #$FBFF,SR", 0x027C, 0xFBFF},
        {"EORI #$0400,SR", 0x0A7C, 0x0400},
    };
    for (const Case& instruction : cases) {
        SCOPED_TRACE(instruction.assembly);
        MappedMachine machine;
        ASSERT_EQ(CpuPostInterrupt(machine.cpu, 4, -1), 0);  // waits under mask 7
        // The SR write, then MOVEQ #1,D0.
        machine.placeCode(kCodeStart, {instruction.opcode, instruction.operand, 0x7001});

        machine.run(200);
        EXPECT_EQ(machine.stoppedInVector(), 28);
        EXPECT_EQ(machine.cpu.d[0], 0u);
        EXPECT_EQ(machine.word(kSupervisorStack - 6), 0x2300);
        EXPECT_EQ(machine.longAt(kSupervisorStack - 4), kCodeStart + 4);
    }
}

TEST(RunLoop, StopWithAnInterruptAboveTheNewMaskAcceptsItInTheSameRun) {
    MappedMachine machine;
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 4, -1), 0);
    machine.placeCode(kCodeStart, {0x4E72, 0x2300, 0x7001});  // STOP #$2300; MOVEQ #1,D0
    machine.setVector(28, kHandler);
    machine.placeCode(kHandler, {0x7804});  // MOVEQ #4,D4

    EXPECT_EQ(machine.run(200), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.cpu.interruptState, 0);
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0400);
    EXPECT_EQ(StackedSr(machine), 0x2300);
    EXPECT_EQ(StackedPc(machine), kCodeStart + 4);
    // STOP lets the rest of the slice pass; the acceptance comes on top.
    EXPECT_EQ(machine.lastRunCycles, 200 + 56);

    machine.run(4);
    EXPECT_EQ(machine.cpu.d[4], 4u);
    EXPECT_EQ(machine.cpu.d[0], 0u);
}

TEST(RunLoop, StoppedProcessorWaitsForANewlyPostedLevel) {
    MappedMachine machine;
    ASSERT_EQ(CpuPostInterrupt(machine.cpu, 2, -1), 0);       // masked throughout
    machine.placeCode(kCodeStart, {0x4E72, 0x2700, 0x7003});  // STOP #$2700; MOVEQ #3,D0

    EXPECT_EQ(machine.run(100), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 100);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 4);
    EXPECT_TRUE(machine.cpu.interruptState & 1);

    // Posting a level that is already pending latches nothing new and does not wake it.
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 2, -1), 1);
    EXPECT_EQ(machine.run(512), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 512);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 4);
    EXPECT_EQ(machine.cpu.d[0], 0u);

    // A new level wakes it even below the mask; it then carries on after the STOP.
    EXPECT_EQ(CpuPostInterrupt(machine.cpu, 3, -1), 0);
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 3u);
    EXPECT_EQ(machine.cpu.interruptState, (1 << 2) | (1 << 3));
}

TEST(RunLoop, RteEndsTheRunWithOnlyTheCyclesUsed) {
    MappedMachine machine;
    machine.placeCode(kCodeStart, {0x4E71, 0x4E71, 0x4E73});  // NOP; NOP; RTE
    machine.cpu.a[7] = kSupervisorStack - 6;
    machine.setWord(kSupervisorStack - 6, 0x2700);
    machine.setLong(kSupervisorStack - 4, kHandler);
    machine.placeNops(kHandler, 10);

    EXPECT_EQ(machine.run(400), kCpuRunEnded);
    EXPECT_EQ(machine.lastRunCycles, 28);
    EXPECT_EQ(machine.cpu.pc, kHandler);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
}

// ---- The program counter and the fetch regions --------------------------------------------------

TEST(RunLoop, PcTopByteIsIgnoredForFetchAndKeptInThePc) {
    MappedMachine machine;
    machine.startAt(0x12000000 | kCodeStart, kSrSupervisorMask7);
    uint32_t pc = machine.placeNops(kCodeStart, 2);
    // MOVE.W $2000(PC),D1: the extension word at $1006 plus $0FFA.
    pc = machine.placeCode(pc, {0x323A, 0x0FFA});
    machine.placeCode(pc, {0x4EF9, 0x0000, 0x1100});  // JMP $1100
    machine.placeNops(0x1100, 2);
    machine.setWord(0x2000, 0xBEEF);

    EXPECT_EQ(machine.run(8), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, 0x12001004u);
    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[1], 0xBEEFu);
    EXPECT_EQ(machine.cpu.pc, 0x12001008u);
    // An absolute jump names the whole address: the top byte goes.
    EXPECT_EQ(machine.run(16), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.pc, 0x1102u);
}

// A map whose code ends at $1FFF, with a separate block of code at $2000-$2FFF; RAM holds data
// up to $FFFF.
struct MachineWithTwoCodeRanges : MappedMachine {
    explicit MachineWithTwoCodeRanges(bool withSecondRange) : rom(0x1000) {
        supervisor.fetch = {CodeRange(0, 0x1FFF, ram())};
        if (withSecondRange) supervisor.fetch.push_back(CodeRange(0x2000, 0x2FFF, rom.data()));
        user = supervisor;
        installLists();
        StoreWord(rom.data(), 0, 0x7007);  // MOVEQ #7,D0 at $2000 in the second range
        setWord(0x2000, 0x7001);           // MOVEQ #1,D0 in RAM, which holds no code there
    }
    HostBlock rom;
};

TEST(RunLoop, RunningOffTheEndOfCodeIntoAdjacentCodeContinues) {
    MachineWithTwoCodeRanges machine(true);
    machine.startAt(0x1FFC, kSrSupervisorMask7);
    machine.placeNops(0x1FFC, 2);

    EXPECT_EQ(machine.run(12), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 7u);
    EXPECT_EQ(machine.cpu.pc, 0x2002u);
}

TEST(RunLoop, BranchIntoAnotherCodeRangeContinues) {
    MachineWithTwoCodeRanges machine(true);
    machine.placeCode(kCodeStart, {0x6000, 0x0FFE});  // BRA.W $2000

    EXPECT_EQ(machine.run(16), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 7u);
    EXPECT_EQ(machine.cpu.pc, 0x2002u);
}

TEST(RunLoop, LeavingEveryCodeRangeEndsTheRun) {
    struct Case {
        const char* how;
        uint32_t start;
        std::vector<uint16_t> code;
        uint32_t expectedPc;
    };
    const Case cases[] = {
        {"running off the end", 0x1FFC, {0x4E71, 0x4E71}, 0x2000},
        {"BRA.W $3000", kCodeStart, {0x6000, 0x1FFE}, 0x3000},
        {"JMP $30000", kCodeStart, {0x4EF9, 0x0003, 0x0000}, 0x30000},
        {"JMP $AB030000", kCodeStart, {0x4EF9, 0xAB03, 0x0000}, 0xAB030000},
        {"TRAP #2 to $500000", kCodeStart, {0x4E42}, 0x500000},
    };
    for (const Case& exit : cases) {
        SCOPED_TRACE(exit.how);
        MachineWithTwoCodeRanges machine(false);
        machine.setVector(34, 0x500000);
        machine.startAt(exit.start, kSrSupervisorMask7);
        machine.placeCode(exit.start, exit.code);

        EXPECT_EQ(machine.run(400), kCpuLeftFetchRegions);
        EXPECT_EQ(machine.cpu.pc, exit.expectedPc);
        EXPECT_EQ(machine.cpu.d[0], 0u);
        EXPECT_LT(machine.lastRunCycles, 400) << "the rest of the slice is dropped";

        // Nothing sticks: a PC put back into the code runs again.
        machine.placeCode(kCodeStart, {0x7005});  // MOVEQ #5,D0
        machine.cpu.pc = kCodeStart;
        EXPECT_EQ(machine.run(4), kCpuRunEnded);
        EXPECT_EQ(machine.cpu.d[0], 5u);
    }
}

// ---- Processor reset -------------------------------------------------------------------------

TEST(ProcessorReset, LoadsStackAndPcFromAddressZeroAndClearsTheRest) {
    MappedMachine machine;
    machine.startAt(0x1234, kSrUser | 0x1F);
    for (uint32_t index = 0; index < 8; ++index) {
        machine.cpu.d[index] = 0x100 + index;
        machine.cpu.a[index] = 0x200 + index;
    }
    machine.cpu.cycleCounter = 777;
    CpuPostInterrupt(machine.cpu, 3, -1);
    machine.placeCode(kCodeStart, {0x7001});  // MOVEQ #1,D0
    // The program before the reset had prefetched a word of its own.
    machine.cpu.prefetchWord = 0x7002;  // MOVEQ #2,D0
    machine.cpu.prefetchValid = true;

    EXPECT_EQ(CpuReset(machine.cpu), 0);
    EXPECT_EQ(machine.cpu.pc, kCodeStart);
    EXPECT_EQ(machine.cpu.a[7], kSupervisorStack);
    EXPECT_EQ(machine.cpu.sr, 0x2700);
    EXPECT_EQ(machine.cpu.otherStackPointer, 0u);
    for (uint32_t index = 0; index < 8; ++index) EXPECT_EQ(machine.cpu.d[index], 0u);
    for (uint32_t index = 0; index < 7; ++index) EXPECT_EQ(machine.cpu.a[index], 0u);
    EXPECT_EQ(machine.cpu.interruptState, 0) << "pending interrupts are dropped";
    EXPECT_EQ(machine.cpu.cycleCounter, 777);
    EXPECT_EQ(machine.cpu.currentLists.writeWord, machine.cpu.supervisorLists.writeWord);

    EXPECT_EQ(machine.run(4), kCpuRunEnded);
    EXPECT_EQ(machine.cpu.d[0], 1u);
}

TEST(ProcessorReset, OddInitialPcHalts) {
    MappedMachine machine;
    machine.setLong(4, 0x1001);

    EXPECT_EQ(CpuReset(machine.cpu), -1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(machine.run(100), kCpuHalted);
        EXPECT_EQ(machine.lastRunCycles, 0);
    }
}

TEST(ProcessorReset, NoCodeAtAddressZeroHalts) {
    MappedMachine machine;
    machine.supervisor.fetch = {CodeRange(kCodeStart, kRamSize - 1, machine.ram() + kCodeStart)};
    machine.installLists();

    EXPECT_EQ(CpuReset(machine.cpu), 1);
    EXPECT_EQ(machine.run(100), kCpuHalted);
}

TEST(ProcessorReset, IsRefusedWithoutListsAndDuringARun) {
    CpuState bare;
    EXPECT_EQ(CpuReset(bare), 1);

    MachineWithDevice machine;
    machine.cpu.d[3] = 0x33;
    machine.placeCode(kCodeStart, {0x33C0, 0x00FF, 0x8000, 0x7001});  // MOVE.W D0,$FF8000; MOVEQ
    int resetResult = 0;
    machine.device.duringAccess = [&](CpuState& cpu, const DeviceAccess&) {
        resetResult = CpuReset(cpu);
    };

    EXPECT_EQ(machine.run(20), kCpuRunEnded);
    EXPECT_EQ(resetResult, 1);
    EXPECT_EQ(machine.cpu.d[0], 1u);
    EXPECT_EQ(machine.cpu.d[3], 0x33u);
    EXPECT_EQ(machine.cpu.pc, kCodeStart + 8);
}

}  // namespace
}  // namespace orvet::test
