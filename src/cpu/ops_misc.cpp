// Line 4: the miscellaneous instructions. Single-operand arithmetic (NEGX, CLR, NEG, NOT, TST,
// NBCD, TAS), the status register moves, address loads (LEA, PEA), MOVEM, CHK, and the flow and
// system instructions that the 68000 packs into 0x4E40-0x4EFF.
#include <algorithm>

#include "cpu/cpu_internal.h"
#include "cpu/timing.h"

namespace orvet::cpu {
namespace {

inline bool inSupervisorMode(const CpuState& cpu) {
    return (cpu.sr & kSrSupervisor) != 0;
}

// The read-modify-write instructions charge the read's cost before the read, so the read and the
// write both happen one bus slot before the instruction ends, as on the 68000's combined cycle.
template <Size S, Mode M, typename Operation>
inline void modifyMemory(CpuState& cpu, uint32_t opcode, Operation&& operation) {
    charge(cpu, 4);
    auto operand = Operand<M, S>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, S> + kAccessCycles<S>);
    uint32_t result = operation(operand.read(cpu));
    capturePrefetch(cpu);
    operand.write(cpu, result);
    charge(cpu, kAccessCycles<S>);
}

template <Size S, Mode M>
constexpr int32_t kReadModifyWriteCycles = 4 + kAddressCycles<M, S> + 2 * kAccessCycles<S>;

// ---------------------------------------------------------------- NEGX, NEG, NOT

enum class Unary { NegateWithExtend, Negate, Complement };

template <Unary Op, Size S>
uint32_t applyUnary(CpuState& cpu, uint32_t value) {
    if constexpr (Op == Unary::Complement) {
        uint32_t result = ~value & kMask<S>;
        setLogicFlags<S>(cpu, result);
        return result;
    } else {
        uint32_t borrowIn = Op == Unary::NegateWithExtend ? cpu.flagX : 0;
        uint32_t result = (0u - value - borrowIn) & kMask<S>;
        cpu.flagV = (value & result & kSignBit<S>) != 0;
        cpu.flagC = cpu.flagX = ((value | result) & kSignBit<S>) != 0;
        cpu.flagN = (result & kSignBit<S>) != 0;
        // NEGX is built for multi-word negation: a zero part keeps the Z of the parts before it.
        if constexpr (Op == Unary::Negate) {
            cpu.flagZ = result == 0;
        } else if (result != 0) {
            cpu.flagZ = 0;
        }
        return result;
    }
}

template <Unary Op, Size S, Mode M>
void unary(CpuState& cpu, uint32_t opcode) {
    constexpr const timing::Row& row =
        S == Size::Long ? timing::kNegateLong : timing::kNegateByteWord;
    if constexpr (M == kDataReg) {
        unsigned reg = opcode & 7;
        setDataRegister<S>(cpu, reg, applyUnary<Op, S>(cpu, cpu.d[reg] & kMask<S>));
        charge(cpu, row[M]);
    } else {
        static_assert(kReadModifyWriteCycles<S, M> == row[M]);
        modifyMemory<S, M>(cpu, opcode,
                           [&](uint32_t value) { return applyUnary<Op, S>(cpu, value); });
    }
}

// ---------------------------------------------------------------- CLR, TST, TAS, NBCD

// The 68000 reads the operand before clearing it, which a device register sees.
template <Size S, Mode M>
void clear(CpuState& cpu, uint32_t opcode) {
    constexpr const timing::Row& row =
        S == Size::Long ? timing::kNegateLong : timing::kClearByteWord;
    auto operand = Operand<M, S>::decode(cpu, opcode & 7);
    if constexpr (isMemory(M)) operand.read(cpu);
    cpu.flagN = 0;
    cpu.flagZ = 1;
    cpu.flagV = 0;
    cpu.flagC = 0;
    if constexpr (isMemory(M)) capturePrefetch(cpu);
    operand.write(cpu, 0);
    charge(cpu, row[M]);
}

template <Size S, Mode M>
void test(CpuState& cpu, uint32_t opcode) {
    constexpr const timing::Row& row = S == Size::Long ? timing::kTestLong : timing::kTestByteWord;
    static_assert(4 + kAddressCycles<M, S> + kOperandCycles<M, S> == row[M]);
    charge(cpu, 4);
    auto operand = Operand<M, S>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, S>);
    uint32_t value = operand.read(cpu);
    charge(cpu, kOperandCycles<M, S>);
    setLogicFlags<S>(cpu, value);
}

