// The processor's share of a save state: what it carries from one run to the next. The working
// state of a run (budget, live PC, unpacked flags) is rebuilt when the next run starts, and the
// region lists belong to the machine that loads the state.
#include "cpu/cpu.h"
#include "machine/chip_state.h"
#include "machine/state_stream.h"

namespace orvet {

void SerializeCpu(StateStream& stream, CpuState& cpu) {
    stream.values(cpu.d);
    stream.values(cpu.a);
    stream.value(cpu.otherStackPointer);
    stream.value(cpu.pc);
    stream.value(cpu.sr);
    stream.value(cpu.cycleCounter);
    stream.value(cpu.interruptState);
    stream.values(cpu.interruptVector);
    // The two-word queue: an opcode already fetched runs as fetched, even if memory changed since.
    stream.value(cpu.prefetchValid);
    stream.value(cpu.prefetchWord);
    stream.value(cpu.prefetchAddress);
    stream.value(cpu.lastAccessAddress);
    // A short branch right after an instruction of odd timing shares its rounding, across runs.
    stream.value(cpu.lastInstructionCycles);
    stream.value(cpu.lastTimedInstruction);
    stream.value(cpu.instructionCount);
    stream.value(cpu.peripheralAccessed);
    if (stream.loading()) {
        // Bits 14, 12 and 11 do not exist; a state is taken between runs, never inside one.
        stream.require((cpu.sr & 0x5800) == 0, "a status register with bits the 68000 lacks");
        cpu.runFlags = 0;
        cpu.tracePending = false;
        cpu.busErrorRequest = false;
        cpu.runResult = kCpuRunEnded;
        cpu.budget = cpu.cyclesRequested = cpu.cyclesDeferred = 0;
    }
}

}  // namespace orvet
