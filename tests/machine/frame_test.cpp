// The frame scheduler: when the VBL, the HBLs, the scan lines and the timers fire, and what the
// processor sees of them through a running program.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "machine/machine.h"

namespace orvet {
namespace {

constexpr uint32_t kCode = 0x1000;
constexpr uint32_t kStack = 0x8000;

struct RunningMachine {
    Machine machine;

    explicit RunningMachine(uint16_t sr) {
        EXPECT_TRUE(CreateMachine(machine));
        machine.cpu.pc = kCode;
        machine.cpu.sr = sr;
        machine.cpu.a[7] = kStack;
        place(kCode, {0x60FE});  // BRA.S * : idle with interrupts as the mask allows
    }
    void setWord(uint32_t address, uint16_t value) {
        std::memcpy(machine.memory.ramBase + address, &value, 2);
    }
    void setLong(uint32_t address, uint32_t value) {
        setWord(address, static_cast<uint16_t>(value >> 16));
        setWord(address + 2, static_cast<uint16_t>(value));
    }
    void place(uint32_t address, std::initializer_list<uint16_t> words) {
        for (uint16_t word : words) setWord(address, word), address += 2;
    }
    // Vector `vector` leads to a handler that counts in data register `reg` and returns.
    void countIn(int vector, int reg, std::initializer_list<uint16_t> beforeReturn = {}) {
        uint32_t handler = 0x2000 + 0x40 * vector;
        setLong(vector * 4, handler);
        place(handler, {static_cast<uint16_t>(0x5280 | reg)});  // ADDQ.L #1,Dreg
        uint32_t at = handler + 2;
        for (uint16_t word : beforeReturn) setWord(at, word), at += 2;
        setWord(at, 0x4E73);  // RTE
    }
};

TEST(FrameStep, GrantsTheTimeToTheNearestEvent) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    // HBL at 16, VBL at 80, the first scan line at 432 (+ jitter).
    EXPECT_EQ(FrameStep(machine), 16);
    EXPECT_EQ(machine.frame.eventKind, EventKind::Hbl);
    machine.cpu.cycleCounter = 16;
    EXPECT_EQ(FrameStep(machine), 0) << "the HBL is posted";
    EXPECT_EQ(machine.cpu.interruptState, 1 << 2);
    EXPECT_EQ(FrameStep(machine), 80 - 16);
    machine.cpu.cycleCounter = 80;
    EXPECT_EQ(FrameStep(machine), 0) << "the VBL is posted at cycle 80";
    EXPECT_EQ(machine.cpu.interruptState, (1 << 2) | (1 << 4));
    EXPECT_EQ(FrameStep(machine), 432 - 80) << "the first scan line; the HBL is not posted again";
    EXPECT_EQ(machine.frame.eventKind, EventKind::LineOrTimerB);
}

TEST(FrameStep, VblOncePerFrameAndHblsOnEveryLineWhenTheMaskAllows) {
    RunningMachine running(0x2100);
    running.countIn(28, 6);  // level 4 autovector: VBL
    running.countIn(26, 5);  // level 2 autovector: HBL
    for (int frame = 0; frame < 10; ++frame) ASSERT_TRUE(RunFrame(running.machine));
    EXPECT_EQ(running.machine.cpu.d[6], 10u);
    EXPECT_EQ(running.machine.cpu.d[5], 3130u) << "313 HBLs a frame";
    EXPECT_LT(running.machine.cpu.cycleCounter, 600) << "the clock is rebased every frame";
}

TEST(FrameStep, MaskedHblsCostNothing) {
    RunningMachine running(0x2300);
    running.countIn(28, 6);
    running.countIn(26, 5);
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(RunFrame(running.machine));
    EXPECT_EQ(running.machine.cpu.d[6], 3u);
    EXPECT_EQ(running.machine.cpu.d[5], 0u);
}

TEST(FrameStep, TimerCInterruptsTwoHundredTimesASecond) {
    RunningMachine running(0x2700);
    // Vector base $40 with software end of interrupt: Timer C is vector $45.
    running.countIn(0x45, 4, {0x13FC, 0x00DF, 0x00FF, 0xFA11});  // MOVE.B #$DF,$FFFA11 (ISRB)
    running.place(kCode,
                  {0x13FC, 0x0048, 0x00FF, 0xFA17,  // MOVE.B #$48,$FFFA17   VR
                   0x13FC, 0x00C0, 0x00FF, 0xFA23,  // MOVE.B #192,$FFFA23   TCDR
                   0x13FC, 0x0050, 0x00FF, 0xFA1D,  // MOVE.B #$50,$FFFA1D   TCDCR: divide by 64
                   0x08F9, 0x0005, 0x00FF, 0xFA09,  // BSET #5,$FFFA09       IERB
                   0x08F9, 0x0005, 0x00FF, 0xFA15,  // BSET #5,$FFFA15       IMRB
                   0x46FC, 0x2500,                  // MOVE.W #$2500,SR
                   0x60FE});                        // BRA.S *
    for (int frame = 0; frame < 50; ++frame) ASSERT_TRUE(RunFrame(running.machine));
    // 50 frames are 8,012,800 cycles; one period is 192 x 64 MFP clocks, 40,106 cycles.
    EXPECT_NEAR(running.machine.cpu.d[4], 8012800 / 40106, 1);
}

TEST(FrameStep, ACrashColdResetsTheMachine) {
    RunningMachine running(0x2700);
    running.place(kCode, {0x4EF9, 0x0030, 0x0000});  // JMP $300000: beyond 2 MB of RAM
    running.setLong(0, kStack);
    running.setLong(4, kCode + 0x100);
    running.setWord(0x5000, 0x1234);
    EXPECT_FALSE(RunFrame(running.machine));
    EXPECT_EQ(running.machine.cpu.pc, kCode + 0x100) << "restarted from the reset vector";
    uint16_t word;
    std::memcpy(&word, running.machine.memory.ramBase + 0x5000, 2);
    EXPECT_EQ(word, 0) << "cold: RAM cleared";
}

}  // namespace
}  // namespace orvet

