// The run loop, reset, interrupts, exception entry and the slow paths of bus access.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "cpu/cpu_internal.h"

namespace orvet {

using namespace cpu;

namespace {

// Where the live PC points once it has left every fetch region: reads of it stay harmless.
alignas(8) const uint8_t kNoCode[kFetchGuardBytes * 2] = {};

InstructionHandler gDispatch[65536];
std::once_flag gDispatchBuilt;

void buildDispatch() {
    DispatchBuilder builder{gDispatch};
    builder.fill(0, 0, illegalInstruction);
    installMoves(builder);
    installImmediateAndBits(builder);
    installMiscellaneous(builder);
    installQuickAndBranches(builder);
    installArithmetic(builder);
    installShifts(builder);
}

// A change of S installs the other list set. The fetch region found through the old set no
// longer vouches for the PC: the next flow change or instruction looks it up again, so user code
// cannot keep running where only the supervisor may fetch.
void switchLists(CpuState& cpu, bool supervisor) {
    std::swap(cpu.a[7], cpu.otherStackPointer);
    cpu.currentLists = supervisor ? cpu.supervisorLists : cpu.userLists;
    cpu.fetchLow = 1;
    cpu.fetchHigh = 0;
    cpu.fetchHostLow = kNoCode;
    cpu.fetchHostSpan = 0;
}

void enterSupervisor(CpuState& cpu) {
    if (!(cpu.sr & kSrSupervisor)) {
        switchLists(cpu, true);
        cpu.sr |= kSrSupervisor;
    }
}

// Exception processing runs in supervisor mode from its first access: the vector is fetched
// through the supervisor lists, which cover the vector table even where user programs may not.
struct ExceptionEntry {
    uint16_t oldSr;
    uint32_t handler;
};
ExceptionEntry beginException(CpuState& cpu, int vector) {
    cpu.interruptState &= ~1;
    uint16_t oldSr = buildSr(cpu);
    enterSupervisor(cpu);
    cpu.sr &= ~kSrTrace;
    cpu.tracePending = false;
    cpu.prefetchValid = false;
    return {oldSr, readLong(cpu, static_cast<uint32_t>(vector) * 4)};
}

// The machine subtracts a frame's length from cycleCounter every frame; a machine that never does
// sees it wrap rather than overflow.
int32_t advanceTime(int32_t time, int32_t cycles) {
    return static_cast<int32_t>(static_cast<uint32_t>(time) + static_cast<uint32_t>(cycles));
}

void halt(CpuState& cpu) {
    cpu.interruptState |= 1;
    cpu.pc = currentPc(cpu) | 1;  // a stopped processor with an odd PC is halted
    cpu.runResult = kCpuHalted;
    cpu.runFlags &= ~kRunStackingGroup0;
    dropRestOfSlice(cpu);
}

// The opcode the processor holds between instructions: the next one's. A relative branch may
// have left the live PC outside every fetch region, and outside the host memory behind it: the
// word is read only where a region covers the PC, through that region.
uint16_t nextOpcode(const CpuState& cpu) {
    if (cpu.prefetchValid) return cpu.prefetchWord;
    uint32_t address = currentPc(cpu) & 0xFFFFFF;
    for (const FetchRegion* r = cpu.currentLists.fetch; r && r->low != kEndOfList; ++r) {
        if (address < r->low || address > r->high) continue;
        return hostWord(reinterpret_cast<const uint8_t*>(static_cast<intptr_t>(address) +
                                                         r->displacement));
    }
    return 0;
}

// MOVE to a memory destination other than -(An): the 68000 writes the result before it prefetches
// the word that follows the instruction, and the absolute long form writes before it has even
// refilled its prefetch behind the address's second word. 1 for those, 2 for the long address.
int moveWriteLag(uint16_t opcode) {
    if ((opcode & 0xC000) != 0 || (opcode & 0x3000) == 0) return 0;
    unsigned mode = (opcode >> 6) & 7, reg = (opcode >> 9) & 7;
    if (mode < 2 || mode == 4) return 0;
    return mode == 7 && reg == 1 ? 2 : 1;
}

// MOVEM registers to memory writes each register before prefetching what follows.
bool isMoveMultipleStore(uint16_t opcode) {
    return (opcode & 0xFB80) == 0x4880 && (opcode & 0x38) != 0;
}

// The PC the 68000 stacks when an instruction's data access fails: 2 below the address of the
// last word it prefetched. An instruction reads each extension word when the 68000 takes it from
// its prefetch, which by then holds the word that follows, so the PC is 2 below the fetch
// position; once the instruction has prefetched its successor (captured before its final write),
// the 68000 has fetched one word further and the PC is the fetch position itself. A few
// instructions write before that prefetch.
uint32_t dataFaultPc(const CpuState& cpu, uint16_t opcode, FaultAccess access) {
    uint32_t fetchPosition = currentPc(cpu);
    if (!cpu.prefetchValid) return fetchPosition - 2;
    if (access == kFaultWrite) {
        if (isMoveMultipleStore(opcode)) return fetchPosition - 2;
        return fetchPosition - 2 * static_cast<uint32_t>(moveWriteLag(opcode));
    }
    return fetchPosition;
}

// Bus and address errors: a 14-byte frame, from the new SSP up: the access word (the instruction
// register's bits 15-5, read/write, instruction/not, function code), the address that failed,
// the instruction register, SR and PC. A fetch at an odd address (a jump, branch, return or
// exception vector to an odd target) fails before the PC has reached the target: the 68000
// stacks the target less 4. A fault while this frame is being stacked is a double fault, and the
// 68000 halts.
void enterGroup0(CpuState& cpu, const Group0Fault& fault, uint16_t instructionRegister,
                 uint32_t dataPc) {
    uint32_t faultAddress = cpu.lastAccessAddress;
    const bool supervisor = (cpu.sr & kSrSupervisor) != 0;
    uint16_t accessWord =
        static_cast<uint16_t>((instructionRegister & 0xFFE0) | fault.access | (supervisor ? 4 : 0));
    uint32_t stackedPc = fault.access == kFaultFetch ? faultAddress - 4 : dataPc;
    try {
        cpu.runFlags |= kRunStackingGroup0;
        ExceptionEntry entry = beginException(cpu, fault.vector);
        uint32_t sp = cpu.a[7];
        writeLong(cpu, sp - 4, stackedPc);
        writeWord(cpu, sp - 6, entry.oldSr);
        writeWord(cpu, sp - 8, instructionRegister);
        writeLong(cpu, sp - 12, faultAddress);
        writeWord(cpu, sp - 14, accessWord);
        cpu.a[7] = sp - 14;
        cpu.runFlags &= ~kRunStackingGroup0;
        charge(cpu, 56);
        cpu.peripheralAccessed = 0;
        jumpTo(cpu, entry.handler);
    } catch (const Group0Fault&) {
        halt(cpu);
    }
}

bool interruptAcceptable(const CpuState& cpu) {
    unsigned pending = cpu.interruptState & 0xFE;
    if (!pending) return false;
    unsigned mask = (cpu.sr >> 8) & 7;
    return (pending >> (mask + 1)) != 0 || (pending & 0x80);
}

// Accepts the highest pending level above the mask; level 7 cannot be masked. The mask only
// rises, so a level acceptable after an acceptance was posted by a device while the frame was
// stacked (a stack in device space): it is examined at once, before the handler's first
// instruction, as a level posted during an instruction is examined right after it.
void acceptInterrupt(CpuState& cpu) {
    for (int examination = 0; examination < 7 && interruptAcceptable(cpu); ++examination) {
        unsigned mask = (cpu.sr >> 8) & 7;
        for (unsigned level = 7; level >= 1; --level) {
            if (!(cpu.interruptState & (1u << level))) continue;
            if (level != 7 && level <= mask) return;
            cpu.interruptState &= ~(1u << level);
            // The mask is raised even when the handler cannot be reached (an odd vector, a stack
            // that faults): the bus or address error then runs at the new level, and a lower
            // level cannot come in underneath it.
            auto raiseMask = [&] {
                cpu.sr = static_cast<uint16_t>((cpu.sr & ~0x0700) | (level << 8));
                charge(cpu, 56);
            };
            try {
                enterException(cpu, cpu.interruptVector[level], currentPc(cpu));
            } catch (const Group0Fault&) {
                raiseMask();
                throw;
            }
            raiseMask();
            break;
        }
    }
}

void sampleTrace(CpuState& cpu) {
    if (cpu.sr & kSrTrace) {
        cpu.tracePending = true;
        deferBudget(cpu);
    }
}

inline bool executeInstruction(CpuState& cpu, const InstructionHandler* dispatch) {
    if (reinterpret_cast<uintptr_t>(cpu.livePc) - reinterpret_cast<uintptr_t>(cpu.fetchHostLow) >
        cpu.fetchHostSpan) {
        // Sequential execution or a relative branch has left the fetch region.
        if (!placePc(cpu, currentPc(cpu))) return false;
    }
    if constexpr (kCheckPrefetch) {
        if (cpu.prefetchValid && cpu.prefetchAddress != currentPc(cpu)) prefetchMismatch(cpu);
    }
    uint16_t opcode = cpu.prefetchValid ? cpu.prefetchWord : hostWord(cpu.livePc);
    cpu.prefetchValid = false;
    cpu.livePc += 2;
    ++cpu.instructionCount;
    try {
        dispatch[opcode](cpu, opcode);
    } catch (const Group0Fault& fault) {
        enterGroup0(cpu, fault, opcode, dataFaultPc(cpu, opcode, fault.access));
    }
    cpu.peripheralAccessed = 0;
    return true;
}

void runInstructions(CpuState& cpu, const InstructionHandler* dispatch) {
    for (;;) {
        if (cpu.tracePending) {
            // The budget is set aside: exactly one instruction runs before the trace exception.
            executeInstruction(cpu, dispatch);
        } else {
            while (cpu.budget > 0 && executeInstruction(cpu, dispatch)) {
            }
        }
        if (cpu.runResult != kCpuRunEnded) return;
        if (cpu.tracePending) {
            cpu.tracePending = false;
            enterException(cpu, 9, currentPc(cpu));
            charge(cpu, 36);
            if (cpu.runResult != kCpuRunEnded) return;
        }
        acceptInterrupt(cpu);
        if (cpu.runResult != kCpuRunEnded) return;
        cpu.budget += cpu.cyclesDeferred;
        cpu.cyclesDeferred = 0;
        if (cpu.budget <= 0 || (cpu.interruptState & 1)) return;
        sampleTrace(cpu);
    }
}

}  // namespace

namespace cpu {

void DispatchBuilder::fill(uint16_t mask, uint16_t value, InstructionHandler handler) {
    // Walk only the opcodes that differ in the free bits.
    uint16_t free = static_cast<uint16_t>(~mask);
    uint32_t subset = 0;
    do {
        table[(value & mask) | subset] = handler;
        subset = (subset - free) & free;
    } while (subset != 0);
}

bool placePc(CpuState& cpu, uint32_t pc) {
    uint32_t address = pc & 0xFFFFFF;
    for (const FetchRegion* r = cpu.currentLists.fetch; r && r->low != kEndOfList; ++r) {
        if (address < r->low || address > r->high) continue;
        uint32_t top = pc & 0xFF000000;
        cpu.fetchDisplacement = r->displacement - static_cast<intptr_t>(top);
        cpu.livePc =
            reinterpret_cast<const uint8_t*>(static_cast<intptr_t>(address) + r->displacement);
        cpu.fetchLow = r->low | top;
        cpu.fetchHigh = r->high | top;
        cpu.fetchHostLow =
            reinterpret_cast<const uint8_t*>(static_cast<intptr_t>(r->low) + r->displacement);
        cpu.fetchHostSpan = r->high - r->low;
        return true;
    }
    // No code can run there: the run ends, and pc keeps the address that failed.
    cpu.pc = pc;
    cpu.fetchDisplacement = 0;
    cpu.livePc = kNoCode;
    cpu.fetchHostLow = kNoCode;
    cpu.fetchHostSpan = 0;
    cpu.fetchLow = 1;
    cpu.fetchHigh = 0;
    cpu.prefetchValid = false;
    cpu.runFlags |= kRunLeftFetchRegions;
    if (cpu.runResult == kCpuRunEnded) cpu.runResult = kCpuLeftFetchRegions;
    dropRestOfSlice(cpu);
    return false;
}

void jumpTo(CpuState& cpu, uint32_t pc) {
    if (pc & 1) raiseGroup0(cpu, 3, pc, kFaultFetch);
    cpu.prefetchValid = false;
    if (pc >= cpu.fetchLow && pc <= cpu.fetchHigh) {
        cpu.livePc = reinterpret_cast<const uint8_t*>(
            static_cast<uintptr_t>(pc) + static_cast<uintptr_t>(cpu.fetchDisplacement));
        return;
    }
    placePc(cpu, pc);
}

void prefetchMismatch(const CpuState& cpu) {
    std::fprintf(stderr,
                 "orvet: 68000 core fault: the opcode prefetched at %06X would run at %06X\n",
                 cpu.prefetchAddress & 0xFFFFFF, currentPc(cpu) & 0xFFFFFF);
    std::abort();
}

void raiseGroup0(CpuState& cpu, int vector, uint32_t address, FaultAccess access) {
    cpu.lastAccessAddress = address;
    throw Group0Fault{vector, access};
}

void enterException(CpuState& cpu, int vector, uint32_t stackedPc) {
    ExceptionEntry entry = beginException(cpu, vector);
    writeLong(cpu, cpu.a[7] - 4, stackedPc);
    writeWord(cpu, cpu.a[7] - 6, entry.oldSr);
    cpu.a[7] -= 6;
    jumpTo(cpu, entry.handler);
}

void instructionException(CpuState& cpu, int vector, uint32_t stackedPc, int32_t cycles68000) {
    enterException(cpu, vector, stackedPc);
    charge(cpu, cycles68000);
    endTimedInstruction(cpu, cycles68000);
}

void privilegeViolation(CpuState& cpu) {
    instructionException(cpu, 8, currentPc(cpu) - 2, 34);
}

void illegalInstruction(CpuState& cpu, uint32_t opcode) {
    int vector = (opcode & 0xF000) == 0xA000 ? 10 : (opcode & 0xF000) == 0xF000 ? 11 : 4;
    instructionException(cpu, vector, currentPc(cpu) - 2, 34);
}

void setSr(CpuState& cpu, uint32_t value) {
    uint16_t newSr = static_cast<uint16_t>(value & ((kSrUpperMask << 8) | 0x1F));
    if ((newSr ^ cpu.sr) & kSrSupervisor) switchLists(cpu, (newSr & kSrSupervisor) != 0);
    cpu.sr = newSr;
    unpackCcr(cpu, newSr);
}

void afterDeviceCall(CpuState& cpu, FaultAccess access) {
    if (cpu.busErrorRequest) {
        cpu.busErrorRequest = false;
        raiseGroup0(cpu, 2, cpu.lastAccessAddress, access);
    }
    cpu.peripheralAccessed = 1;
}

uint32_t readWordSlow(CpuState& cpu, const MemoryRegion* r, uint32_t address) {
    if (!r) return 0xFFFF;
    return callRead(cpu, *r, address) & 0xFFFF;
}

uint32_t readLongSlow(CpuState& cpu, const MemoryRegion* r, uint32_t address) {
    if (!r) return 0xFFFFFFFF;
    if (address + 3 <= r->high) {
        uint32_t high = callRead(cpu, *r, address) & 0xFFFF;
        uint32_t low = r->read(cpu, address + 2, *r, CpuCycleTime(cpu) + 4) & 0xFFFF;
        afterDeviceCall(cpu, kFaultRead);
        return (high << 16) | low;
    }
    // The range ends after the first word: the second comes from whatever covers it.
    uint32_t high =
        r->read ? callRead(cpu, *r, address) & 0xFFFF : hostWord(r->hostBase + (address - r->low));
    charge(cpu, 4);
    uint32_t low = readWord(cpu, address + 2);
    charge(cpu, -4);
    return (high << 16) | low;
}

void writeByteList(CpuState& cpu, uint32_t address, uint32_t value) {
    bool covered = false;
    for (const MemoryRegion* r = cpu.currentLists.writeByte; r->low != kEndOfList; ++r) {
        if (address < r->low || address > r->high) continue;
        covered = true;
        if (r->write)
            callWrite(cpu, *r, address, value & 0xFF);
        else
            r->hostBase[(address - r->low) ^ 1] = static_cast<uint8_t>(value);
    }
    if (!covered) raiseGroup0(cpu, 2, cpu.lastAccessAddress, kFaultWrite);
}

void writeWordList(CpuState& cpu, uint32_t address, uint32_t value) {
    bool covered = false;
    for (const MemoryRegion* r = cpu.currentLists.writeWord; r->low != kEndOfList; ++r) {
        if (address < r->low || address > r->high) continue;
        covered = true;
        if (r->write)
            callWrite(cpu, *r, address, value & 0xFFFF);
        else
            setHostWord(r->hostBase + (address - r->low), static_cast<uint16_t>(value));
    }
    if (!covered) raiseGroup0(cpu, 2, cpu.lastAccessAddress, kFaultWrite);
}

void writeLongList(CpuState& cpu, uint32_t address, uint32_t value) {
    uint32_t high = value >> 16, low = value & 0xFFFF;
    bool covered = false;
    for (const MemoryRegion* r = cpu.currentLists.writeWord; r->low != kEndOfList; ++r) {
        if (address < r->low || address > r->high) continue;
        covered = true;
        if (address + 3 <= r->high) {
            if (r->write) {
                callWrite(cpu, *r, address, high);
                r->write(cpu, address + 2, low, *r, CpuCycleTime(cpu) + 4);
                afterDeviceCall(cpu, kFaultWrite);
            } else {
                uint8_t* p = r->hostBase + (address - r->low);
                setHostWord(p, static_cast<uint16_t>(high));
                setHostWord(p + 2, static_cast<uint16_t>(low));
            }
            continue;
        }
        // Only the first word lies in this range; the second is a write of its own.
        if (r->write)
            callWrite(cpu, *r, address, high);
        else
            setHostWord(r->hostBase + (address - r->low), static_cast<uint16_t>(high));
        charge(cpu, 4);
        writeWord(cpu, address + 2, low);
        charge(cpu, -4);
        return;
    }
    if (!covered) {
        // Nothing at A: the low word may still land at A + 2; if not, the fault names A.
        charge(cpu, 4);
        writeWordList(cpu, (address + 2) & 0xFFFFFF, low);
        charge(cpu, -4);
    }
}

}  // namespace cpu

void CpuBuildDispatch() {
    std::call_once(gDispatchBuilt, buildDispatch);
}

int CpuReset(CpuState& cpu) {
    if ((cpu.runFlags & kRunInProgress) || !cpu.supervisorLists.fetch) return 1;
    cpu.runFlags = 0;
    std::fill(std::begin(cpu.d), std::end(cpu.d), 0u);
    std::fill(std::begin(cpu.a), std::end(cpu.a), 0u);
    cpu.otherStackPointer = 0;
    cpu.sr = 0x2700;
    cpu.currentLists = cpu.supervisorLists;
    cpu.tracePending = false;
    cpu.busErrorRequest = false;
    // The word prefetched before the reset belongs to the old program, not to the reset PC.
    cpu.prefetchValid = false;
    cpu.pc = 1;
    cpu.interruptState = 1;
    for (const FetchRegion* r = cpu.supervisorLists.fetch; r->low != kEndOfList; ++r) {
        if (r->low > 0 || r->high < 7) continue;
        const uint8_t* host = reinterpret_cast<const uint8_t*>(r->displacement);
        cpu.a[7] = (uint32_t(hostWord(host)) << 16) | hostWord(host + 2);
        cpu.pc = (uint32_t(hostWord(host + 4)) << 16) | hostWord(host + 6);
        cpu.interruptState = (cpu.pc & 1) ? 1 : 0;
        return (cpu.pc & 1) ? -1 : 0;
    }
    return 1;
}

uint32_t CpuExecute(CpuState& cpu, int32_t cycles) {
    if (cpu.runFlags & kRunInProgress) return kCpuRunEnded;
    if (cpu.interruptState & 1) {
        if (cpu.pc & 1) return kCpuHalted;
        cpu.cycleCounter =
            advanceTime(cpu.cycleCounter, cycles);  // a stopped processor lets time pass
        return kCpuRunEnded;
    }
    static const InstructionHandler* const dispatch = (CpuBuildDispatch(), gDispatch);

    // A word prefetched at the end of the last run belongs to the PC it ended at; the driver or
    // the debugger may have moved the PC since.
    if (cpu.pc != cpu.prefetchAddress) cpu.prefetchValid = false;
    cpu.cyclesRequested = cycles;
    cpu.budget = cycles;
    cpu.cyclesDeferred = 0;
    unpackCcr(cpu, cpu.sr);
    cpu.runFlags = kRunInProgress;
    cpu.runResult = kCpuRunEnded;
    cpu.tracePending = false;
    cpu.busErrorRequest = false;

    if (placePc(cpu, cpu.pc)) {
        bool atStart = cpu.budget > 0;
        for (;;) {
            try {
                if (atStart) {
                    atStart = false;
                    acceptInterrupt(cpu);
                    if (cpu.runResult == kCpuRunEnded && cpu.budget > 0) sampleTrace(cpu);
                }
                runInstructions(cpu, dispatch);
                break;
            } catch (const Group0Fault& fault) {
                // Between instructions (stacking an interrupt or a trace) the processor holds the
                // next opcode and the PC of the program it interrupts.
                enterGroup0(cpu, fault, nextOpcode(cpu), currentPc(cpu));
                cpu.peripheralAccessed = 0;
            }
        }
    }

    if (cpu.runResult != kCpuLeftFetchRegions && cpu.runResult != kCpuHalted) {
        cpu.pc = currentPc(cpu);
    }
    cpu.sr = buildSr(cpu);
    cpu.cycleCounter =
        advanceTime(cpu.cycleCounter, cpu.cyclesRequested - cpu.budget - cpu.cyclesDeferred);
    cpu.budget = 0;
    cpu.cyclesDeferred = 0;
    cpu.cyclesRequested = 0;
    cpu.runFlags = 0;
    cpu.tracePending = false;
    return cpu.runResult;
}

int CpuPostInterrupt(CpuState& cpu, int level, int vector) {
    if (level < 1 || level > 7 || vector < -2 || vector > 255) return 2;
    if (vector == -2) vector = 24;
    if (vector == -1) vector = 24 + level;
    if (cpu.interruptState & (1u << level)) return 1;
    cpu.interruptState |= static_cast<uint8_t>(1u << level);
    // A new level wakes a processor that STOP put to sleep; a halted one waits for reset.
    if (!(cpu.pc & 1)) cpu.interruptState &= ~1u;
    cpu.interruptVector[level] = static_cast<uint8_t>(vector);
    if (cpu.runFlags & kRunInProgress) deferBudget(cpu);
    return 0;
}

void CpuServiceInterrupts(CpuState& cpu) {
    if (cpu.runFlags & kRunInProgress) return;
    if (!interruptAcceptable(cpu) || (cpu.interruptState & 1)) return;
    // A run of no cycles accepts the interrupt and stores the new PC and time.
    CpuExecute(cpu, 0);
}

void CpuEndSlice(CpuState& cpu) {
    if (cpu.runFlags & kRunInProgress) dropRestOfSlice(cpu);
}

void CpuSignalBusError(CpuState& cpu) {
    cpu.busErrorRequest = true;
}

void CpuAddWaitStates(CpuState& cpu, int32_t cycles) {
    cpu.budget -= cycles;
}

int32_t CpuCycleTime(const CpuState& cpu) {
    if (!(cpu.runFlags & kRunInProgress)) return cpu.cycleCounter;
    return advanceTime(cpu.cycleCounter, cpu.cyclesRequested - cpu.budget - cpu.cyclesDeferred);
}

uint16_t CpuPeekWord(CpuState& cpu, uint32_t address) {
    address &= 0xFFFFFE;
    const MemoryRegion* r = findRegion(cpu.supervisorLists.readWord, address);
    if (!r) return 0xFFFF;
    if (!r->read) return hostWord(r->hostBase + (address - r->low));
    uint32_t value = r->read(cpu, address, *r, CpuCycleTime(cpu));
    cpu.busErrorRequest = false;
    return static_cast<uint16_t>(value);
}

void CpuPokeByte(CpuState& cpu, uint32_t address, uint8_t value) {
    address &= 0xFFFFFF;
    const MemoryRegion* r = findRegion(cpu.supervisorLists.writeByte, address);
    if (!r) return;
    if (!r->write) {
        r->hostBase[(address - r->low) ^ 1] = value;
        return;
    }
    r->write(cpu, address, value, *r, CpuCycleTime(cpu));
    cpu.busErrorRequest = false;
}

uint16_t CpuStatusRegister(const CpuState& cpu) {
    return (cpu.runFlags & kRunInProgress) ? buildSr(cpu) : cpu.sr;
}

}  // namespace orvet
