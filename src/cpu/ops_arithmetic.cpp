// Lines 8, 9, B, C and D: OR, SUB, CMP, EOR, AND, ADD with their address, extended and decimal
// forms, multiply, divide, CMPM and EXG.
#include "cpu/cpu_internal.h"
#include "cpu/timing.h"

namespace orvet::cpu {
namespace {

enum class Alu { Add, Sub, Cmp, And, Or, Eor };

// Performs the operation at its size and sets the flags; CMP returns the destination unchanged.
template <Alu Op, Size S>
inline uint32_t compute(CpuState& cpu, uint32_t destination, uint32_t source) {
    if constexpr (Op == Alu::Add) {
        return addAndSetFlags<S>(cpu, destination, source);
    } else if constexpr (Op == Alu::Sub) {
        return subtractAndSetFlags<S>(cpu, destination, source);
    } else if constexpr (Op == Alu::Cmp) {
        subtractAndSetFlags<S, false>(cpu, destination, source);
        return destination;
    } else {
        uint32_t result = Op == Alu::And  ? (destination & source)
                          : Op == Alu::Or ? (destination | source)
                                          : (destination ^ source);
        setLogicFlags<S>(cpu, result & kMask<S>);
        return result & kMask<S>;
    }
}

// <ea>,Dn
template <Alu Op, Size S, Mode M>
void aluToRegister(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    auto source = Operand<M, S>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, S>);
    uint32_t value = source.read(cpu);
    charge(cpu, kOperandCycles<M, S>);
    unsigned reg = (opcode >> 9) & 7;
    uint32_t result = compute<Op, S>(cpu, cpu.d[reg], value);
    if constexpr (Op != Alu::Cmp) setDataRegister<S>(cpu, reg, result);
    charge(cpu, timing::kArithmeticToReg<S>[M] - 4 - kAddressCycles<M, S> - kOperandCycles<M, S>);
}

// Dn,<ea>: read, modify and write the memory operand.
template <Alu Op, Size S, Mode M>
void aluToMemory(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    unsigned reg = (opcode >> 9) & 7;
    auto destination = Operand<M, S>::decode(cpu, opcode & 7);
    if constexpr (M == kDataReg) {
        // EOR Dn,Dn
        destination.write(cpu, compute<Op, S>(cpu, destination.read(cpu), cpu.d[reg]));
        charge(cpu, timing::kArithmeticToMemory<S>[M] - 4);
    } else {
        charge(cpu, kAddressCycles<M, S> + kAccessCycles<S>);
        uint32_t result = compute<Op, S>(cpu, destination.read(cpu), cpu.d[reg]);
        capturePrefetch(cpu);
        destination.write(cpu, result);
        charge(cpu, kAccessCycles<S>);
    }
}

// ADDA, SUBA, CMPA: the source is sign-extended and the whole address register takes part.
template <Alu Op, Size S, Mode M>
void aluToAddress(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    auto source = Operand<M, S>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, S>);
    uint32_t value = static_cast<uint32_t>(signExtend<S>(source.read(cpu)));
    charge(cpu, kOperandCycles<M, S>);
    unsigned reg = (opcode >> 9) & 7;
    if constexpr (Op == Alu::Add) cpu.a[reg] += value;
    if constexpr (Op == Alu::Sub) cpu.a[reg] -= value;
    if constexpr (Op == Alu::Cmp) compute<Alu::Cmp, Size::Long>(cpu, cpu.a[reg], value);
    constexpr const timing::Row& row = S == Size::Long  ? timing::kAddressArithmeticLong
                                       : Op == Alu::Cmp ? timing::kCompareAddressWord
                                                        : timing::kAddressArithmeticWord;
    charge(cpu, row[M] - 4 - kAddressCycles<M, S> - kOperandCycles<M, S>);
}

// ---------------------------------------------------------------- extended and decimal

enum class Extended { Add, Sub, DecimalAdd, DecimalSub };

template <Extended Op, Size S>
inline uint32_t computeExtended(CpuState& cpu, uint32_t destination, uint32_t source) {
    constexpr uint32_t mask = kMask<S>, sign = kSignBit<S>;
    destination &= mask;
    source &= mask;
    uint32_t x = cpu.flagX;
    uint32_t result;
    if constexpr (Op == Extended::Add) {
        uint64_t sum = uint64_t{destination} + source + x;
        result = static_cast<uint32_t>(sum) & mask;
        cpu.flagV = ((source ^ result) & (destination ^ result) & sign) != 0;
        cpu.flagC = cpu.flagX = sum > mask;
    } else if constexpr (Op == Extended::Sub) {
        result = (destination - source - x) & mask;
        cpu.flagV = ((source ^ destination) & (result ^ destination) & sign) != 0;
        cpu.flagC = cpu.flagX = uint64_t{source} + x > destination;
    } else if constexpr (Op == Extended::DecimalAdd) {
        result = decimalAdd(cpu, destination, source);
    } else {
        result = decimalSubtract(cpu, destination, source);
    }
    cpu.flagN = (result & sign) != 0;
    if (result) cpu.flagZ = 0;  // cleared by a nonzero result, else kept across a chain
    return result;
}

