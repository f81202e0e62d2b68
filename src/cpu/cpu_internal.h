// What the instruction handlers share: bus access through the region lists, operand sizes and
// addressing modes, condition codes, cycle charging and exception entry.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "cpu/cpu.h"

namespace orvet::cpu {

using InstructionHandler = void (*)(CpuState& cpu, uint32_t opcode);

// The kind of access that failed, as the access word of a group-0 frame names it: bit 4 a read,
// bit 3 an instruction fetch, bits 1-0 the data (1) or program (2) space of the function code,
// whose supervisor bit is added when the frame is stacked.
enum FaultAccess : uint8_t {
    kFaultWrite = 0x01,
    kFaultRead = 0x11,
    kFaultFetch = 0x1A,
};

// A bus or address error ends the instruction at the failed access, as on the 68000: the
// instruction's later steps never run and exception processing starts from the run loop.
struct Group0Fault {
    int vector;
    FaultAccess access;
};

// ---------------------------------------------------------------- sizes

enum class Size { Byte, Word, Long };

template <Size S>
constexpr uint32_t kMask = S == Size::Byte   ? 0xFFu
                           : S == Size::Word ? 0xFFFFu
                                             : 0xFFFFFFFFu;
template <Size S>
constexpr uint32_t kSignBit = S == Size::Byte   ? 0x80u
                              : S == Size::Word ? 0x8000u
                                                : 0x80000000u;
template <Size S>
constexpr uint32_t kBytes = S == Size::Byte   ? 1
                            : S == Size::Word ? 2
                                              : 4;

template <Size S>
constexpr int32_t signExtend(uint32_t value) {
    if constexpr (S == Size::Byte) return static_cast<int8_t>(value);
    if constexpr (S == Size::Word) return static_cast<int16_t>(value);
    return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------- addressing modes

enum Mode : int {
    kDataReg,
    kAddrReg,
    kIndirect,
    kPostInc,
    kPreDec,
    kDisp16,
    kIndex,
    kAbsShort,
    kAbsLong,
    kPcDisp,
    kPcIndex,
    kImmediate,
    kModeCount
};

constexpr bool isMemory(Mode m) {
    return m >= kIndirect;
}
// The modes whose low opcode bits name a register.
constexpr bool isRegisterMode(Mode m) {
    return m <= kIndex;
}

// Extension words the mode reads (immediates counted by their size).
template <Mode M, Size S>
constexpr int kExtensionWords = M == kDisp16 || M == kIndex || M == kAbsShort || M == kPcDisp ||
                                        M == kPcIndex
                                    ? 1
                                : M == kAbsLong   ? 2
                                : M == kImmediate ? (S == Size::Long ? 2 : 1)
                                                  : 0;

// The modes whose address calculation spends internal 68000 cycles before the bus access; the
// 4-cycle bus rounds those 2 cycles up to a whole access slot.
template <Mode M>
constexpr int kAddressCalculation = M == kPreDec || M == kIndex || M == kPcIndex ? 4 : 0;

// ---------------------------------------------------------------- host memory

inline uint16_t hostWord(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void setHostWord(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

inline const MemoryRegion* findRegion(const MemoryRegion* list, uint32_t address) {
    for (; list->low != kEndOfList; ++list) {
        if (address >= list->low && address <= list->high) return list;
    }
    return nullptr;
}

// ---------------------------------------------------------------- time

inline void charge(CpuState& cpu, int32_t cycles) {
    cpu.budget -= cycles;
}
// Instructions whose 68000 time is not a multiple of 4 end on the next bus slot.
inline void roundToBusSlot(CpuState& cpu) {
    cpu.budget &= ~3;
}

// Ends an instruction whose 68000 time is not a multiple of 4: the budget is rounded to the bus
// slot, and a taken short branch that follows gives back what the rounding added.
inline void endTimedInstruction(CpuState& cpu, int32_t cycles68000) {
    roundToBusSlot(cpu);
    cpu.lastInstructionCycles = cycles68000;
    cpu.lastTimedInstruction = cpu.instructionCount;
}

// The remaining budget, including what is set aside, drops to nothing: the run ends after the
// current instruction with only the cycles used so far counted.
inline void dropRestOfSlice(CpuState& cpu) {
    cpu.cyclesRequested -= cpu.budget + cpu.cyclesDeferred;
    cpu.budget = 0;
    cpu.cyclesDeferred = 0;
}

// Sets the rest of the slice aside so that the run loop looks at interrupts and trace right
// after the current instruction, then carries on with it.
inline void deferBudget(CpuState& cpu) {
    if (cpu.budget > 0) {
        cpu.cyclesDeferred += cpu.budget;
        cpu.budget = 0;
    }
}

// ---------------------------------------------------------------- program counter

inline uint32_t currentPc(const CpuState& cpu) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cpu.livePc) -
                                 static_cast<uintptr_t>(cpu.fetchDisplacement));
}

inline uint16_t fetchWord(CpuState& cpu) {
    uint16_t v = hostWord(cpu.livePc);
    cpu.livePc += 2;
    return v;
}
inline uint32_t fetchLong(CpuState& cpu) {
    uint32_t high = fetchWord(cpu);
    return (high << 16) | fetchWord(cpu);
}

// The opcode that follows has been fetched by the time the instruction writes its result.
// An instruction must have read all its extension words first, or the next instruction would
// run one of them as its opcode.
inline void capturePrefetch(CpuState& cpu) {
    cpu.prefetchWord = hostWord(cpu.livePc);
    cpu.prefetchAddress = currentPc(cpu);
    cpu.prefetchValid = true;
}

// Debug and fuzz builds check that a prefetched opcode is run at the address it was read from.
#if !defined(NDEBUG) || defined(ORVET_CPU_CHECKS)
constexpr bool kCheckPrefetch = true;
#else
constexpr bool kCheckPrefetch = false;
#endif
[[noreturn]] void prefetchMismatch(const CpuState& cpu);

// Places the PC by a search of the fetch list; false (and the run ends) when nothing covers it.
bool placePc(CpuState& cpu, uint32_t pc);

// Flow changes that compare the target with the current fetch region (JMP, JSR, RTS, RTR, RTE,
// exceptions). An odd target raises the address error the 68000 raises on its first fetch.
void jumpTo(CpuState& cpu, uint32_t pc);

// Relative branches move the PC like sequential execution does; the run loop notices when the PC
// has left the fetch region.
inline void branchBy(CpuState& cpu, int32_t displacement, uint32_t base) {
    if (displacement & 1) {
        jumpTo(cpu, base + displacement);  // raises the address error
        return;
    }
    cpu.livePc += displacement;
    cpu.prefetchValid = false;
}

// ---------------------------------------------------------------- exceptions

[[noreturn]] void raiseGroup0(CpuState& cpu, int vector, uint32_t address, FaultAccess access);

// Group 1 and 2 entry; `stackedPc` is the instruction's own address or the next one's.
void enterException(CpuState& cpu, int vector, uint32_t stackedPc);

// Exceptions raised by an instruction: the instruction's time includes the entry.
void instructionException(CpuState& cpu, int vector, uint32_t stackedPc, int32_t cycles68000);
void privilegeViolation(CpuState& cpu);
void illegalInstruction(CpuState& cpu, uint32_t opcode);

// ---------------------------------------------------------------- bus

void afterDeviceCall(CpuState& cpu, FaultAccess access);

inline uint32_t callRead(CpuState& cpu, const MemoryRegion& region, uint32_t address) {
    uint32_t value = region.read(cpu, address, region, CpuCycleTime(cpu));
    afterDeviceCall(cpu, kFaultRead);
    return value;
}
inline void callWrite(CpuState& cpu, const MemoryRegion& region, uint32_t address, uint32_t value) {
    region.write(cpu, address, value, region, CpuCycleTime(cpu));
    afterDeviceCall(cpu, kFaultWrite);
}

inline uint32_t readByte(CpuState& cpu, uint32_t address) {
    cpu.lastAccessAddress = address;
    address &= 0xFFFFFF;
    const MemoryRegion* r = findRegion(cpu.currentLists.readByte, address);
    if (!r) return 0xFF;
    if (r->read) return callRead(cpu, *r, address) & 0xFF;
    return r->hostBase[(address - r->low) ^ 1];
}

uint32_t readWordSlow(CpuState& cpu, const MemoryRegion* r, uint32_t address);

inline uint32_t readWord(CpuState& cpu, uint32_t address) {
    if (address & 1) raiseGroup0(cpu, 3, address, kFaultRead);
    cpu.lastAccessAddress = address;
    address &= 0xFFFFFF;
    const MemoryRegion* r = findRegion(cpu.currentLists.readWord, address);
    if (r && !r->read) return hostWord(r->hostBase + (address - r->low));
    return readWordSlow(cpu, r, address);
}

uint32_t readLongSlow(CpuState& cpu, const MemoryRegion* r, uint32_t address);

inline uint32_t readLong(CpuState& cpu, uint32_t address) {
    if (address & 1) raiseGroup0(cpu, 3, address, kFaultRead);
    cpu.lastAccessAddress = address;
    address &= 0xFFFFFF;
    const MemoryRegion* r = findRegion(cpu.currentLists.readWord, address);
    if (r && !r->read && address + 3 <= r->high) {
        const uint8_t* p = r->hostBase + (address - r->low);
        return (uint32_t(hostWord(p)) << 16) | hostWord(p + 2);
    }
    return readLongSlow(cpu, r, address);
}

// Writes reach every range that covers the address, in list order.
void writeByteList(CpuState& cpu, uint32_t address, uint32_t value);
void writeWordList(CpuState& cpu, uint32_t address, uint32_t value);
void writeLongList(CpuState& cpu, uint32_t address, uint32_t value);

inline void writeByte(CpuState& cpu, uint32_t address, uint32_t value) {
    cpu.lastAccessAddress = address;
    writeByteList(cpu, address & 0xFFFFFF, value);
}

inline void writeWord(CpuState& cpu, uint32_t address, uint32_t value) {
    if (address & 1) raiseGroup0(cpu, 3, address, kFaultWrite);
    cpu.lastAccessAddress = address;
    writeWordList(cpu, address & 0xFFFFFF, value);
}

inline void writeLong(CpuState& cpu, uint32_t address, uint32_t value) {
    if (address & 1) raiseGroup0(cpu, 3, address, kFaultWrite);
    cpu.lastAccessAddress = address;
    writeLongList(cpu, address & 0xFFFFFF, value);
}

template <Size S>
inline uint32_t read(CpuState& cpu, uint32_t address) {
    if constexpr (S == Size::Byte) return readByte(cpu, address);
    if constexpr (S == Size::Word) return readWord(cpu, address);
    if constexpr (S == Size::Long) return readLong(cpu, address);
}
template <Size S>
inline void write(CpuState& cpu, uint32_t address, uint32_t value) {
    if constexpr (S == Size::Byte) writeByte(cpu, address, value);
    if constexpr (S == Size::Word) writeWord(cpu, address, value);
    if constexpr (S == Size::Long) writeLong(cpu, address, value);
}

// Cycles a memory operand transfer takes on the bus.
template <Size S>
constexpr int32_t kAccessCycles = S == Size::Long ? 8 : 4;

// MOVE.L and MOVEM.L store a long at -(An) low word first, and ADDX.L and SUBX.L read both of
// theirs so: at an odd address the access that fails is the low word's, at address + 2.
inline void lowWordFirstFault(CpuState& cpu, uint32_t address, FaultAccess access) {
    if (address & 1) raiseGroup0(cpu, 3, address + 2, access);
}

// ---------------------------------------------------------------- stack

inline void push16(CpuState& cpu, uint32_t value) {
    writeWord(cpu, cpu.a[7] - 2, value);
    cpu.a[7] -= 2;
}
inline void push32(CpuState& cpu, uint32_t value) {
    writeLong(cpu, cpu.a[7] - 4, value);
    cpu.a[7] -= 4;
}
inline uint32_t pop16(CpuState& cpu) {
    uint32_t v = readWord(cpu, cpu.a[7]);
    cpu.a[7] += 2;
    return v;
}
inline uint32_t pop32(CpuState& cpu) {
    uint32_t v = readLong(cpu, cpu.a[7]);
    cpu.a[7] += 4;
    return v;
}

// ---------------------------------------------------------------- registers

template <Size S>
inline void setDataRegister(CpuState& cpu, unsigned reg, uint32_t value) {
    if constexpr (S == Size::Long) {
        cpu.d[reg] = value;
    } else {
        cpu.d[reg] = (cpu.d[reg] & ~kMask<S>) | (value & kMask<S>);
    }
}

// ---------------------------------------------------------------- condition codes

inline uint8_t packCcr(const CpuState& cpu) {
    return static_cast<uint8_t>(cpu.flagX << 4 | cpu.flagN << 3 | cpu.flagZ << 2 | cpu.flagV << 1 |
                                cpu.flagC);
}
inline void unpackCcr(CpuState& cpu, uint32_t ccr) {
    cpu.flagX = (ccr >> 4) & 1;
    cpu.flagN = (ccr >> 3) & 1;
    cpu.flagZ = (ccr >> 2) & 1;
    cpu.flagV = (ccr >> 1) & 1;
    cpu.flagC = ccr & 1;
}
inline uint16_t buildSr(const CpuState& cpu) {
    return static_cast<uint16_t>((cpu.sr & 0xFF00) | packCcr(cpu));
}

// Stores a whole new SR: switches stacks and list sets when S changes.
void setSr(CpuState& cpu, uint32_t value);

template <Size S>
inline void setNZ(CpuState& cpu, uint32_t result) {
    cpu.flagN = (result & kSignBit<S>) != 0;
    cpu.flagZ = (result & kMask<S>) == 0;
}
// MOVE, logic operations, TST and friends: N and Z from the result, V and C cleared.
template <Size S>
inline void setLogicFlags(CpuState& cpu, uint32_t result) {
    setNZ<S>(cpu, result);
    cpu.flagV = 0;
    cpu.flagC = 0;
}

// ADD, ADDI, ADDQ: X and C take the carry, V the signed overflow, at the operation's size.
template <Size S>
inline uint32_t addAndSetFlags(CpuState& cpu, uint32_t destination, uint32_t source) {
    destination &= kMask<S>;
    source &= kMask<S>;
    uint32_t result = (destination + source) & kMask<S>;
    setNZ<S>(cpu, result);
    cpu.flagV = ((source ^ result) & (destination ^ result) & kSignBit<S>) != 0;
    cpu.flagC = cpu.flagX = (uint64_t{destination} + source) > kMask<S>;
    return result;
}

// SUB, SUBI, SUBQ (X takes the borrow) and the comparisons (X is left alone).
template <Size S, bool SetExtend = true>
inline uint32_t subtractAndSetFlags(CpuState& cpu, uint32_t destination, uint32_t source) {
    destination &= kMask<S>;
    source &= kMask<S>;
    uint32_t result = (destination - source) & kMask<S>;
    setNZ<S>(cpu, result);
    cpu.flagV = ((source ^ destination) & (result ^ destination) & kSignBit<S>) != 0;
    cpu.flagC = source > destination;
    if constexpr (SetExtend) cpu.flagX = cpu.flagC;
    return result;
}

inline bool testCondition(const CpuState& cpu, unsigned condition) {
    switch (condition & 15) {
        case 0:
            return true;
        case 1:
            return false;
        case 2:
            return !cpu.flagC && !cpu.flagZ;  // HI
        case 3:
            return cpu.flagC || cpu.flagZ;  // LS
        case 4:
            return !cpu.flagC;  // CC
        case 5:
            return cpu.flagC;  // CS
        case 6:
            return !cpu.flagZ;  // NE
        case 7:
            return cpu.flagZ;  // EQ
        case 8:
            return !cpu.flagV;  // VC
        case 9:
            return cpu.flagV;  // VS
        case 10:
            return !cpu.flagN;  // PL
        case 11:
            return cpu.flagN;  // MI
        case 12:
            return cpu.flagN == cpu.flagV;  // GE
        case 13:
            return cpu.flagN != cpu.flagV;  // LT
        case 14:
            return !cpu.flagZ && cpu.flagN == cpu.flagV;  // GT
        default:
            return cpu.flagZ || cpu.flagN != cpu.flagV;  // LE
    }
}

// Decimal arithmetic on packed BCD bytes with X (ABCD, SBCD, NBCD): C and X take the decimal
// carry or borrow, V is cleared; N and Z are the caller's.
inline uint32_t decimalAdd(CpuState& cpu, uint32_t destination, uint32_t source) {
    uint32_t low = (destination & 0x0F) + (source & 0x0F) + cpu.flagX;
    uint32_t result = (destination & 0xF0) + (source & 0xF0) + low;
    if (low > 9) result += 6;
    // The carry comes from the tens digit alone: an invalid units digit stays as it is.
    bool carry = (result & 0x1F0) > 0x90;
    if (carry) result += 0x60;
    cpu.flagC = cpu.flagX = carry;
    cpu.flagV = 0;
    return result & 0xFF;
}
inline uint32_t decimalSubtract(CpuState& cpu, uint32_t destination, uint32_t source) {
    int x = cpu.flagX;
    int low = static_cast<int>(destination & 0x0F) - static_cast<int>(source & 0x0F) - x;
    int binary = static_cast<int>(destination & 0xFF) - static_cast<int>(source & 0xFF) - x;
    int result = binary;
    if (low < 0) result -= 6;
    bool borrow = binary < 0;
    if (borrow) result -= 0x60;
    cpu.flagC = cpu.flagX = borrow;
    cpu.flagV = 0;
    return static_cast<uint32_t>(result) & 0xFF;
}

// ---------------------------------------------------------------- effective addresses

// The brief extension word of d8(An,Xn) and d8(PC,Xn): index register, its size, displacement.
inline uint32_t indexedAddress(const CpuState& cpu, uint32_t base, uint16_t extension) {
    unsigned reg = (extension >> 12) & 7;
    uint32_t index = (extension & 0x8000) ? cpu.a[reg] : cpu.d[reg];
    if (!(extension & 0x0800)) index = static_cast<uint32_t>(static_cast<int16_t>(index));
    return base + index + static_cast<uint32_t>(static_cast<int8_t>(extension & 0xFF));
}

// Computes the address of a memory operand, reading its extension words and updating the
// address register of (An)+ and -(An). Byte steps on A7 are 2 to keep the stack even.
template <Mode M, Size S>
inline uint32_t effectiveAddress(CpuState& cpu, unsigned reg) {
    constexpr uint32_t step = (S == Size::Byte) ? 1 : kBytes<S>;
    if constexpr (M == kIndirect) {
        return cpu.a[reg];
    } else if constexpr (M == kPostInc) {
        uint32_t address = cpu.a[reg];
        cpu.a[reg] += (S == Size::Byte && reg == 7) ? 2 : step;
        return address;
    } else if constexpr (M == kPreDec) {
        cpu.a[reg] -= (S == Size::Byte && reg == 7) ? 2 : step;
        return cpu.a[reg];
    } else if constexpr (M == kDisp16) {
        return cpu.a[reg] + static_cast<uint32_t>(static_cast<int16_t>(fetchWord(cpu)));
    } else if constexpr (M == kIndex) {
        return indexedAddress(cpu, cpu.a[reg], fetchWord(cpu));
    } else if constexpr (M == kAbsShort) {
        return static_cast<uint32_t>(static_cast<int16_t>(fetchWord(cpu)));
    } else if constexpr (M == kAbsLong) {
        return fetchLong(cpu);
    } else if constexpr (M == kPcDisp) {
        uint32_t base = currentPc(cpu);
        return base + static_cast<uint32_t>(static_cast<int16_t>(fetchWord(cpu)));
    } else if constexpr (M == kPcIndex) {
        uint32_t base = currentPc(cpu);
        return indexedAddress(cpu, base, fetchWord(cpu));
    } else {
        static_assert(M != M, "mode has no address");
        return 0;
    }
}

// A resolved operand: a register or a memory address, read and written at its size.
template <Mode M, Size S>
struct Operand {
    unsigned reg = 0;
    uint32_t address = 0;
    uint32_t immediate = 0;