// TAS sets bit 7 in one indivisible read-modify-write cycle, longer than an ordinary pair of
// accesses; the read and the write are both stamped one slot before the end.
template <Mode M>
void testAndSet(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t cycles = timing::kTestAndSet[M];
    if constexpr (M == kDataReg) {
        unsigned reg = opcode & 7;
        uint32_t value = cpu.d[reg] & 0xFF;
        setLogicFlags<Size::Byte>(cpu, value);
        setDataRegister<Size::Byte>(cpu, reg, value | 0x80);
        charge(cpu, cycles);
    } else {
        charge(cpu, 4);
        auto operand = Operand<M, Size::Byte>::decode(cpu, opcode & 7);
        charge(cpu, cycles - 8);
        uint32_t value = operand.read(cpu);
        setLogicFlags<Size::Byte>(cpu, value);
        capturePrefetch(cpu);
        operand.write(cpu, value | 0x80);
        charge(cpu, 4);
    }
}

// 0 - value - X in packed decimal.
uint32_t negateDecimal(CpuState& cpu, uint32_t value) {
    uint32_t result = decimalSubtract(cpu, 0, value);
    cpu.flagN = (result >> 7) & 1;
    if (result != 0) cpu.flagZ = 0;
    return result;
}

template <Mode M>
void negateDecimalOperand(CpuState& cpu, uint32_t opcode) {
    if constexpr (M == kDataReg) {
        unsigned reg = opcode & 7;
        setDataRegister<Size::Byte>(cpu, reg, negateDecimal(cpu, cpu.d[reg] & 0xFF));
        charge(cpu, timing::kNegateDecimal[M]);
    } else {
        static_assert(kReadModifyWriteCycles<Size::Byte, M> == timing::kNegateDecimal[M]);
        modifyMemory<Size::Byte, M>(cpu, opcode,
                                    [&](uint32_t value) { return negateDecimal(cpu, value); });
    }
}

// ---------------------------------------------------------------- status register moves

// MOVE from SR reads its destination first, like the read-modify-write instructions.
template <Mode M>
void moveFromStatus(CpuState& cpu, uint32_t opcode) {
    if constexpr (M == kDataReg) {
        setDataRegister<Size::Word>(cpu, opcode & 7, buildSr(cpu));
        charge(cpu, timing::kMoveFromStatus[M]);
    } else {
        static_assert(kReadModifyWriteCycles<Size::Word, M> == timing::kMoveFromStatus[M]);
        modifyMemory<Size::Word, M>(cpu, opcode, [&](uint32_t) { return buildSr(cpu); });
    }
}

// The source word of MOVE to CCR and MOVE to SR; the 68000 spends 8 more cycles moving it in.
template <Mode M>
uint32_t readStatusSource(CpuState& cpu, uint32_t opcode) {
    static_assert(4 + kAddressCycles<M, Size::Word> + kOperandCycles<M, Size::Word> + 8 ==
                  timing::kMoveToStatus[M]);
    charge(cpu, 4);
    auto source = Operand<M, Size::Word>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, Size::Word>);
    uint32_t value = source.read(cpu);
    charge(cpu, kOperandCycles<M, Size::Word> + 8);
    return value;
}

template <Mode M>
void moveToConditionCodes(CpuState& cpu, uint32_t opcode) {
    unpackCcr(cpu, readStatusSource<M>(cpu, opcode) & 0x1F);
}

template <Mode M>
void moveToStatus(CpuState& cpu, uint32_t opcode) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    setSr(cpu, readStatusSource<M>(cpu, opcode));
    deferBudget(cpu);  // a lowered mask or a new T bit takes effect before the next instruction
}

// ---------------------------------------------------------------- register operations

