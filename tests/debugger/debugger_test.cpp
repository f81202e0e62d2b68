// The debugger window's model on the built-in ROM, without a window: stepping, skipping,
// breakpoints, running to the next instruction over a loop, breaking on an interrupt, and
// editing memory nibble by nibble.
#include "debugger/debugger.h"

#include <gtest/gtest.h>

#include <memory>

#include "debugger/frame_view.h"
#include "machine/builtin_rom.h"
#include "machine/machine.h"

namespace orvet {
namespace {

struct DebuggedMachine {
    std::unique_ptr<Machine> owner = std::make_unique<Machine>();
    Machine& machine = *owner;
    DebuggerWindow window;

    DebuggedMachine() {
        EXPECT_TRUE(CreateMachine(machine));
        EXPECT_TRUE(LoadBuiltinRom(machine.memory));
        ResetMachine(machine, true);
        SetRunState(machine, RunState::Stopped);
        OpenDebugger(window, machine);
    }
    DebuggerRequest key(DebuggerKey key, bool control = false, int digit = 0) {
        return DebuggerKeyDown(window, machine, key, control, digit);
    }
    std::string instructionAtPc() {
        Disassembler dis = MachineDisassembler(machine.cpu);
        SetDisassemblyAddress(dis, machine.cpu.pc);
        return DisassembleOne(dis);
    }
    uint32_t nextAddress() {
        Disassembler dis = MachineDisassembler(machine.cpu);
        return DisassembleAt(dis, machine.cpu.pc);
    }
    // Steps with F6 until the instruction at the PC starts with `mnemonic`.
    void stepTo(const std::string& mnemonic) {
        for (int step = 0; step < 2000 && instructionAtPc().rfind(mnemonic, 0) != 0; ++step) {
            key(DebuggerKey::F6);
        }
        ASSERT_EQ(instructionAtPc().rfind(mnemonic, 0), 0u) << instructionAtPc();
    }
    // A debugger run, as the main loop makes it, until it stops.
    void runUntilStopped() {
        for (int pass = 0; pass < 5000000 && machine.runState == RunState::DebuggerStep; ++pass) {
            MainLoopPass(machine);
        }
        ASSERT_EQ(machine.runState, RunState::Stopped);
    }
};

TEST(Debugger, StepsSkipsAndRunsToTheNextInstruction) {
    DebuggedMachine debugged;
    Machine& machine = debugged.machine;
    const std::vector<DisassemblyLine> pane = DisassemblyPane(debugged.window, machine);
    ASSERT_EQ(pane.size(), 16u);
    EXPECT_TRUE(pane[0].atPc);
    EXPECT_EQ(pane[0].text.substr(0, 8), "FC0030  ") << "the reset handler follows the header";

    // F6 runs one instruction; F8 passes over one without running it.
    uint32_t next = debugged.nextAddress();
    debugged.key(DebuggerKey::F6);
    EXPECT_EQ(machine.cpu.pc, next);
    debugged.stepTo("moveq");  // moveq #0,d7
    machine.cpu.d[7] = 0x1234;
    next = debugged.nextAddress();
    debugged.key(DebuggerKey::F8);
    EXPECT_EQ(machine.cpu.pc, next);
    EXPECT_EQ(machine.cpu.d[7], 0x1234u) << "a skipped instruction does not run";

    // F7 on a DBRA loop runs the whole loop and stops after it.
    debugged.stepTo("dbra");
    const uint32_t after = debugged.nextAddress();
    EXPECT_EQ(debugged.key(DebuggerKey::F7), DebuggerRequest::Run);
    debugged.runUntilStopped();
    EXPECT_EQ(machine.cpu.pc, after);
    EXPECT_EQ(machine.cpu.d[1] & 0xFFFF, 0xFFFFu) << "the loop counter ran out";
}

TEST(Debugger, BreakpointsAndInterruptsStopADebuggerRun) {
    DebuggedMachine debugged;
    Machine& machine = debugged.machine;
    // A breakpoint toggled twice is gone; once, it stops the run there.
    ClickDisassembly(debugged.window, machine, 5, true);
    ClickDisassembly(debugged.window, machine, 5, true);
    EXPECT_TRUE(machine.debugger.breakpoints.empty());
    ClickDisassembly(debugged.window, machine, 5, true);
    const uint32_t breakpoint = DisassemblyPane(debugged.window, machine)[5].address;
    EXPECT_TRUE(DisassemblyPane(debugged.window, machine)[5].breakpoint);
    debugged.key(DebuggerKey::F5);
    debugged.runUntilStopped();
    EXPECT_EQ(machine.cpu.pc, breakpoint);
    ClickDisassembly(debugged.window, machine, 0, true);  // the line the PC is on now
    KeepPcInView(debugged.window, machine);

    // With Timer C chosen, the run stops as the system's 200 Hz interrupt is taken, on the
    // first instruction of its handler.
    machine.debugger.breakpoints.clear();
    SetBreakOnEvent(machine, static_cast<int>(EventKind::TimerC), true);
    debugged.key(DebuggerKey::F5);
    debugged.runUntilStopped();
    EXPECT_EQ(machine.frame.eventKind, EventKind::TimerC);
    const uint32_t handler = static_cast<uint32_t>(CpuPeekWord(machine.cpu, 0x114)) << 16 |
                             CpuPeekWord(machine.cpu, 0x116);
    EXPECT_EQ(machine.cpu.pc, handler);
}

TEST(Debugger, TheMemoryDumpEditsNibbleByNibble) {
    DebuggedMachine debugged;
    Machine& machine = debugged.machine;
    DebuggerWindow& window = debugged.window;
    debugged.key(DebuggerKey::M);
    ASSERT_EQ(window.prompt, AddressPrompt::Memory);
    window.promptText = "3000";
    AnswerAddressPrompt(window, machine, true);
    EXPECT_EQ(window.memoryTop, 0x3000u);
    debugged.key(DebuggerKey::Tab, true);
    ASSERT_EQ(window.focusedPane, DebuggerPane::Memory);

    // 4 then E: the byte becomes 0x4E and the caret moves on.
    debugged.key(DebuggerKey::HexDigit, false, 4);
    EXPECT_TRUE(window.lowNibblePending);
    debugged.key(DebuggerKey::HexDigit, false, 0xE);
    EXPECT_EQ(PeekByte(machine, 0x3000), 0x4E);
    EXPECT_FALSE(window.lowNibblePending);
    EXPECT_EQ(window.memoryCursor, 0x3001u);
    // Left after half a byte stays on it; the movement keys step through the pane, which
    // follows the caret out of its 128 bytes.
    debugged.key(DebuggerKey::HexDigit, false, 7);
    debugged.key(DebuggerKey::Left);
    EXPECT_EQ(window.memoryCursor, 0x3001u);
    EXPECT_EQ(PeekByte(machine, 0x3001) >> 4, 7);
    for (int i = 0; i < 16; ++i) debugged.key(DebuggerKey::Down);
    EXPECT_EQ(window.memoryCursor, 0x3081u);
    EXPECT_EQ(window.memoryTop, 0x3008u);
    EXPECT_EQ(MemoryPane(window, machine)[0].address, 0x3008u);

    // Text that is no hexadecimal number gives 0; Cancel changes nothing.
    debugged.key(DebuggerKey::G);
    window.promptText = "xyz";
    AnswerAddressPrompt(window, machine, true);
    EXPECT_EQ(window.disassemblyTop, 0u);
    debugged.key(DebuggerKey::G);
    window.promptText = "FC0030";
    AnswerAddressPrompt(window, machine, false);
    EXPECT_EQ(window.disassemblyTop, 0u);

    // An odd address register shows its byte first, then the words after it.
    machine.cpu.a[0] = 0x3001;
    EXPECT_EQ(RegistersPane(machine)[0].items.substr(0, 8), "70 0000 ");
}

}  // namespace
}  // namespace orvet

