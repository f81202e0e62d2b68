// The 68000 processor core: its state record, the region lists it reaches memory and devices
// through, and the operations the rest of the machine calls.
//
// The core runs in slices: the frame loop asks it for a number of cycles, it runs whole
// instructions until they are used up and returns. Every bus access goes through the region
// lists, so a device handler sees the exact cycle of the access.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvet {

struct CpuState;
struct MemoryRegion;

// A device handler answers one byte or word access. Long accesses reach a device as two word
// calls, the second stamped 4 cycles after the first, as the 68000's bus splits them.
using ReadHandler = uint32_t (*)(CpuState& cpu, uint32_t address, const MemoryRegion& region,
                                 int32_t cycleTime);
using WriteHandler = void (*)(CpuState& cpu, uint32_t address, uint32_t value,
                              const MemoryRegion& region, int32_t cycleTime);

constexpr uint32_t kEndOfList = 0xFFFFFFFF;

// One entry of a data-access list. Direct entries (no handler for the list's direction) map onto
// host memory; the 68000 word at an even address A is the host 16-bit value at
// hostBase + (A - low), and the byte at A is the host byte at that offset with bit 0 inverted.
// Ranges cover whole words: `low` is even and `high` odd.
struct MemoryRegion {
    uint32_t low = kEndOfList;     // kEndOfList marks the end of a list
    uint32_t high = 0;             // inclusive
    ReadHandler read = nullptr;    // used when the entry sits in a read list
    WriteHandler write = nullptr;  // used when the entry sits in a write list
    uint8_t* hostBase = nullptr;
    void* context = nullptr;  // the device the handler serves
};

// One entry of the fetch list. Code runs only from host memory: the host address of 68000
// address A is A + displacement.
//
// Host memory behind a fetch region must stay readable for kFetchGuardBytes past the region's
// last byte: an instruction that starts in the last word reads its extension words from there
// before the core notices that the program counter has left the region.
struct FetchRegion {
    uint32_t low = kEndOfList;
    uint32_t high = 0;
    intptr_t displacement = 0;
};
constexpr size_t kFetchGuardBytes = 16;

// Builds the displacement that maps 68000 address `low` onto host memory at `host`.
inline intptr_t FetchDisplacement(const uint8_t* host, uint32_t low) {
    return reinterpret_cast<intptr_t>(host) - static_cast<intptr_t>(low);
}

// The five lists the processor searches; long accesses use the word lists.
struct ListSet {
    const FetchRegion* fetch = nullptr;
    const MemoryRegion* readByte = nullptr;
    const MemoryRegion* readWord = nullptr;
    const MemoryRegion* writeByte = nullptr;
    const MemoryRegion* writeWord = nullptr;
};

// Results of CpuExecute.
constexpr uint32_t kCpuRunEnded = 0x80000000;          // the slice ran normally
constexpr uint32_t kCpuLeftFetchRegions = 0x80000001;  // the PC left every fetch region
constexpr uint32_t kCpuHalted = 0xFFFFFFFF;            // double fault or failed reset
// Any other result is the 24-bit address of a RESET instruction met with no reset hook.

// runFlags bits.
constexpr uint8_t kRunInProgress = 1;
constexpr uint8_t kRunLeftFetchRegions = 2;
constexpr uint8_t kRunStackingGroup0 = 4;

constexpr uint16_t kSrTrace = 0x8000;
constexpr uint16_t kSrSupervisor = 0x2000;
constexpr uint16_t kSrUpperMask = 0xA7;  // bits 14, 12 and 11 do not exist on the 68000

struct CpuState {
    // ---- The record: read and written by the machine and the debugger between runs ----
    ListSet currentLists;
    ListSet supervisorLists;
    ListSet userLists;
    // Called by RESET: resets the devices, not the processor. Without one, RESET ends the run.
    void (*resetHook)(CpuState& cpu, void* context) = nullptr;
    void* resetHookContext = nullptr;
    uint32_t d[8] = {};
    uint32_t a[8] = {};              // a[7] is always the active stack pointer
    uint32_t otherStackPointer = 0;  // USP in supervisor mode, SSP in user mode
    uint32_t pc = 0;                 // valid between runs
    int32_t cycleCounter = 0;    // rebased by the frame loop every frame; wraps if never rebased
    uint8_t interruptState = 0;  // bit 0 stopped, bit n level n pending
    uint8_t interruptVector[8] = {};  // indexed by level 1..7
    uint16_t sr = 0x2700;             // valid between runs

    // ---- Working state of a run in progress ----
    int32_t budget = 0;  // cycles left in the slice; the run stops when it is not positive
    int32_t cyclesRequested = 0;
    int32_t cyclesDeferred = 0;
    const uint8_t* livePc = nullptr;  // host address of the next instruction word
    intptr_t fetchDisplacement = 0;
    const uint8_t* fetchHostLow = nullptr;  // host address of the fetch region's first byte
    uint32_t fetchHostSpan = 0;             // its size less one
    uint32_t fetchLow = 1;  // bounds of the current fetch region, top byte of the PC included
    uint32_t fetchHigh = 0;
    // Condition codes, one byte each while a run is in progress; packed into sr between runs.
    uint8_t flagX = 0, flagN = 0, flagZ = 0, flagV = 0, flagC = 0;
    uint8_t runFlags = 0;
    bool tracePending = false;
    bool busErrorRequest = false;
    bool prefetchValid = false;
    uint16_t prefetchWord = 0;
    uint32_t prefetchAddress = 0;  // the pc the prefetched word was read at
    uint32_t lastAccessAddress = 0;
    // The 68000 time of the last instruction whose time is not a multiple of 4, and the count
    // of that instruction: a taken short branch right after it shares the rounding.
    int32_t lastInstructionCycles = 0;
    uint32_t lastTimedInstruction = 0;
    uint32_t instructionCount = 0;  // instructions executed, wrapping
    uint8_t peripheralAccessed = 0;
    uint32_t runResult = kCpuRunEnded;
};

// Fills the opcode dispatch table; the table is shared by every processor and built once.
void CpuBuildDispatch();

// Processor reset: 0 on success, -1 when the initial PC is odd (halted), 1 when refused or when no
// fetch region covers address 0 (halted).
int CpuReset(CpuState& cpu);

// Runs one slice of `cycles` cycles; see the kCpu* results above.
uint32_t CpuExecute(CpuState& cpu, int32_t cycles);

// Latches an interrupt of `level` (1..7) with `vector` (0..255, -1 autovector, -2 spurious):
// 0 latched, 1 already pending, 2 out of range.
int CpuPostInterrupt(CpuState& cpu, int level, int vector);

// Between runs: accepts the highest pending interrupt above the mask, if any.
void CpuServiceInterrupts(CpuState& cpu);

// From inside a device handler.
void CpuEndSlice(CpuState& cpu);
void CpuSignalBusError(CpuState& cpu);
void CpuAddWaitStates(CpuState& cpu, int32_t cycles);
int32_t CpuCycleTime(const CpuState& cpu);

// Debugger access through the supervisor lists: no cycles, no exceptions.
uint16_t CpuPeekWord(CpuState& cpu, uint32_t address);
void CpuPokeByte(CpuState& cpu, uint32_t address, uint8_t value);

// The status register with the condition codes of a run in progress folded in.
uint16_t CpuStatusRegister(const CpuState& cpu);

}  // namespace orvet
