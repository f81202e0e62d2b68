// Random 68000 instruction streams, run twice and compared: the property behind the stream test
// and the orvet_cpu_stream_fuzz target.
//
// What is compared. The core keeps one word of state between instructions that the single-step
// vectors never see: the next opcode, prefetched while an instruction writes its result. A stream
// is run (A) the way the frame loop runs code, in as few slices as possible with the prefetch
// carried from slice to slice, and (B) one instruction per 4-cycle slice with prefetchValid
// cleared before each, so every opcode is read from memory, which the vectors vouch for. Both
// must end with the same D0-D7, A0-A7, other stack pointer, SR, PC, pending interrupts and
// stopped bit, instruction count, run result, cycle counter, every RAM byte, and the same device
// accesses with the same values and bus times.
//
// How the two runs stop at the same place. B runs first, one instruction per call, up to the
// stream's instruction limit or an earlier end (a halt, the PC leaving every fetch region, RESET
// with no hook, STOP). A is then given B's cycles up to the start of B's last instruction, plus
// the 4 that B's last slice had: a run ends after the instruction that uses its budget up, so if
// the core is right A ends after the same instruction, and its last instruction meets the same
// budget as B's. A takes a new slice only where a run ends by itself (RTE, CpuEndSlice from a
// device), or with 4 cycles when its time is used up with instructions still to run, as a double
// fault can leave it: the processor halts before the instruction has charged anything. Both runs
// end with a run of no cycles, as the driver's next slice would begin, so that a PC that ran off
// the end of the code is noticed by both.
//
// Fairness. The run loop examines interrupts only at the start of a run, after an instruction
// that rewrites SR, when a device posts one during an access, and when the budget runs out; B's
// budget runs out after every instruction. Interrupts are therefore posted only before the first
// run, or by the device from inside an access, where both runs examine them right after the
// instruction. Trace is sampled before every instruction in both. A STOP that runs ends the
// stream: it counts the rest of its slice as waiting even when a pending interrupt or trace
// takes the processor on at once, so after it a long slice and a short one rightly differ by
// that rest. RESET calls a hook that reaches the device (or, without one, ends both runs alike).
//
// Self-modifying code. The 68000 runs the old opcode when an instruction writes over the one
// that follows it, which only A (with its prefetch) reproduces. B notes the five words after
// each instruction (the longest instruction is ten bytes) and, when the next opcode has changed
// under a sequential instruction, the stream ends there: both runs are compared up to and
// including the writing instruction, and the stream counts as cut. Writes elsewhere in the code
// are seen by both runs and need nothing.
//
// The machine. 64 KB of RAM at 0, supervisor-only below 0x800, with the vector table, handler
// stubs, the stream's code at 0x1000 and a second stream that some vectors lead into at 0x1800;
// a 4 KB ROM at 0xFC0000 that code may start in and no one may write (a bus error); a region at
// 0xF00000 whose every access is a bus error; the I/O page at 0xFF8000, a device that answers
// reads with values drawn from its seed, the address and the bus time, and in some streams
// raises bus errors, adds wait states, ends the slice or posts interrupts. User mode reaches
// neither the bottom of RAM nor the device, whose page is a bus error to it, as on the ST.
// Each host block sits between pages that cannot be touched, so any host access outside it stops
// the test at once, in every build.
//
// The streams. Instructions are drawn by family with random sizes, modes and registers, so that
// every 68000 family appears, plus some fully random words; extension words lean towards
// addresses in RAM, the I/O page (abs.W at 0x8000 and above), the bus error region, the ROM, odd
// addresses and unmapped space. Registers point into the data area mostly, some odd, some at the
// devices or the code. The start SR is user or supervisor, with any mask, sometimes with trace;
// some streams start with interrupts pending. Vectors lead to stubs that return (RTE; past the
// opcode for illegal, line A/F and privilege violations; for bus and address errors past the
// 14-byte frame and a little further on, or the stream would fault at the same place until its
// end), into the second stream, or now and then to an odd or unmapped address. The stacks hold
// words that look like SRs and code addresses, so RTS, RTR and RTE often land in code. Left
// out: interrupts posted by the driver between slices (only A has such points), the debugger's
// peek and poke, and STOP in the middle of a stream (see above).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cpu/cpu.h"

