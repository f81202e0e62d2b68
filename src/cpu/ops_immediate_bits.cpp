// Line 0: the immediate operations (ORI, ANDI, SUBI, ADDI, EORI, CMPI, and the logic forms that
// reach CCR and SR), the bit operations (BTST, BCHG, BCLR, BSET with a register or an immediate
// bit number) and MOVEP.
//
// The immediate operations on memory transfer first and charge their whole time afterwards. The
// bit operations charge as they go: the read (and the write of a changed bit) lands in the last
// bus slot of the instruction. MOVEP charges each byte transfer as it happens, so a peripheral sees
// its bytes arrive 4 cycles apart, as on the bus.
#include "cpu/cpu_internal.h"
#include "cpu/timing.h"

namespace orvet::cpu {
namespace {

// ---------------------------------------------------------------- immediate operations

// Each operation is named by its bits 11-9.
enum class ImmediateOperation : uint16_t {
    Or = 0x0000,
    And = 0x0200,
    Subtract = 0x0400,
    Add = 0x0600,
    ExclusiveOr = 0x0A00,
    Compare = 0x0C00,
};

template <ImmediateOperation Operation, Size S>
uint32_t applyImmediate(CpuState& cpu, uint32_t source, uint32_t destination) {
    if constexpr (Operation == ImmediateOperation::Add) {
        return addAndSetFlags<S>(cpu, destination, source);
    } else if constexpr (Operation == ImmediateOperation::Subtract) {
        return subtractAndSetFlags<S>(cpu, destination, source);
    } else if constexpr (Operation == ImmediateOperation::Compare) {
        return subtractAndSetFlags<S, false>(cpu, destination, source);
    } else {
        uint32_t result = Operation == ImmediateOperation::Or    ? destination | source
                          : Operation == ImmediateOperation::And ? destination & source
                                                                 : destination ^ source;
        setLogicFlags<S>(cpu, result);
        return result;
    }
}

template <ImmediateOperation Operation, Size S>
constexpr const timing::Row& kImmediateTimes =
    Operation == ImmediateOperation::Compare
        ? (S == Size::Long ? timing::kCompareImmediateLong : timing::kCompareImmediateByteWord)
        : (S == Size::Long ? timing::kImmediateLong : timing::kImmediateByteWord);

template <ImmediateOperation Operation, Size S, Mode M>
void immediateOperation(CpuState& cpu, uint32_t opcode) {
    // The immediate precedes the destination's extension words.
    uint32_t source = Operand<kImmediate, S>::decode(cpu, 0).immediate;
    auto destination = Operand<M, S>::decode(cpu, opcode & 7);
    uint32_t result = applyImmediate<Operation, S>(cpu, source, destination.read(cpu));
    if constexpr (Operation != ImmediateOperation::Compare) {
        if constexpr (isMemory(M)) capturePrefetch(cpu);
        destination.write(cpu, result);
    }
    charge(cpu, kImmediateTimes<Operation, S>[M]);
}

template <ImmediateOperation Operation>
uint32_t combineLogic(uint32_t current, uint32_t immediate) {
    if constexpr (Operation == ImmediateOperation::Or) return current | immediate;
    if constexpr (Operation == ImmediateOperation::And) return current & immediate;
    return current ^ immediate;
}

// Only X N Z V C exist in the condition code register; the upper byte of SR is out of reach.
template <ImmediateOperation Operation>
void immediateToConditionCodes(CpuState& cpu, uint32_t) {
    uint32_t immediate = fetchWord(cpu) & 0xFF;
    unpackCcr(cpu, combineLogic<Operation>(packCcr(cpu), immediate));
    charge(cpu, 20);
}

// The whole SR: supervisor only. A lowered mask or a newly set T bit must be seen before the next
// instruction, so the rest of the slice is set aside for the run loop to look at them.
template <ImmediateOperation Operation>
void immediateToStatusRegister(CpuState& cpu, uint32_t) {
    if (!(cpu.sr & kSrSupervisor)) {
        privilegeViolation(cpu);
        return;
    }
    uint32_t immediate = fetchWord(cpu);
    setSr(cpu, combineLogic<Operation>(buildSr(cpu), immediate));
    charge(cpu, 20);
    deferBudget(cpu);
}

// ---------------------------------------------------------------- bit operations

enum class BitOperation { Test, Change, Clear, Set };

template <BitOperation Operation>
uint32_t applyBitOperation(uint32_t value, uint32_t bitMask) {
    if constexpr (Operation == BitOperation::Change) return value ^ bitMask;
    if constexpr (Operation == BitOperation::Clear) return value & ~bitMask;
    if constexpr (Operation == BitOperation::Set) return value | bitMask;
    return value;
}

template <BitOperation Operation, bool ImmediateBitNumber>
constexpr const timing::Row& kBitTimes =
    ImmediateBitNumber ? (Operation == BitOperation::Test    ? timing::kBitTestImmediate
                          : Operation == BitOperation::Clear ? timing::kBitClearImmediate
                                                             : timing::kBitChangeImmediate)
                       : (Operation == BitOperation::Test    ? timing::kBitTestRegister
                          : Operation == BitOperation::Clear ? timing::kBitClearRegister
                                                             : timing::kBitChangeRegister);

// BTST #n,#data is not a 68000 instruction, but it is decoded as one here: the two extension
// words take one bus slot each after the opcode's.
template <BitOperation Operation, bool ImmediateBitNumber, Mode M>
constexpr int32_t kBitOperationCycles = (ImmediateBitNumber && M == kImmediate)
                                            ? 12
                                            : kBitTimes<Operation, ImmediateBitNumber>[M];

// A data register holds 32 bits to test; memory and an immediate give a byte.
template <BitOperation Operation, bool ImmediateBitNumber, Mode M>
void bitOperation(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t cycles = kBitOperationCycles<Operation, ImmediateBitNumber, M>;
    static_assert(cycles > 0, "mode not allowed for this bit operation");
    uint32_t bitNumber = ImmediateBitNumber ? fetchWord(cpu) : cpu.d[(opcode >> 9) & 7];
    if constexpr (M == kDataReg) {
        unsigned reg = opcode & 7;
        uint32_t bitMask = 1u << (bitNumber & 31);
        cpu.flagZ = (cpu.d[reg] & bitMask) == 0;
        cpu.d[reg] = applyBitOperation<Operation>(cpu.d[reg], bitMask);
        charge(cpu, cycles);
    } else if constexpr (M == kImmediate) {
        uint32_t bitMask = 1u << (bitNumber & 7);
        cpu.flagZ = (Operand<M, Size::Byte>::decode(cpu, 0).immediate & bitMask) == 0;
        charge(cpu, cycles);
    } else {
        auto operand = Operand<M, Size::Byte>::decode(cpu, opcode & 7);
        uint32_t bitMask = 1u << (bitNumber & 7);
        charge(cpu, cycles - 4);
        uint32_t value = operand.read(cpu);
        cpu.flagZ = (value & bitMask) == 0;
        if constexpr (Operation != BitOperation::Test) {
            capturePrefetch(cpu);
            operand.write(cpu, applyBitOperation<Operation>(value, bitMask));
        }
        charge(cpu, 4);
    }
}

constexpr uint16_t bitOperationBits(BitOperation operation) {
    return static_cast<uint16_t>(static_cast<unsigned>(operation) << 6);
}

// ---------------------------------------------------------------- MOVEP

// Peripherals on an 8-bit bus sit at every other byte address; MOVEP spreads a register over them,
// most significant byte first.
template <Size S, bool ToMemory>
void movePeripheral(CpuState& cpu, uint32_t opcode) {
    constexpr int byteCount = S == Size::Long ? 4 : 2;
    unsigned dataReg = (opcode >> 9) & 7;
    uint32_t address =
        cpu.a[opcode & 7] + static_cast<uint32_t>(static_cast<int16_t>(fetchWord(cpu)));
    charge(cpu, 8);
    if constexpr (ToMemory) {
        uint32_t value = cpu.d[dataReg];
        capturePrefetch(cpu);
        for (int index = 0; index < byteCount; ++index) {
            writeByte(cpu, address + 2 * index, value >> (8 * (byteCount - 1 - index)));
            charge(cpu, 4);
        }
    } else {
        uint32_t value = 0;
        for (int index = 0; index < byteCount; ++index) {
            value = (value << 8) | readByte(cpu, address + 2 * index);
            charge(cpu, 4);
        }
        setDataRegister<S>(cpu, dataReg, value);
    }
}

using ImmediateDestinations = DataAlterableModes;
using BitTestDestinations = DataModes;  // BTST reads PC-relative operands and immediates too
using BitChangeDestinations = DataAlterableModes;

}  // namespace

void installImmediateAndBits(DispatchBuilder& builder) {
    auto installImmediate = [&]<ImmediateOperation Operation>() {
        AllSizes::each([&]<Size S>() {
            ImmediateDestinations::each([&]<Mode M>() {
                builder.fill(0xFFC0 | modeMask(M),
                             static_cast<uint16_t>(Operation) | kSizeBits<S> | modeBits(M),
                             immediateOperation<Operation, S, M>);
            });
        });
    };
    installImmediate.template operator()<ImmediateOperation::Or>();
    installImmediate.template operator()<ImmediateOperation::And>();
    installImmediate.template operator()<ImmediateOperation::Subtract>();
    installImmediate.template operator()<ImmediateOperation::Add>();
    installImmediate.template operator()<ImmediateOperation::ExclusiveOr>();
    installImmediate.template operator()<ImmediateOperation::Compare>();

    builder.fill(0xFFFF, 0x003C, immediateToConditionCodes<ImmediateOperation::Or>);
    builder.fill(0xFFFF, 0x023C, immediateToConditionCodes<ImmediateOperation::And>);
    builder.fill(0xFFFF, 0x0A3C, immediateToConditionCodes<ImmediateOperation::ExclusiveOr>);
    builder.fill(0xFFFF, 0x007C, immediateToStatusRegister<ImmediateOperation::Or>);
    builder.fill(0xFFFF, 0x027C, immediateToStatusRegister<ImmediateOperation::And>);
    builder.fill(0xFFFF, 0x0A7C, immediateToStatusRegister<ImmediateOperation::ExclusiveOr>);

    // Dynamic forms (bit number in Dn, bits 11-9) and static forms (0x08xx, bit number in an
    // extension word).
    auto installBit = [&]<BitOperation Operation, typename Destinations>() {
        Destinations::each([&]<Mode M>() {
            builder.fill(0xF1C0 | modeMask(M), 0x0100 | bitOperationBits(Operation) | modeBits(M),
                         bitOperation<Operation, false, M>);
            builder.fill(0xFFC0 | modeMask(M), 0x0800 | bitOperationBits(Operation) | modeBits(M),
                         bitOperation<Operation, true, M>);
        });
    };
    installBit.template operator()<BitOperation::Test, BitTestDestinations>();
    installBit.template operator()<BitOperation::Change, BitChangeDestinations>();
    installBit.template operator()<BitOperation::Clear, BitChangeDestinations>();
    installBit.template operator()<BitOperation::Set, BitChangeDestinations>();

    // MOVEP takes the address-register encodings of the dynamic bit operations.
    builder.fill(0xF1F8, 0x0108, movePeripheral<Size::Word, false>);
    builder.fill(0xF1F8, 0x0148, movePeripheral<Size::Long, false>);
    builder.fill(0xF1F8, 0x0188, movePeripheral<Size::Word, true>);
    builder.fill(0xF1F8, 0x01C8, movePeripheral<Size::Long, true>);
}

}  // namespace orvet::cpu