void swapHalves(CpuState& cpu, uint32_t opcode) {
    uint32_t& reg = cpu.d[opcode & 7];
    reg = (reg << 16) | (reg >> 16);
    setLogicFlags<Size::Long>(cpu, reg);
    charge(cpu, 4);
}

void extendByteToWord(CpuState& cpu, uint32_t opcode) {
    unsigned reg = opcode & 7;
    uint32_t value = static_cast<uint32_t>(signExtend<Size::Byte>(cpu.d[reg])) & 0xFFFF;
    setDataRegister<Size::Word>(cpu, reg, value);
    setLogicFlags<Size::Word>(cpu, value);
    charge(cpu, 4);
}

void extendWordToLong(CpuState& cpu, uint32_t opcode) {
    unsigned reg = opcode & 7;
    cpu.d[reg] = static_cast<uint32_t>(signExtend<Size::Word>(cpu.d[reg]));
    setLogicFlags<Size::Long>(cpu, cpu.d[reg]);
    charge(cpu, 4);
}

// ---------------------------------------------------------------- MOVEM

// Registers in mask order: bits 0-7 D0-D7, bits 8-15 A0-A7.
inline uint32_t& maskRegister(CpuState& cpu, unsigned index) {
    return index < 8 ? cpu.d[index] : cpu.a[index - 8];
}

// MOVEM's time depends on the register count: each register is transferred 4 (word) or 8 (long)
// cycles after the one before, and the fixed part is charged at the end.
template <Size S, Mode M>
void moveRegistersToMemory(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t fixedCycles = 8 + timing::kMoveMultipleAddressing[M];
    unsigned reg = opcode & 7;
    uint32_t mask = fetchWord(cpu);
    if constexpr (M == kPreDec) {
        capturePrefetch(cpu);  // the 68000 has the next opcode before its first write
        // The mask runs backwards (bit 0 is A7) and the registers go down from A7; the address
        // register itself is stored with its value from before the instruction.
        uint32_t address = cpu.a[reg];
        for (unsigned bit = 0; bit < 16; ++bit) {
            if (!(mask & (1u << bit))) continue;
            address -= kBytes<S>;
            if constexpr (S == Size::Long) lowWordFirstFault(cpu, address, kFaultWrite);
            write<S>(cpu, address, maskRegister(cpu, 15 - bit));
            charge(cpu, kAccessCycles<S>);
        }
        cpu.a[reg] = address;
    } else {
        // The displacement or address words come first: the next opcode is the word after them.
        uint32_t address = effectiveAddress<M, S>(cpu, reg);
        capturePrefetch(cpu);
        for (unsigned index = 0; index < 16; ++index) {
            if (!(mask & (1u << index))) continue;
            write<S>(cpu, address, maskRegister(cpu, index));
            charge(cpu, kAccessCycles<S>);
            address += kBytes<S>;
        }
    }
    charge(cpu, fixedCycles);
    endTimedInstruction(cpu, fixedCycles);
}

// Word loads fill the whole register, data registers too. The 68000 reads one word past the last
// register before it stops, which is part of its fixed time.
template <Size S, Mode M>
void moveMemoryToRegisters(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t fixedCycles = 12 + timing::kMoveMultipleAddressing[M];
    unsigned reg = opcode & 7;
    uint32_t mask = fetchWord(cpu);
    uint32_t address;
    if constexpr (M == kPostInc) {
        address = cpu.a[reg];
        // At an odd address the 68000 has already stepped the register by a word when the
        // address error stops it.
        if (address & 1) {
            cpu.a[reg] = address + 2;
            raiseGroup0(cpu, 3, address, kFaultRead);
        }
    } else {
        address = effectiveAddress<M, S>(cpu, reg);
    }
    for (unsigned index = 0; index < 16; ++index) {
        if (!(mask & (1u << index))) continue;
        uint32_t value = static_cast<uint32_t>(signExtend<S>(read<S>(cpu, address)));
        maskRegister(cpu, index) = value;
        charge(cpu, kAccessCycles<S>);
        address += kBytes<S>;
    }
    readWord(cpu, address);
    // (An)+ leaves the register past the last transfer, even when it was in the list.
    if constexpr (M == kPostInc) cpu.a[reg] = address;
    charge(cpu, fixedCycles);
    endTimedInstruction(cpu, fixedCycles);
}