namespace orvet {
namespace {

struct RecordingHost : DriverHost {
    std::vector<std::string> calls;
    void startSound() override { calls.push_back("startSound"); }
    void stopSound() override { calls.push_back("stopSound"); }
    void captureMouse() override { calls.push_back("captureMouse"); }
    void releaseMouse() override { calls.push_back("releaseMouse"); }
    void clearDisplay() override { calls.push_back("clearDisplay"); }
    void showFrontEnd() override { calls.push_back("showFrontEnd"); }
};

TEST(FrameEnd, EachFrameIsPresentedAndSounded) {
    struct CountingOutput : FrameOutput {
        int frames = 0, samples = 0, playedSinceLast = 881;
        void presentFrame(Machine& machine) override {
            EXPECT_GE(machine.cpu.cycleCounter, kFrameCycles) << "before the rebase";
            ++frames;
        }
        int samplesForFrame(Machine&) override { return playedSinceLast; }
        void playSamples(Machine&, const int16_t*, int count) override { samples += count; }
    };
    RunningMachine running(0x2700);
    CountingOutput output;
    running.machine.frameOutput = &output;
    for (int frame = 0; frame < 3; ++frame) RunFrame(running.machine);
    EXPECT_EQ(output.frames, 3);
    EXPECT_EQ(output.samples, 3 * 881);
    output.playedSinceLast = 5000;  // a stalled device: no sound this frame
    RunFrame(running.machine);
    EXPECT_EQ(output.samples, 3 * 881);
    EXPECT_EQ(running.machine.lastSampleCount, 5000);
}

TEST(RunStates, F11ResetsOnceAndRestartsOnReleaseF12Stops) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    RecordingHost host;
    machine.driverHost = &host;
    running.setLong(0, kStack);
    running.setLong(4, kCode);
    running.setWord(0x5000, 0xABCD);