template <Extended Op, Size S>
void extendedRegisters(CpuState& cpu, uint32_t opcode) {
    unsigned sourceReg = opcode & 7, destinationReg = (opcode >> 9) & 7;
    setDataRegister<S>(cpu, destinationReg,
                       computeExtended<Op, S>(cpu, cpu.d[destinationReg], cpu.d[sourceReg]));
    charge(cpu,
           (S == Size::Long || Op == Extended::DecimalAdd || Op == Extended::DecimalSub) ? 8 : 4);
}

template <Extended Op, Size S>
void extendedMemory(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 8);  // the opcode and the first decrement
    auto sourceOperand = Operand<kPreDec, S>::decode(cpu, opcode & 7);
    sourceOperand.checkLowWordFirst(cpu, kFaultRead);
    uint32_t source = sourceOperand.read(cpu);
    charge(cpu, kAccessCycles<S>);
    auto destinationOperand = Operand<kPreDec, S>::decode(cpu, (opcode >> 9) & 7);
    destinationOperand.checkLowWordFirst(cpu, kFaultRead);
    uint32_t destination = destinationOperand.read(cpu);
    charge(cpu, kAccessCycles<S>);
    uint32_t result = computeExtended<Op, S>(cpu, destination, source);
    capturePrefetch(cpu);
    destinationOperand.write(cpu, result);
    charge(cpu, kAccessCycles<S>);
}

// CMPM (Ay)+,(Ax)+
template <Size S>
void compareMemory(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    uint32_t source = read<S>(cpu, effectiveAddress<kPostInc, S>(cpu, opcode & 7));
    charge(cpu, kAccessCycles<S>);
    uint32_t destination = read<S>(cpu, effectiveAddress<kPostInc, S>(cpu, (opcode >> 9) & 7));
    charge(cpu, kAccessCycles<S>);
    compute<Alu::Cmp, S>(cpu, destination, source);
}

// ---------------------------------------------------------------- multiply and divide

template <Mode M>
inline uint32_t readWordSource(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    auto source = Operand<M, Size::Word>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<M, Size::Word>);
    uint32_t value = source.read(cpu);
    charge(cpu, kOperandCycles<M, Size::Word>);
    return value;
}
template <Mode M>
constexpr int32_t kWordSourceCycles =
    4 + kAddressCycles<M, Size::Word> + kOperandCycles<M, Size::Word>;

template <bool Signed, Mode M>
void multiply(CpuState& cpu, uint32_t opcode) {
    uint32_t source = readWordSource<M>(cpu, opcode);
    unsigned reg = (opcode >> 9) & 7;
    uint32_t result;
    int bitCycles;
    if constexpr (Signed) {
        result = static_cast<uint32_t>(int32_t{static_cast<int16_t>(source)} *
                                       int32_t{static_cast<int16_t>(cpu.d[reg])});
        // The signed algorithm works on the boundaries between runs of equal bits.
        bitCycles = 2 * __builtin_popcount((source ^ (source << 1)) & 0xFFFF);
    } else {
        result = source * (cpu.d[reg] & 0xFFFF);
        bitCycles = 2 * __builtin_popcount(source);
    }
    cpu.d[reg] = result;
    setLogicFlags<Size::Long>(cpu, result);
    int32_t fixed = 38 + timing::kOperandTime[M];
    charge(cpu, fixed + bitCycles - kWordSourceCycles<M>);
    endTimedInstruction(cpu, fixed);
}

template <bool Signed, Mode M>
void divide(CpuState& cpu, uint32_t opcode) {
    uint32_t source = readWordSource<M>(cpu, opcode);
    unsigned reg = (opcode >> 9) & 7;
    if (source == 0) {
        int32_t time = 38 + timing::kOperandTime[M];
        enterException(cpu, 5, currentPc(cpu));
        charge(cpu, time - kWordSourceCycles<M>);
        endTimedInstruction(cpu, time);
        return;
    }
    uint32_t dividend = cpu.d[reg];
    bool overflow;
    uint32_t quotient, remainder;
    if constexpr (Signed) {
        int64_t n = static_cast<int32_t>(dividend), d = static_cast<int16_t>(source);
        int64_t q = n / d;
        overflow = q < -32768 || q > 32767;
        quotient = static_cast<uint32_t>(q);
        remainder = static_cast<uint32_t>(n % d);
    } else {
        uint32_t q = dividend / source;
        overflow = q > 0xFFFF;
        quotient = q;
        remainder = dividend % source;
    }
    if (overflow) {
        cpu.flagV = 1;
        cpu.flagN = cpu.flagZ = cpu.flagC = 0;
    } else {
        cpu.d[reg] = (remainder << 16) | (quotient & 0xFFFF);
        setLogicFlags<Size::Word>(cpu, quotient);
    }
    int32_t time = (Signed ? 150 : 133) + timing::kOperandTime[M];
    charge(cpu, time - kWordSourceCycles<M>);
    endTimedInstruction(cpu, time);
}

