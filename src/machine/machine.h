// One emulated ST: the processor, the memory map, the I/O page and its chips, and the frame
// scheduler that grants the processor the time up to the next device event.
#pragma once

#include <cstdint>
#include <string>

#include "cpu/cpu.h"
#include "machine/ikbd.h"
#include "machine/io.h"
#include "machine/memory.h"
#include "machine/mfp.h"

namespace orvet {

constexpr int32_t kFrameCycles = 160256;  // 313 lines of 512 cycles, the 50 Hz colour timing
constexpr int32_t kLineCycles = 512;
constexpr int32_t kKeyboardLinkCycles = 10016;
constexpr int32_t kVblTime = 80;
constexpr int32_t kFirstHblTime = 16;
constexpr int32_t kFirstLineTime = 432;
constexpr int32_t kFirstDisplayLine = 64;
constexpr int32_t kLastDisplayLine = 263;

// What fired last, or what ends the slice just granted; the debugger can stop on a kind.
enum class EventKind : uint8_t {
    Vbl = 0,
    Hbl = 1,
    TimerA = 2,
    LineOrTimerB = 3,
    TimerC = 4,
    TimerD = 5,
    KeyboardLink = 6,
    Floppy = 7,
    FrameEnd = 8,
};

struct FrameState {
    int32_t vblTime = kVblTime;
    int32_t hblTime = kFirstHblTime;
    int32_t nextLineTime = kFirstLineTime;
    int32_t lineNumber = 0;
    int32_t frameNumber = 330;  // keeps frameNumber - lineNumber positive for the jitter table
    bool displayEnable = false;
    EventKind eventKind = EventKind::FrameEnd;
};

struct Machine {
    MachineMemory memory;
    IoSpace io;
    CpuState cpu;
    Mfp mfp;
    Ikbd ikbd;
    HostInput host;
    FrameState frame;
    bool steMode = false;
    uint64_t framesRun = 0;

    Machine() = default;
    // The processor and the I/O layer hold pointers into the machine.
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
};

// Allocates the memory block, builds the map, installs the devices and the processor's lists.
// False when the host has no memory for the block.
bool CreateMachine(Machine& machine, unsigned ramSizeIndex = 1);

// The devices' reset, run by the 68000 RESET instruction and by the machine reset.
void IoReset(Machine& machine);

// Cold reset (clearRam) clears RAM above the reset vectors; warm reset keeps it.
void ResetMachine(Machine& machine, bool clearRam);

// One scheduler step: -1 when the frame has ended, 0 when it posted an interrupt and must be
// called again, else the cycles (a multiple of 4) the processor may run before the next event.
int32_t FrameStep(Machine& machine);

// Runs the machine to the end of the frame: FrameStep and CpuExecute in turn. A processor fault
// (the PC left every fetch region, a halt, a RESET with nothing to reset) is a crash of the
// emulated machine: it is cold-reset and the pass ends early, so a machine that crashes at once
// cannot hold its host in a loop. True when the frame was completed.
bool RunFrame(Machine& machine);

}  // namespace orvet