    SetRunState(machine, RunState::Running);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"startSound", "captureMouse"}));
    MainLoopPass(machine);
    EXPECT_EQ(machine.framesRun, 1u);

    // F11 without Shift: a warm reset that keeps RAM, then nothing runs until F11 is let go.
    machine.host.keyState[vk::kF11] = 0x80;
    MainLoopPass(machine);  // the keyboard processor's scan sees the key during this frame
    MainLoopPass(machine);
    EXPECT_EQ(machine.runState, RunState::ResetKeyHeld);
    uint64_t frames = machine.framesRun;
    MainLoopPass(machine);
    EXPECT_EQ(machine.framesRun, frames) << "held: the machine waits";
    uint16_t word;
    std::memcpy(&word, machine.memory.ramBase + 0x5000, 2);
    EXPECT_EQ(word, 0xABCD) << "a warm reset keeps RAM";
    machine.host.keyState[vk::kF11] = 0;
    MainLoopPass(machine);
    EXPECT_EQ(machine.runState, RunState::Running);

    // With Shift the reset is cold.
    machine.host.keyState[vk::kLeftShift] = machine.host.keyState[vk::kF11] = 0x80;
    MainLoopPass(machine);
    MainLoopPass(machine);
    std::memcpy(&word, machine.memory.ramBase + 0x5000, 2);
    EXPECT_EQ(word, 0) << "Shift+F11 clears RAM";
    machine.host.keyState = {};
    MainLoopPass(machine);

    host.calls.clear();
    machine.host.keyState[vk::kF12] = 0x80;
    MainLoopPass(machine);
    MainLoopPass(machine);
    EXPECT_EQ(machine.runState, RunState::Stopped);
    ASSERT_GE(host.calls.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(host.calls.end() - 2, host.calls.end()),
              (std::vector<std::string>{"stopSound", "releaseMouse"}));
    MainLoopPass(machine);
    EXPECT_EQ(host.calls.back(), "showFrontEnd");
}

}  // namespace
}  // namespace orvet

namespace orvet {
namespace {

TEST(FrameStep, PostsOneInterruptPerCallInItsOrder) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    // Both the HBL (16) and the VBL (80) are due: the VBL comes first, one post per call.
    machine.cpu.cycleCounter = 100;
    EXPECT_EQ(FrameStep(machine), 0);
    EXPECT_EQ(machine.frame.eventKind, EventKind::Vbl);
    EXPECT_EQ(machine.cpu.interruptState, 1 << 4);
    EXPECT_EQ(FrameStep(machine), 0);
    EXPECT_EQ(machine.frame.eventKind, EventKind::Hbl);
    EXPECT_EQ(machine.cpu.interruptState, (1 << 4) | (1 << 2));
    EXPECT_EQ(FrameStep(machine), 432 - 100);
}

TEST(StartUp, LoadsTheImagesResetsAndStops) {
    Machine machine;
    MachineSettings settings;
    std::string error;
    settings.tosPath = "/nonexistent/tos.img";
    EXPECT_FALSE(StartMachine(machine, settings, error));
    EXPECT_NE(error.find("/nonexistent/tos.img"), std::string::npos);

    Machine started;
    settings.tosPath.clear();
    ASSERT_TRUE(StartMachine(started, settings, error)) << error;
    EXPECT_EQ(started.memory.ramSize, 0x200000u);
    EXPECT_EQ(started.runState, RunState::Stopped);
    EXPECT_EQ(CpuPeekWord(started.cpu, 0xFA0000), 0xFFFF);
    // No image named: the built-in ROM, whose first word branches over its header.
    EXPECT_TRUE(started.memory.tosLoaded && CpuPeekWord(started.cpu, 0xFC0000) == 0x602E);
}

}  // namespace
}  // namespace orvet