// ---------------------------------------------------------------- EXG

template <int Kind>  // 0: Dx,Dy  1: Ax,Ay  2: Dx,Ay
void exchange(CpuState& cpu, uint32_t opcode) {
    unsigned x = (opcode >> 9) & 7, y = opcode & 7;
    uint32_t* first = Kind == 1 ? &cpu.a[x] : &cpu.d[x];
    uint32_t* second = Kind == 0 ? &cpu.d[y] : &cpu.a[y];
    std::swap(*first, *second);
    charge(cpu, 6);
    endTimedInstruction(cpu, 6);
}

// ---------------------------------------------------------------- installation

template <Alu Op, bool AddressSource, Size S>
void installToRegister(DispatchBuilder& builder, uint16_t line) {
    AllModes::each([&]<Mode M>() {
        if (M == kAddrReg && (!AddressSource || S == Size::Byte)) return;
        builder.fill(0xF1C0 | modeMask(M), line | kSizeBits<S> | modeBits(M),
                     aluToRegister<Op, S, M>);
    });
}

template <Alu Op, Size S>
void installToMemory(DispatchBuilder& builder, uint16_t line) {
    MemoryAlterableModes::each([&]<Mode M>() {
        builder.fill(0xF1C0 | modeMask(M), line | 0x0100 | kSizeBits<S> | modeBits(M),
                     aluToMemory<Op, S, M>);
    });
}

template <Alu Op>
void installAddressForms(DispatchBuilder& builder, uint16_t line) {
    AllModes::each([&]<Mode M>() {
        builder.fill(0xF1C0 | modeMask(M), line | 0x00C0 | modeBits(M),
                     aluToAddress<Op, Size::Word, M>);
        builder.fill(0xF1C0 | modeMask(M), line | 0x01C0 | modeBits(M),
                     aluToAddress<Op, Size::Long, M>);
    });
}

template <Extended Op, Size S>
void installExtended(DispatchBuilder& builder, uint16_t line) {
    builder.fill(0xF1F8, line | 0x0100 | kSizeBits<S>, extendedRegisters<Op, S>);
    builder.fill(0xF1F8, line | 0x0108 | kSizeBits<S>, extendedMemory<Op, S>);
}

}  // namespace

void installArithmetic(DispatchBuilder& builder) {
    AllSizes::each([&]<Size S>() {
        installToRegister<Alu::Or, false, S>(builder, 0x8000);
        installToRegister<Alu::Sub, true, S>(builder, 0x9000);
        installToRegister<Alu::Cmp, true, S>(builder, 0xB000);
        installToRegister<Alu::And, false, S>(builder, 0xC000);
        installToRegister<Alu::Add, true, S>(builder, 0xD000);

        installToMemory<Alu::Or, S>(builder, 0x8000);
        installToMemory<Alu::Sub, S>(builder, 0x9000);
        installToMemory<Alu::And, S>(builder, 0xC000);
        installToMemory<Alu::Add, S>(builder, 0xD000);
        DataAlterableModes::each([&]<Mode M>() {
            builder.fill(0xF1C0 | modeMask(M), 0xB100 | kSizeBits<S> | modeBits(M),
                         aluToMemory<Alu::Eor, S, M>);
        });

        installExtended<Extended::Sub, S>(builder, 0x9000);
        installExtended<Extended::Add, S>(builder, 0xD000);
        builder.fill(0xF1F8, 0xB108 | kSizeBits<S>, compareMemory<S>);
    });
    installExtended<Extended::DecimalSub, Size::Byte>(builder, 0x8000);
    installExtended<Extended::DecimalAdd, Size::Byte>(builder, 0xC000);

    installAddressForms<Alu::Sub>(builder, 0x9000);
    installAddressForms<Alu::Cmp>(builder, 0xB000);
    installAddressForms<Alu::Add>(builder, 0xD000);

    DataModes::each([&]<Mode M>() {
        builder.fill(0xF1C0 | modeMask(M), 0x80C0 | modeBits(M), divide<false, M>);
        builder.fill(0xF1C0 | modeMask(M), 0x81C0 | modeBits(M), divide<true, M>);
        builder.fill(0xF1C0 | modeMask(M), 0xC0C0 | modeBits(M), multiply<false, M>);
        builder.fill(0xF1C0 | modeMask(M), 0xC1C0 | modeBits(M), multiply<true, M>);
    });

    builder.fill(0xF1F8, 0xC140, exchange<0>);
    builder.fill(0xF1F8, 0xC148, exchange<1>);
    builder.fill(0xF1F8, 0xC188, exchange<2>);
}

}  // namespace orvet::cpu