namespace orvet {
namespace {

// The frame view on the raster-bars program: the frame it runs lists every colour change with
// the instruction that made it (the Timer B handler's move, or the VBL's), at the line it
// happened on, and the machine is left recording nothing.
TEST(FrameView, ListsEachWriteWithItsLineAndItsInstruction) {
    auto owner = std::make_unique<Machine>();
    Machine& machine = *owner;
    ASSERT_TRUE(CreateMachine(machine));
    std::string error;
    ASSERT_TRUE(LoadTosRom(machine.memory,
                           std::string(ORVET_TEST_PROGRAMS_DIR) + "/raster_bars.rom", &error))
        << error;
    ResetMachine(machine, true);
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(RunFrame(machine));
    EXPECT_TRUE(RecordedFrameEvents(machine.shifter).empty()) << "nothing recorded yet";

    ASSERT_TRUE(RunFrameForView(machine));
    EXPECT_FALSE(machine.shifter.log.recordWriters);
    const std::vector<FrameEvent> events = RecordedFrameEvents(machine.shifter);
    ASSERT_GE(events.size(), 200u) << "a colour for each display line";
    Disassembler dis = MachineDisassembler(machine.cpu);
    int32_t lastCycle = -1, shownLines = 0;
    for (const FrameEvent& event : events) {
        EXPECT_EQ(event.kind, 0u) << DescribeFrameEvent(event);
        EXPECT_GE(event.cycle, lastCycle);
        lastCycle = event.cycle;
        SetDisassemblyAddress(dis, event.writer);
        const std::string writer = DisassembleOne(dis);
        EXPECT_EQ(writer.rfind("move.w", 0), 0u) << writer;
        EXPECT_NE(writer.find("$FFFF8240"), std::string::npos) << writer;
        const PicturePoint point = FrameEventPoint(event.cycle);
        if (point.visible) {
            ++shownLines;
            EXPECT_EQ(static_cast<int32_t>(point.y), 2 * (event.cycle / 512 - 13));
        }
    }
    EXPECT_GE(shownLines, 200);
    EXPECT_EQ(DescribeFrameEvent(events.back()).rfind("Colour 0 = $", 0), 0u);
}

}  // namespace
}  // namespace orvet