    // Decodes the operand; memory modes read their extension words here.
    static Operand decode(CpuState& cpu, unsigned reg) {
        Operand op;
        op.reg = reg;
        if constexpr (M == kImmediate) {
            if constexpr (S == Size::Long)
                op.immediate = fetchLong(cpu);
            else if constexpr (S == Size::Word)
                op.immediate = fetchWord(cpu);
            else
                op.immediate = fetchWord(cpu) & 0xFF;
        } else if constexpr (isMemory(M)) {
            op.address = effectiveAddress<M, S>(cpu, reg);
        }
        return op;
    }

    // MOVE.L to -(An), ADDX.L and SUBX.L move a long at -(An) as two words, the low one first,
    // lowering the register by 2 before each: when the first access faults, it is 2 lower only.
    void checkLowWordFirst(CpuState& cpu, FaultAccess access) const {
        if constexpr (M == kPreDec && S == Size::Long) {
            if (address & 1) {
                cpu.a[reg] += 2;
                lowWordFirstFault(cpu, address, access);
            }
        }
    }

    uint32_t read(CpuState& cpu) const {
        if constexpr (M == kDataReg)
            return cpu.d[reg] & kMask<S>;
        else if constexpr (M == kAddrReg)
            return cpu.a[reg] & kMask<S>;
        else if constexpr (M == kImmediate)
            return immediate;
        else
            return orvet::cpu::read<S>(cpu, address);
    }