// ---------------------------------------------------------------- addresses and flow

template <Mode M>
void loadAddress(CpuState& cpu, uint32_t opcode) {
    uint32_t address = effectiveAddress<M, Size::Long>(cpu, opcode & 7);
    cpu.a[(opcode >> 9) & 7] = address;
    charge(cpu, timing::kLoadAddress[M]);
}

template <Mode M>
void pushAddress(CpuState& cpu, uint32_t opcode) {
    uint32_t address = effectiveAddress<M, Size::Long>(cpu, opcode & 7);
    capturePrefetch(cpu);
    push32(cpu, address);
    charge(cpu, timing::kPushAddress[M]);
}

template <Mode M>
void jump(CpuState& cpu, uint32_t opcode) {
    uint32_t target = effectiveAddress<M, Size::Long>(cpu, opcode & 7);
    charge(cpu, timing::kJump[M]);
    jumpTo(cpu, target);
}

// An odd target faults before the return address is pushed.
template <Mode M>
void jumpToSubroutine(CpuState& cpu, uint32_t opcode) {
    uint32_t target = effectiveAddress<M, Size::Long>(cpu, opcode & 7);
    uint32_t returnAddress = currentPc(cpu);
    if (target & 1) raiseGroup0(cpu, 3, target, kFaultFetch);
    push32(cpu, returnAddress);
    charge(cpu, timing::kJumpSubroutine[M]);
    jumpTo(cpu, target);
}

void returnFromSubroutine(CpuState& cpu, uint32_t) {
    charge(cpu, 4);
    uint32_t target = pop32(cpu);
    charge(cpu, 12);
    jumpTo(cpu, target);
}

void returnAndRestore(CpuState& cpu, uint32_t) {
    charge(cpu, 4);
    uint32_t stack = cpu.a[7];
    uint32_t ccr = readWord(cpu, stack);
    uint32_t target = readLong(cpu, stack + 2);
    cpu.a[7] = stack + 6;
    unpackCcr(cpu, ccr & 0x1F);
    charge(cpu, 16);
    jumpTo(cpu, target);
}

// The whole frame is read from the supervisor stack while the processor is still in supervisor
// mode; only then does the new SR (and perhaps user mode with its own list set) take over.
void returnFromException(CpuState& cpu, uint32_t) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    charge(cpu, 4);
    uint32_t stack = cpu.a[7];
    uint32_t newSr = readWord(cpu, stack);
    uint32_t target = readLong(cpu, stack + 2);
    cpu.a[7] = stack + 6;
    setSr(cpu, newSr);
    charge(cpu, 16);
    // The run ends so the driver looks at its devices before the interrupted code resumes.
    dropRestOfSlice(cpu);
    jumpTo(cpu, target);
}

// LINK A7 stores the stack pointer as already decremented.
void link(CpuState& cpu, uint32_t opcode) {
    unsigned reg = opcode & 7;
    int32_t displacement = static_cast<int16_t>(fetchWord(cpu));
    uint32_t frame = cpu.a[7] - 4;
    uint32_t saved = reg == 7 ? frame : cpu.a[reg];
    capturePrefetch(cpu);
    writeLong(cpu, frame, saved);
    cpu.a[reg] = frame;
    cpu.a[7] = frame + static_cast<uint32_t>(displacement);
    charge(cpu, 16);
}

void unlink(CpuState& cpu, uint32_t opcode) {
    unsigned reg = opcode & 7;
    charge(cpu, 4);
    uint32_t frame = cpu.a[reg];
    uint32_t saved = readLong(cpu, frame);
    cpu.a[7] = frame + 4;
    cpu.a[reg] = saved;  // UNLK A7 loads A7 from the frame
    charge(cpu, 8);
}

// ---------------------------------------------------------------- exceptions and system control

void trap(CpuState& cpu, uint32_t opcode) {
    instructionException(cpu, 32 + static_cast<int>(opcode & 15), currentPc(cpu), 34);
}