namespace orvet {
namespace {

TEST(FrameStep, TimerBCountingDisplayLinesFiresOnEachOfThe200) {
    RunningMachine running(0x2700);
    running.countIn(0x48, 3, {0x13FC, 0x00FE, 0x00FF, 0xFA0F});  // MOVE.B #$FE,$FFFA0F (ISRA)
    running.place(kCode,
                  {0x13FC, 0x0048, 0x00FF, 0xFA17,  // MOVE.B #$48,$FFFA17   VR: vectors from $40
                   0x13FC, 0x0001, 0x00FF, 0xFA21,  // MOVE.B #1,$FFFA21     TBDR: every line
                   0x13FC, 0x0008, 0x00FF, 0xFA1B,  // MOVE.B #8,$FFFA1B     TBCR: event count
                   0x08F9, 0x0000, 0x00FF, 0xFA07,  // BSET #0,$FFFA07       IERA
                   0x08F9, 0x0000, 0x00FF, 0xFA13,  // BSET #0,$FFFA13       IMRA
                   0x46FC, 0x2500,                  // MOVE.W #$2500,SR
                   0x60FE});                        // BRA.S *
    ASSERT_TRUE(RunFrame(running.machine));
    running.machine.cpu.d[3] = 0;  // the first frame began counting part-way
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(RunFrame(running.machine));
    EXPECT_EQ(running.machine.cpu.d[3], 600u);
}

TEST(KeyboardLink, BytesReachTheProgramThroughTheAciaAndMfpChannelSix) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    const uint32_t handler = 0x2400, buffer = 0x3000;
    running.setLong(0x46 * 4, handler);
    running.place(handler,
                  {0x1039, 0x00FF, 0xFC02,          // MOVE.B $FFFC02,D0     take the byte
                   0x1AC0,                          // MOVE.B D0,(A5)+
                   0x13FC, 0x00BF, 0x00FF, 0xFA11,  // MOVE.B #$BF,$FFFA11   ISRB: end of interrupt
                   0x4E73});                        // RTE
    running.place(
        kCode,
        {0x4BF9, 0x0000, 0x3000,          // LEA $3000,A5
         0x13FC, 0x0048, 0x00FF, 0xFA17,  // MOVE.B #$48,$FFFA17   VR
         0x08F9, 0x0006, 0x00FF, 0xFA09,  // BSET #6,$FFFA09       IERB: the ACIA
         0x08F9, 0x0006, 0x00FF, 0xFA15,  // BSET #6,$FFFA15       IMRB
         0x13FC, 0x0096, 0x00FF, 0xFC00,  // MOVE.B #$96,$FFFC00   ACIA: receive interrupts on
         0x13FC, 0x0080, 0x00FF, 0xFC02,  // MOVE.B #$80,$FFFC02   keyboard reset ...
         0x13FC, 0x0001, 0x00FF, 0xFC02,  // MOVE.B #$01,$FFFC02
         0x46FC, 0x2500,                  // MOVE.W #$2500,SR
         0x60FE});                        // BRA.S *
    auto received = [&] {
        std::vector<uint8_t> bytes;
        for (uint32_t address = buffer; address < machine.cpu.a[5]; ++address) {
            bytes.push_back(machine.memory.ramBase[address ^ 1]);
        }
        return bytes;
    };
    for (int frame = 0; frame < 5; ++frame) RunFrame(machine);
    EXPECT_EQ(received(), std::vector<uint8_t>{0xF0}) << "the reset is answered";

    machine.host.keyState['A'] = 0x80;
    RunFrame(machine);
    machine.host.keyState['A'] = 0;
    RunFrame(machine);
    EXPECT_EQ(received(), (std::vector<uint8_t>{0xF0, 0x1E, 0x9E})) << "make and break of A";
}

// With receive interrupts off the byte still arrives for a program that polls status bit 0,
// and no channel 6 interrupt comes; enabling them with the byte waiting raises the ACIA line on
// GPIP 4, and the MFP interrupts on its edge.
TEST(KeyboardLink, ReceiveInterruptsFollowTheAciaControlRegister) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    running.countIn(0x46, 3,
                    {0x1039, 0x00FF, 0xFC02,            // MOVE.B $FFFC02,D0     take the byte
                     0x13FC, 0x00BF, 0x00FF, 0xFA11});  // MOVE.B #$BF,$FFFA11   ISRB
    running.place(kCode,
                  {0x13FC, 0x0048, 0x00FF, 0xFA17,  // MOVE.B #$48,$FFFA17   VR
                   0x08F9, 0x0006, 0x00FF, 0xFA09,  // BSET #6,$FFFA09       IERB: the ACIA
                   0x08F9, 0x0006, 0x00FF, 0xFA15,  // BSET #6,$FFFA15       IMRB
                   0x13FC, 0x0016, 0x00FF, 0xFC00,  // MOVE.B #$16,$FFFC00   receive interrupts off
                   0x46FC, 0x2500,                  // MOVE.W #$2500,SR
                   0x0839, 0x0000, 0x00FF, 0xFC00,  // BTST #0,$FFFC00       poll: a byte?
                   0x67F6,                          // BEQ.S poll
                   0x1239, 0x00FF, 0xFC00,          // MOVE.B $FFFC00,D1     the status polled
                   0x13FC, 0x0096, 0x00FF, 0xFC00,  // MOVE.B #$96,$FFFC00   receive interrupts on
                   0x60FE});                        // BRA.S *
    IkbdQueueBytes(machine.ikbd, {0x42});
    for (int frame = 0; frame < 2; ++frame) ASSERT_TRUE(RunFrame(machine));
    EXPECT_EQ(machine.cpu.d[1] & 0xFF, 0x03u) << "received, no interrupt request";
    EXPECT_EQ(machine.cpu.d[3], 1u) << "one interrupt, once enabled";
    EXPECT_EQ(machine.cpu.d[0] & 0xFF, 0x42u);
}

