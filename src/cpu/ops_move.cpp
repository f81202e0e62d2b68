// MOVE and MOVEA (lines 1, 2 and 3).
//
// MOVE charges as it goes: the source is read at the opcode's 4 cycles plus its extension words
// and address calculation, the destination is written after its own extension words.
#include "cpu/cpu_internal.h"

namespace orvet::cpu {
namespace {

// The destination of MOVE calculates -(An) while the source is transferred: only the index
// calculation costs a bus slot of its own.
template <Mode M>
constexpr int32_t kDestinationAddressCycles = 4 * kExtensionWords<M, Size::Word> +
                                              (M == kIndex ? 4 : 0);

template <Size S, Mode Src, Mode Dst>
void move(CpuState& cpu, uint32_t opcode) {
    charge(cpu, 4);
    auto source = Operand<Src, S>::decode(cpu, opcode & 7);
    charge(cpu, kAddressCycles<Src, S>);
    uint32_t value = source.read(cpu);
    charge(cpu, kOperandCycles<Src, S>);
    unsigned destinationReg = (opcode >> 9) & 7;
    if constexpr (Dst == kAddrReg) {
        // MOVEA changes no flags and fills the whole register.
        cpu.a[destinationReg] = static_cast<uint32_t>(signExtend<S>(value));
    } else {
        setLogicFlags<S>(cpu, value);
        if constexpr (Dst == kPostInc) {
            // The 68000 advances the register only once the write has gone through.
            capturePrefetch(cpu);
            write<S>(cpu, cpu.a[destinationReg], value);
            effectiveAddress<kPostInc, S>(cpu, destinationReg);
            charge(cpu, kAccessCycles<S>);
            return;
        }
        auto destination = Operand<Dst, S>::decode(cpu, destinationReg);
        if constexpr (isMemory(Dst)) {
            charge(cpu, kDestinationAddressCycles<Dst>);
            capturePrefetch(cpu);
            destination.checkLowWordFirst(cpu, kFaultWrite);
            destination.write(cpu, value);
            charge(cpu, kAccessCycles<S>);
        } else {
            destination.write(cpu, value);
        }
    }
}

using MoveDestinations = ModeList<kDataReg, kAddrReg, kIndirect, kPostInc, kPreDec, kDisp16, kIndex,
                                  kAbsShort, kAbsLong>;

template <Size S>
constexpr uint16_t kMoveSizeBits = S == Size::Byte   ? 0x1000
                                   : S == Size::Word ? 0x3000
                                                     : 0x2000;

}  // namespace

void installMoves(DispatchBuilder& builder) {
    AllSizes::each([&]<Size S>() {
        AllModes::each([&]<Mode Src>() {
            MoveDestinations::each([&]<Mode Dst>() {
                if (S == Size::Byte && Dst == kAddrReg) return;  // no MOVEA.B
                builder.fill(0xF000 | modeMask(Src) | destinationModeMask(Dst),
                             kMoveSizeBits<S> | modeBits(Src) | destinationModeBits(Dst),
                             move<S, Src, Dst>);
            });
        });
    });
}

}  // namespace orvet::cpu