void trapOnOverflow(CpuState& cpu, uint32_t) {
    if (cpu.flagV) return instructionException(cpu, 7, currentPc(cpu), 38);
    charge(cpu, 4);
}

// CHK compares the low word of Dn, signed, with 0 and with the bound read from the operand: N
// tells which limit was crossed.
template <Mode M>
void checkBounds(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t chargedBeforeCompare =
        4 + kAddressCycles<M, Size::Word> + kOperandCycles<M, Size::Word>;
    static_assert(chargedBeforeCompare <= timing::kCheckInBounds[M]);
    charge(cpu, 4);
    auto source = Operand<M, Size::Word>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, Size::Word>);
    int32_t bound = signExtend<Size::Word>(source.read(cpu));
    charge(cpu, kOperandCycles<M, Size::Word>);
    int32_t value = signExtend<Size::Word>(cpu.d[(opcode >> 9) & 7]);
    cpu.flagZ = 0;
    cpu.flagV = 0;
    cpu.flagC = 0;
    if (value >= 0 && value <= bound) {
        // In bounds the 68000 leaves N as it was.
        charge(cpu, timing::kCheckInBounds[M] - chargedBeforeCompare);
        return;
    }
    cpu.flagN = value < 0;
    constexpr int32_t exceptionCycles = 40 + timing::kOperandTime[M];
    enterException(cpu, 6, currentPc(cpu));
    charge(cpu, exceptionCycles - chargedBeforeCompare);
    endTimedInstruction(cpu, exceptionCycles);
}

void moveToUserStack(CpuState& cpu, uint32_t opcode) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    cpu.otherStackPointer = cpu.a[opcode & 7];
    charge(cpu, 4);
}

void moveFromUserStack(CpuState& cpu, uint32_t opcode) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    cpu.a[opcode & 7] = cpu.otherStackPointer;
    charge(cpu, 4);
}

// RESET pulses the reset line of the devices, not of the processor. A machine without a reset
// hook cannot honour it: the run ends and reports where the instruction was.
void resetDevices(CpuState& cpu, uint32_t) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    charge(cpu, 132);
    if (cpu.resetHook == nullptr) {
        cpu.runResult = (currentPc(cpu) - 2) & 0xFFFFFF;
        dropRestOfSlice(cpu);
        return;
    }
    cpu.resetHook(cpu, cpu.resetHookContext);
    // A bus error a device asked for during the reset is taken now, with RESET done and its
    // successor prefetched: the frame holds the next instruction's address.
    capturePrefetch(cpu);
    afterDeviceCall(cpu, kFaultRead);
}

void noOperation(CpuState& cpu, uint32_t) {
    charge(cpu, 4);
}

// STOP loads SR and waits for an interrupt; the rest of the slice passes as used time, and the
// run loop's interrupt check accepts one that is already pending above the new mask.
void stop(CpuState& cpu, uint32_t) {
    if (!inSupervisorMode(cpu)) return privilegeViolation(cpu);
    uint32_t value = fetchWord(cpu);
    setSr(cpu, value);
    cpu.interruptState |= 1;
    charge(cpu, 4);
    cpu.budget = std::min(cpu.budget, 0);
    cpu.cyclesDeferred = 0;
}

// ---------------------------------------------------------------- decoding

// Fills every opcode `base | ea` of one addressing mode, the register field of the mode free.
template <Mode M>
void fillMode(DispatchBuilder& builder, uint16_t fixedMask, uint16_t base,
              InstructionHandler handler) {
    builder.fill(static_cast<uint16_t>(fixedMask | modeMask(M)),
                 static_cast<uint16_t>(base | modeBits(M)), handler);
}

using WordAndLong = SizeList<Size::Word, Size::Long>;
using MoveMultipleStoreModes = ModeList<kIndirect, kPreDec, kDisp16, kIndex, kAbsShort, kAbsLong>;
using MoveMultipleLoadModes =
    ModeList<kIndirect, kPostInc, kDisp16, kIndex, kAbsShort, kAbsLong, kPcDisp, kPcIndex>;

}  // namespace

