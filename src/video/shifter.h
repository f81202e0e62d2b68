// The video shifter's registers (page 0xFF8200). Nothing is drawn while the processor runs:
// every write that changes the picture goes into the frame's hardware-write log with its cycle,
// and the renderer replays the log over a copy of screen memory taken at the frame's start.
// Border tricks are recognised here, from the exact line position of the sync and resolution
// writes, and logged as events of their own.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {

// Kinds of log entries. The 16 colour registers are kinds 0x00-0x1E (register = kind / 2).
enum LogKind : uint32_t {
    kLogPalette = 0x00,
    kLogDisplayPointer = 0x20,
    kLogResolution = 0x22,
    kLogRightBorderOpen = 0x24,
    kLogLeftBorderOpen = 0x26,
    kLogLineStop = 0x28,
    kLogLineShort = 0x2A,
};

constexpr uint32_t kLogEndMark = 0x7FFFFFFF;  // no frame lasts that many cycles
constexpr size_t kHardwareWriteLogBytes = 961540;
constexpr size_t kScreenSnapshotBytes = 65536;

constexpr uint32_t kShifterBlockFirst = 0xFF8200;
constexpr uint32_t kShifterBlockLast = 0xFF827F;

// Entries back to back in time order, three 32-bit words each: the cycles since the previous
// entry, the kind, the value. Writes to screen memory are not logged: the picture shows screen
// memory as it stood at the frame's start, and writes to the reset vectors at address 0, which
// the machine maps to ROM, end in a bus error.
struct HardwareWriteLog {
    std::vector<uint32_t> words = std::vector<uint32_t>(kHardwareWriteLogBytes / 4);
    size_t writePosition = 0;    // in words
    int32_t lastLoggedTime = 0;  // the cycle of the most recent entry; 0 at the frame start
    uint32_t droppedEntries = 0;
    // Only for the debugger's frame view, which runs its frame one instruction at a time: for
    // each entry, the address of the instruction that made it. A machine running normally does
    // no more than test the flag.
    bool recordWriters = false;
    bool recordedFromStart = false;  // the frame's entries all have their writer
    uint32_t currentWriter = 0;      // the instruction running
    std::vector<uint32_t> writers;
};

// The last whole frame's log and writers, kept at each frame start while writers are recorded.
struct RecordedFrame {
    std::vector<uint32_t> words;    // entries as in the log, closed by the end mark
    std::vector<uint32_t> writers;  // one per entry
    bool complete = false;          // recorded from the frame's start
};

struct Shifter {
    // The page as the registers hold it, in the machine's byte order: the byte at an even
    // address is the high byte of its word.
    std::array<uint8_t, 256> registerFile{};
    uint32_t videoBase = 0;         // display start as programmed; takes effect at the next frame
    uint32_t frameDisplayBase = 0;  // the display start in force for this frame
    bool topBorderOpen = false;
    bool bottomBorderOpen = false;
    // The display lines of the frame are in progress: from line 64, or from an opened top
    // border. Line tricks count only then, and MFP Timer B counts these lines in event mode.
    bool displayEnable = false;
    HardwareWriteLog log;
    RecordedFrame lastFrame;
    std::vector<uint8_t> snapshot = std::vector<uint8_t>(kScreenSnapshotBytes);  // stored layout

    Shifter();
};

// Register access from the I/O page.
uint8_t ShifterReadByte(Shifter& shifter, CpuState& cpu, uint32_t address, int32_t cycleTime);
uint16_t ShifterReadWord(Shifter& shifter, CpuState& cpu, uint32_t address, int32_t cycleTime);
void ShifterWriteByte(Shifter& shifter, CpuState& cpu, uint32_t address, uint8_t value,
                      int32_t cycleTime);
void ShifterWriteWord(Shifter& shifter, CpuState& cpu, uint32_t address, uint16_t value,
                      int32_t cycleTime);

// The display address the shifter reads at `cycleTime` of the frame.
uint32_t ShifterVideoCounter(const Shifter& shifter, int32_t cycleTime);

uint8_t ShifterResolution(const Shifter& shifter);
uint16_t ShifterColour(const Shifter& shifter, int index);

// Appends one entry; a full log drops it (and counts it) rather than run past its end.
void LogAppend(HardwareWriteLog& log, uint32_t kind, uint32_t value, int32_t cycleTime);
// Marks the end of the frame's entries for the renderer.
void LogClose(HardwareWriteLog& log);

// The frame's start: the programmed base takes effect, the border flags and the log restart.
// With `memory`, the frame's copy of screen memory is taken (start-up has none to take).
void ShifterStartFrame(Shifter& shifter, const MachineMemory* memory);

// The I/O reset: base, resolution and sync mode to 0.
void ShifterIoReset(Shifter& shifter);

}  // namespace orvet