    void write(CpuState& cpu, uint32_t value) const {
        if constexpr (M == kDataReg)
            setDataRegister<S>(cpu, reg, value);
        else if constexpr (M == kAddrReg)
            cpu.a[reg] = value;
        else if constexpr (isMemory(M) && M != kImmediate)
            orvet::cpu::write<S>(cpu, address, value);
    }
};

// Cycles charged before a memory operand's access under the charge-as-it-goes rule: its
// extension words and its address calculation.
template <Mode M, Size S>
constexpr int32_t kAddressCycles =
    M == kImmediate ? 0 : 4 * kExtensionWords<M, S> + kAddressCalculation<M>;

// The transfer of an operand: memory accesses and immediate extension words alike.
template <Mode M, Size S>
constexpr int32_t kOperandCycles = isMemory(M) ? kAccessCycles<S> : 0;

// ---------------------------------------------------------------- dispatch table

// Fills table entries: every opcode with (opcode & mask) == value.
struct DispatchBuilder {
    InstructionHandler* table;
    void fill(uint16_t mask, uint16_t value, InstructionHandler handler);
};

// Mode field bits (5-0) of an effective-address mode, and the mask that covers them.
constexpr uint16_t modeBits(Mode m) {
    switch (m) {
        case kAbsShort:
            return 0x38;
        case kAbsLong:
            return 0x39;
        case kPcDisp:
            return 0x3A;
        case kPcIndex:
            return 0x3B;
        case kImmediate:
            return 0x3C;
        default:
            return static_cast<uint16_t>(m << 3);
    }
}
constexpr uint16_t modeMask(Mode m) {
    return isRegisterMode(m) ? 0x38 : 0x3F;
}
// The same for the destination field of MOVE (register in bits 11-9, mode in bits 8-6).
constexpr uint16_t destinationModeBits(Mode m) {
    uint16_t bits = modeBits(m);
    return static_cast<uint16_t>(((bits & 7) << 9) | ((bits >> 3) << 6));
}
constexpr uint16_t destinationModeMask(Mode m) {
    return isRegisterMode(m) ? 0x01C0 : 0x0FC0;
}

template <Mode... Ms>
struct ModeList {
    template <typename F>
    static void each(F&& f) {
        (f.template operator()<Ms>(), ...);
    }
};

using AllModes = ModeList<kDataReg, kAddrReg, kIndirect, kPostInc, kPreDec, kDisp16, kIndex,
                          kAbsShort, kAbsLong, kPcDisp, kPcIndex, kImmediate>;
using DataModes = ModeList<kDataReg, kIndirect, kPostInc, kPreDec, kDisp16, kIndex, kAbsShort,
                           kAbsLong, kPcDisp, kPcIndex, kImmediate>;
using MemoryAlterableModes =
    ModeList<kIndirect, kPostInc, kPreDec, kDisp16, kIndex, kAbsShort, kAbsLong>;
using DataAlterableModes =
    ModeList<kDataReg, kIndirect, kPostInc, kPreDec, kDisp16, kIndex, kAbsShort, kAbsLong>;
using ControlModes = ModeList<kIndirect, kDisp16, kIndex, kAbsShort, kAbsLong, kPcDisp, kPcIndex>;

template <Size... Ss>
struct SizeList {
    template <typename F>
    static void each(F&& f) {
        (f.template operator()<Ss>(), ...);
    }
};
using AllSizes = SizeList<Size::Byte, Size::Word, Size::Long>;

// Size field of most instructions (bits 7-6): 00 byte, 01 word, 10 long.
template <Size S>
constexpr uint16_t kSizeBits = S == Size::Byte   ? 0x00
                               : S == Size::Word ? 0x40
                                                 : 0x80;

// Each family of instructions installs its handlers.
void installMoves(DispatchBuilder& builder);
void installImmediateAndBits(DispatchBuilder& builder);
void installMiscellaneous(DispatchBuilder& builder);
void installQuickAndBranches(DispatchBuilder& builder);
void installArithmetic(DispatchBuilder& builder);
void installShifts(DispatchBuilder& builder);

}  // namespace orvet::cpu
