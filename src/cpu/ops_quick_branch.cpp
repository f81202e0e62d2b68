// Lines 5, 6 and 7: ADDQ, SUBQ, Scc and DBcc; Bcc, BRA and BSR; MOVEQ.
#include "cpu/cpu_internal.h"
#include "cpu/timing.h"

namespace orvet::cpu {
namespace {

// ---------------------------------------------------------------- ADDQ, SUBQ

// The quick operand sits in bits 11-9, where 0 stands for 8.
inline uint32_t quickData(uint32_t opcode) {
    return (((opcode >> 9) - 1) & 7) + 1;
}

template <bool Subtract, Size S>
uint32_t addOrSubtract(CpuState& cpu, uint32_t destination, uint32_t source) {
    if constexpr (Subtract)
        return subtractAndSetFlags<S>(cpu, destination, source);
    else
        return addAndSetFlags<S>(cpu, destination, source);
}

template <bool Subtract, Size S, Mode M>
void quickArithmetic(CpuState& cpu, uint32_t opcode) {
    constexpr const timing::Row& row =
        S == Size::Long ? timing::kQuickLong : timing::kQuickByteWord;
    unsigned reg = opcode & 7;
    uint32_t data = quickData(opcode);
    if constexpr (M == kAddrReg) {
        // Address arithmetic: all 32 bits whatever the size, and no flags.
        cpu.a[reg] = Subtract ? cpu.a[reg] - data : cpu.a[reg] + data;
        charge(cpu, row[M]);
    } else if constexpr (M == kDataReg) {
        setDataRegister<S>(cpu, reg, addOrSubtract<Subtract, S>(cpu, cpu.d[reg] & kMask<S>, data));
        charge(cpu, row[M]);
    } else {
        // Read-modify-write: the read's cost is charged before it, so the read and the write
        // are both stamped one bus slot before the end.
        static_assert(4 + kAddressCycles<M, S> + 2 * kAccessCycles<S> == row[M]);
        charge(cpu, 4);
        auto operand = Operand<M, S>::decode(cpu, reg);
        charge(cpu, kAddressCycles<M, S> + kAccessCycles<S>);
        uint32_t result = addOrSubtract<Subtract, S>(cpu, operand.read(cpu), data);
        capturePrefetch(cpu);
        operand.write(cpu, result);
        charge(cpu, kAccessCycles<S>);
    }
}

// ---------------------------------------------------------------- Scc, DBcc

// On memory Scc only writes; nothing is read first.
template <unsigned Condition, Mode M>
void setOnCondition(CpuState& cpu, uint32_t opcode) {
    bool holds = testCondition(cpu, Condition);
    if constexpr (M == kDataReg) {
        setDataRegister<Size::Byte>(cpu, opcode & 7, holds ? 0xFF : 0x00);
        charge(cpu, holds ? timing::kSetTrue[M] : timing::kSetFalse[M]);
    } else {
        static_assert(timing::kSetTrue[M] == timing::kSetFalse[M]);
        auto operand = Operand<M, Size::Byte>::decode(cpu, opcode & 7);
        capturePrefetch(cpu);
        operand.write(cpu, holds ? 0xFF : 0x00);
        charge(cpu, timing::kSetTrue[M]);
    }
}

// Moves the PC to `base + displacement`, base being the address of the word after the opcode.
inline void branchFrom(CpuState& cpu, uint32_t base, int32_t displacement) {
    uint32_t here = currentPc(cpu);
    branchBy(cpu, static_cast<int32_t>(base + static_cast<uint32_t>(displacement) - here), here);
}

template <unsigned Condition>
void decrementAndBranch(CpuState& cpu, uint32_t opcode) {
    uint32_t base = currentPc(cpu);
    int32_t displacement = static_cast<int16_t>(fetchWord(cpu));
    if (testCondition(cpu, Condition)) {
        charge(cpu, 12);
        return;
    }
    unsigned reg = opcode & 7;
    uint32_t count = (cpu.d[reg] - 1) & 0xFFFF;
    setDataRegister<Size::Word>(cpu, reg, count);
    if (count == 0xFFFF) {
        charge(cpu, 16);
        return;
    }
    charge(cpu, 12);
    branchFrom(cpu, base, displacement);
}

// ---------------------------------------------------------------- Bcc, BRA, BSR

// A taken short branch takes 10 cycles on the 68000. When the instruction before it ended off the
// 4-cycle grid, the two share the slot that rounding added to that instruction.
inline void chargeTakenShortBranch(CpuState& cpu) {
    if (cpu.lastTimedInstruction == cpu.instructionCount - 1) {
        cpu.budget += cpu.lastInstructionCycles % 4;
    }
    charge(cpu, 10);
    roundToBusSlot(cpu);
}

// An 8-bit displacement in the opcode; a low byte of 0xFF is a displacement of -1 on the 68000,
// an odd target that raises the address error.
template <unsigned Condition>
void branchShort(CpuState& cpu, uint32_t opcode) {
    int32_t displacement = static_cast<int8_t>(opcode & 0xFF);
    if constexpr (Condition == 1) {  // BSR
        uint32_t returnAddress = currentPc(cpu);
        push32(cpu, returnAddress);
        charge(cpu, 20);
        branchFrom(cpu, returnAddress, displacement);
    } else {
        if (!testCondition(cpu, Condition)) {
            charge(cpu, 8);
            return;
        }
        chargeTakenShortBranch(cpu);
        branchFrom(cpu, currentPc(cpu), displacement);
    }
}

template <unsigned Condition>
void branchWord(CpuState& cpu, uint32_t) {
    uint32_t base = currentPc(cpu);
    int32_t displacement = static_cast<int16_t>(fetchWord(cpu));
    if constexpr (Condition == 1) {  // BSR
        push32(cpu, currentPc(cpu));
        charge(cpu, 20);
    } else {
        charge(cpu, 12);
        if (!testCondition(cpu, Condition)) return;
    }
    branchFrom(cpu, base, displacement);
}

// ---------------------------------------------------------------- MOVEQ

void moveQuick(CpuState& cpu, uint32_t opcode) {
    uint32_t value = static_cast<uint32_t>(signExtend<Size::Byte>(opcode));
    cpu.d[(opcode >> 9) & 7] = value;
    setLogicFlags<Size::Long>(cpu, value);
    charge(cpu, 4);
}

template <unsigned... Conditions>
struct ConditionList {
    template <typename F>
    static void each(F&& f) {
        (f.template operator()<Conditions>(), ...);
    }
};
using AllConditions = ConditionList<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>;

using QuickModes = ModeList<kDataReg, kAddrReg, kIndirect, kPostInc, kPreDec, kDisp16, kIndex,
                            kAbsShort, kAbsLong>;

}  // namespace

void installQuickAndBranches(DispatchBuilder& builder) {
    AllSizes::each([&]<Size S>() {
        QuickModes::each([&]<Mode M>() {
            if (S == Size::Byte && M == kAddrReg) return;    // no byte operations on An
            constexpr uint16_t mask = 0xF1C0 | modeMask(M);  // quick data in bits 11-9 free
            builder.fill(mask, 0x5000 | kSizeBits<S> | modeBits(M), quickArithmetic<false, S, M>);
            builder.fill(mask, 0x5100 | kSizeBits<S> | modeBits(M), quickArithmetic<true, S, M>);
        });
    });

    AllConditions::each([&]<unsigned C>() {
        constexpr uint16_t condition = static_cast<uint16_t>(C << 8);
        DataAlterableModes::each([&]<Mode M>() {
            builder.fill(0xFFC0 | modeMask(M), 0x50C0 | condition | modeBits(M),
                         setOnCondition<C, M>);
        });
        builder.fill(0xFFF8, 0x50C8 | condition, decrementAndBranch<C>);
        builder.fill(0xFF00, 0x6000 | condition, branchShort<C>);
        builder.fill(0xFFFF, 0x6000 | condition, branchWord<C>);
    });

    builder.fill(0xF100, 0x7000, moveQuick);
}

}  // namespace orvet::cpu