TEST(RunStates, DebuggerStepsOneInstructionAndStopsAtItsStops) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    RecordingHost host;
    machine.driverHost = &host;
    running.place(kCode, {0x5281, 0x5281, 0x5281, 0x5281, 0x60F6});  // ADDQ.L #1,D1 x4; BRA
    ASSERT_TRUE(machine.debugger.addBreakpoint(kCode + 6));
    EXPECT_FALSE(machine.debugger.addBreakpoint(kCode + 6)) << "set once";

    SetRunState(machine, RunState::DebuggerStep);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"startSound", "captureMouse"}));
    MainLoopPass(machine);
    EXPECT_EQ(machine.cpu.d[1], 1u) << "one instruction per pass";
    EXPECT_EQ(machine.cpu.pc, kCode + 2);
    MainLoopPass(machine);
    MainLoopPass(machine);
    EXPECT_EQ(machine.cpu.pc, kCode + 6);
    EXPECT_EQ(machine.runState, RunState::Stopped) << "the breakpoint";
    EXPECT_EQ(std::vector<std::string>(host.calls.end() - 2, host.calls.end()),
              (std::vector<std::string>{"stopSound", "releaseMouse"}));

    machine.debugger.removeBreakpoint(kCode + 6);
    machine.debugger.runToAddress = kCode + 2;  // past the loop's branch
    SetRunState(machine, RunState::DebuggerStep);
    for (int pass = 0; pass < 10 && machine.runState == RunState::DebuggerStep; ++pass) {
        MainLoopPass(machine);
    }
    EXPECT_EQ(machine.runState, RunState::Stopped);
    EXPECT_EQ(machine.cpu.pc, kCode + 2);
    EXPECT_EQ(machine.cpu.d[1], 5u);
}

TEST(RunStates, DebuggerTakesDueInterruptsAndStopsOnTheChosenKind) {
    RunningMachine running(0x2300);
    Machine& machine = running.machine;
    running.countIn(28, 6);  // VBL handler at 0x2000 + 0x40 * 28
    machine.debugger.breakOnEvent[static_cast<size_t>(EventKind::Vbl)] = true;
    SetRunState(machine, RunState::DebuggerStep);
    int passes = 0;
    while (machine.runState == RunState::DebuggerStep && passes < 100) {
        MainLoopPass(machine);
        ++passes;
    }
    EXPECT_EQ(machine.runState, RunState::Stopped);
    EXPECT_EQ(machine.cpu.pc, 0x2000u + 0x40 * 28) << "stopped at the handler's first instruction";
    EXPECT_EQ(machine.cpu.sr & 0x0700, 0x0400);
    EXPECT_GE(machine.cpu.cycleCounter, kVblTime);

    // Stepping on runs the handler.
    machine.debugger.breakOnEvent = {};
    SetRunState(machine, RunState::DebuggerStep);
    MainLoopPass(machine);
    EXPECT_EQ(machine.cpu.d[6], 1u);
}

TEST(RunStates, ShutdownLeavesTheRunningStateAndFreesTheMachine) {
    RunningMachine running(0x2700);
    Machine& machine = running.machine;
    RecordingHost host;
    machine.driverHost = &host;
    SetRunState(machine, RunState::Running);
    MainLoopPass(machine);
    ShutdownMachine(machine);
    EXPECT_EQ(machine.runState, RunState::Shutdown);
    EXPECT_EQ(std::vector<std::string>(host.calls.end() - 2, host.calls.end()),
              (std::vector<std::string>{"stopSound", "releaseMouse"}));
    EXPECT_EQ(machine.memory.block, nullptr);
    uint64_t frames = machine.framesRun;
    MainLoopPass(machine);
    EXPECT_EQ(machine.framesRun, frames);
}

}  // namespace
}  // namespace orvet