namespace orvet::test::streams {

// The random choices a stream is made of: from a seed, or from fuzz input bytes first and a seed
// once they run out. An input byte of 0 always picks the first, most ordinary option.
class Choices {
public:
    explicit Choices(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    Choices(std::span<const uint8_t> bytes, uint64_t seed) : Choices(seed) { bytes_ = bytes; }

    uint32_t below(uint32_t bound);  // 0 .. bound - 1 (bound >= 1)
    bool chance(uint32_t percent) { return below(100) >= 100 - percent; }
    uint32_t bits16() { return below(0x10000); }
    uint32_t bits32() {
        const uint32_t high = bits16();
        return high << 16 | bits16();
    }
    size_t bytesUsed() const { return used_; }

private:
    uint32_t nextRandom();
    std::span<const uint8_t> bytes_;
    size_t used_ = 0;
    uint64_t state_;
};

// Memory map.
constexpr uint32_t kRamBytes = 0x10000;
constexpr uint32_t kRamFetchHigh = kRamBytes - 1 - kFetchGuardBytes;
constexpr uint32_t kUserLow = 0x800;
constexpr uint32_t kStubs = 0x400;
constexpr uint32_t kCodeStart = 0x1000;
constexpr uint32_t kHandlerCode = 0x1800;
constexpr uint32_t kCodeEnd = 0x1C00;
constexpr uint32_t kDataLow = 0x2000;
constexpr uint32_t kRomLow = 0xFC0000;
constexpr uint32_t kRomBytes = 0x1000;
constexpr uint32_t kBusErrorLow = 0xF00000;
constexpr uint32_t kBusErrorHigh = 0xF0FFFF;
constexpr uint32_t kDeviceLow = 0xFF8000;
constexpr uint32_t kDeviceHigh = 0xFFFFFF;

struct PendingInterrupt {
    int level;
    int vector;
};

// A stream with its start state; images are host memory, words in the host's order as the core
// keeps them.
struct StreamCase {
    uint32_t d[8] = {};
    uint32_t a[8] = {};
    uint32_t otherStackPointer = 0;
    uint32_t pc = kCodeStart;
    uint16_t sr = 0x2700;
    int32_t cycleCounter = 0;
    std::vector<PendingInterrupt> interrupts;
    bool resetHook = true;
    bool deviceActions = false;
    uint32_t deviceSeed = 1;
    int maxInstructions = 64;
    std::vector<uint8_t> ram = std::vector<uint8_t>(kRamBytes);
    std::vector<uint8_t> rom = std::vector<uint8_t>(kRomBytes);

    void setWord(uint32_t address, uint16_t value);
    uint16_t word(uint32_t address) const;  // 0 outside RAM and ROM
};

// Draws a start state from `state` and a stream from `code`. With `literalCode`, those words are
// the stream's first instructions and generated ones follow them.
StreamCase GenerateCase(Choices& state, Choices& code, std::span<const uint16_t> literalCode = {});
// The same into an existing case, whose memory images are reused.
void GenerateCase(Choices& state, Choices& code, std::span<const uint16_t> literalCode,
                  StreamCase& stream);

// Exception handlers the stubs stand for; the checker counts how often a step ends in each.
enum ExceptionKind {
    kBusError,
    kAddressError,
    kIllegal,
    kPrivilege,
    kLineA,
    kLineF,
    kDivideByZero,
    kChk,
    kTrapV,
    kTrace,
    kInterrupt,
    kTrap,
    kExceptionKinds
};
const char* ExceptionName(ExceptionKind kind);

struct StreamTotals {
    uint64_t streams = 0;
    uint64_t instructions = 0;
    uint64_t slices = 0;  // A's slices
    uint64_t cutBySelfModification = 0;
    uint64_t stopped = 0;
    uint64_t halted = 0;
    uint64_t leftFetchRegions = 0;
    uint64_t resetWithoutHook = 0;
    uint64_t deviceAccesses = 0;
    uint64_t exceptions[kExceptionKinds] = {};
    std::string summary() const;
};

struct StreamVerdict {
    bool agree = true;
    std::string report;  // on disagreement: the start state, the steps, the first difference
};

class StreamMachine;

// Runs streams both ways on one machine and compares them.
class StreamChecker {
public:
    StreamChecker();
    ~StreamChecker();
    StreamChecker(const StreamChecker&) = delete;
    StreamChecker& operator=(const StreamChecker&) = delete;

    StreamVerdict check(const StreamCase& stream);
    // Prints every slice of both runs to stderr.
    void setTrace(bool on);
    StreamTotals totals;

private:
    std::unique_ptr<StreamMachine> machine_;
};

}  // namespace orvet::test::streams
