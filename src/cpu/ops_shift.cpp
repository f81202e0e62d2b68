// Line E: shifts and rotates of a data register (count 1-8 in the opcode, or 0-63 from a data
// register) and of a memory word (one place).
//
// A register shift takes 6 + 2 per place (.B/.W) or 8 + 2 per place (.L); the instruction ends on
// the next bus slot. With a register count only the fixed part is known before the count is read,
// so that is what a following short branch may share. Memory shifts transfer first and charge
// their whole time afterwards.
#include "cpu/cpu_internal.h"
#include "cpu/timing.h"

namespace orvet::cpu {
namespace {

enum class ShiftKind { Arithmetic, Logical, RotateExtend, Rotate };

template <Size S>
constexpr unsigned kBits = kBytes<S> * 8;

// Shifts `value` (already masked to the size) by `count` places and sets the condition codes.
template <ShiftKind Kind, bool Left, Size S>
uint32_t shiftAndSetFlags(CpuState& cpu, uint32_t value, unsigned count) {
    constexpr unsigned bits = kBits<S>;
    constexpr uint64_t mask = kMask<S>;
    uint64_t wide = value;
    uint32_t result = value;
    uint8_t carry = 0;
    uint8_t overflow = 0;

    if constexpr (Kind == ShiftKind::RotateExtend) {
        // X joins the value in a ring one bit longer than the size; C always ends equal to X.
        unsigned places = count % (bits + 1);
        if (places != 0) {
            constexpr uint64_t ringMask = (uint64_t{1} << (bits + 1)) - 1;
            uint64_t ring = (uint64_t{cpu.flagX} << bits) | wide;
            ring = Left ? (ring << places) | (ring >> (bits + 1 - places))
                        : (ring >> places) | (ring << (bits + 1 - places));
            ring &= ringMask;
            result = static_cast<uint32_t>(ring & mask);
            cpu.flagX = static_cast<uint8_t>(ring >> bits);
        }
        carry = cpu.flagX;
    } else if (count != 0) {
        if constexpr (Kind == ShiftKind::Rotate) {
            unsigned places = count % bits;
            if (places != 0) {
                result =
                    static_cast<uint32_t>((Left ? (wide << places) | (wide >> (bits - places))
                                                : (wide >> places) | (wide << (bits - places))) &
                                          mask);
            }
            // The bit that last went round lands at the far end.
            carry = Left ? (result & 1) : (result >> (bits - 1)) & 1;
        } else if constexpr (Left) {
            // Bit `bits` of the widened shift is the last bit pushed out (0 beyond the size).
            uint64_t shifted = count < 64 ? wide << count : 0;
            result = static_cast<uint32_t>(shifted & mask);
            carry = static_cast<uint8_t>((shifted >> bits) & 1);
            if constexpr (Kind == ShiftKind::Arithmetic) {
                // V tells whether the sign changed at any step: the top count+1 bits were not all
                // alike, or, once every bit has gone through the top, anything was set.
                if (count >= bits) {
                    overflow = value != 0;
                } else {
                    uint64_t topMask = ((uint64_t{2} << count) - 1) << (bits - 1 - count);
                    uint64_t top = wide & topMask;
                    overflow = top != 0 && top != topMask;
                }
            }
            cpu.flagX = carry;
        } else {
            // Once the count passes the size, every further place pushes out a copy of the sign
            // (ASR) or a 0 (LSR), and C keeps the last of them.
            int64_t source =
                Kind == ShiftKind::Arithmetic ? signExtend<S>(value) : static_cast<int64_t>(wide);
            unsigned places = count < 63 ? count : 63;
            result = static_cast<uint32_t>(static_cast<uint64_t>(source >> places) & mask);
            carry = static_cast<uint8_t>((source >> (places - 1)) & 1);
            cpu.flagX = carry;
        }
    }
    cpu.flagC = carry;
    cpu.flagV = overflow;
    setNZ<S>(cpu, result);
    return result;
}

// Register shifts: bits 11-9 hold the count (0 meaning 8) or, with bit 5 set, the count register.
template <ShiftKind Kind, bool Left, Size S, bool RegisterCount>
void shiftRegister(CpuState& cpu, uint32_t opcode) {
    constexpr int32_t fixedCycles = S == Size::Long ? 8 : 6;
    unsigned countField = (opcode >> 9) & 7;
    unsigned count = RegisterCount ? cpu.d[countField] & 63 : (countField == 0 ? 8 : countField);
    unsigned reg = opcode & 7;
    setDataRegister<S>(cpu, reg,
                       shiftAndSetFlags<Kind, Left, S>(cpu, cpu.d[reg] & kMask<S>, count));
    int32_t cycles = fixedCycles + 2 * static_cast<int32_t>(count);
    charge(cpu, cycles);
    endTimedInstruction(cpu, RegisterCount ? fixedCycles : cycles);
}

template <ShiftKind Kind, bool Left, Mode M>
void shiftMemory(CpuState& cpu, uint32_t opcode) {
    auto operand = Operand<M, Size::Word>::decode(cpu, opcode & 7);
    uint32_t result = shiftAndSetFlags<Kind, Left, Size::Word>(cpu, operand.read(cpu), 1);
    capturePrefetch(cpu);
    operand.write(cpu, result);
    charge(cpu, timing::kShiftMemory[M]);
}

template <ShiftKind Kind>
constexpr uint16_t kKindNumber = static_cast<uint16_t>(Kind);

template <typename F>
void eachShift(F&& f) {
    f.template operator()<ShiftKind::Arithmetic, false>();
    f.template operator()<ShiftKind::Arithmetic, true>();
    f.template operator()<ShiftKind::Logical, false>();
    f.template operator()<ShiftKind::Logical, true>();
    f.template operator()<ShiftKind::RotateExtend, false>();
    f.template operator()<ShiftKind::RotateExtend, true>();
    f.template operator()<ShiftKind::Rotate, false>();
    f.template operator()<ShiftKind::Rotate, true>();
}

}  // namespace

void installShifts(DispatchBuilder& builder) {
    eachShift([&]<ShiftKind Kind, bool Left>() {
        constexpr uint16_t direction = Left ? 0x0100 : 0;
        // Register forms: 1110 ccc d ss i kk rrr, size 11 excluded.
        AllSizes::each([&]<Size S>() {
            uint16_t value = 0xE000 | direction | kSizeBits<S> | (kKindNumber<Kind> << 3);
            builder.fill(0xF1F8, value, shiftRegister<Kind, Left, S, false>);
            builder.fill(0xF1F8, value | 0x0020, shiftRegister<Kind, Left, S, true>);
        });
        // Memory forms: 1110 0kk d 11 <ea>.
        MemoryAlterableModes::each([&]<Mode M>() {
            builder.fill(0xFFC0 | modeMask(M),
                         0xE0C0 | (kKindNumber<Kind> << 9) | direction | modeBits(M),
                         shiftMemory<Kind, Left, M>);
        });
    });
}

}  // namespace orvet::cpu