void installMiscellaneous(DispatchBuilder& builder) {
    constexpr uint16_t kFixed = 0xFFC0;         // bits 15-6 fixed, effective address free
    constexpr uint16_t kWithRegister = 0xF1C0;  // register field in bits 11-9 free as well

    AllSizes::each([&]<Size S>() {
        DataAlterableModes::each([&]<Mode M>() {
            fillMode<M>(builder, kFixed, 0x4000 | kSizeBits<S>,
                        unary<Unary::NegateWithExtend, S, M>);
            fillMode<M>(builder, kFixed, 0x4200 | kSizeBits<S>, clear<S, M>);
            fillMode<M>(builder, kFixed, 0x4400 | kSizeBits<S>, unary<Unary::Negate, S, M>);
            fillMode<M>(builder, kFixed, 0x4600 | kSizeBits<S>, unary<Unary::Complement, S, M>);
            fillMode<M>(builder, kFixed, 0x4A00 | kSizeBits<S>, test<S, M>);
        });
    });

    DataAlterableModes::each([&]<Mode M>() {
        fillMode<M>(builder, kFixed, 0x40C0, moveFromStatus<M>);
        fillMode<M>(builder, kFixed, 0x4800, negateDecimalOperand<M>);
        fillMode<M>(builder, kFixed, 0x4AC0, testAndSet<M>);
    });
    DataModes::each([&]<Mode M>() {
        fillMode<M>(builder, kFixed, 0x44C0, moveToConditionCodes<M>);
        fillMode<M>(builder, kFixed, 0x46C0, moveToStatus<M>);
        fillMode<M>(builder, kWithRegister, 0x4180, checkBounds<M>);
    });
    ControlModes::each([&]<Mode M>() {
        fillMode<M>(builder, kWithRegister, 0x41C0, loadAddress<M>);
        fillMode<M>(builder, kFixed, 0x4840, pushAddress<M>);
        fillMode<M>(builder, kFixed, 0x4E80, jumpToSubroutine<M>);
        fillMode<M>(builder, kFixed, 0x4EC0, jump<M>);
    });
    WordAndLong::each([&]<Size S>() {
        constexpr uint16_t sizeBit = S == Size::Long ? 0x40 : 0x00;
        MoveMultipleStoreModes::each([&]<Mode M>() {
            fillMode<M>(builder, kFixed, 0x4880 | sizeBit, moveRegistersToMemory<S, M>);
        });
        MoveMultipleLoadModes::each([&]<Mode M>() {
            fillMode<M>(builder, kFixed, 0x4C80 | sizeBit, moveMemoryToRegisters<S, M>);
        });
    });

    builder.fill(0xFFF8, 0x4840, swapHalves);
    builder.fill(0xFFF8, 0x4880, extendByteToWord);
    builder.fill(0xFFF8, 0x48C0, extendWordToLong);
    // ILLEGAL and 0x4AFB (used by debuggers as a breakpoint) take the illegal-instruction
    // exception like every undefined encoding.
    builder.fill(0xFFFF, 0x4AFC, illegalInstruction);
    builder.fill(0xFFFF, 0x4AFB, illegalInstruction);
    builder.fill(0xFFF0, 0x4E40, trap);
    builder.fill(0xFFF8, 0x4E50, link);
    builder.fill(0xFFF8, 0x4E58, unlink);
    builder.fill(0xFFF8, 0x4E60, moveToUserStack);
    builder.fill(0xFFF8, 0x4E68, moveFromUserStack);
    builder.fill(0xFFFF, 0x4E70, resetDevices);
    builder.fill(0xFFFF, 0x4E71, noOperation);
    builder.fill(0xFFFF, 0x4E72, stop);
    builder.fill(0xFFFF, 0x4E73, returnFromException);
    builder.fill(0xFFFF, 0x4E75, returnFromSubroutine);
    builder.fill(0xFFFF, 0x4E76, trapOnOverflow);
    builder.fill(0xFFFF, 0x4E77, returnAndRestore);
}

}  // namespace orvet::cpu
