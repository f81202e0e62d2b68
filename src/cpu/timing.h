// Instruction times on the machine's bus, in cycles, by addressing mode of the operand.
//
// The 68000's own times are stretched so that every bus access starts on a 4-cycle boundary, as
// the shared bus of the ST grants the processor one slot in four cycles. Columns follow Mode:
// Dn, An, (An), (An)+, -(An), d16(An), d8(An,Xn), abs.W, abs.L, d16(PC), d8(PC,Xn), #imm.
// 0 marks a mode the instruction does not have.
#pragma once

#include <array>
#include <cstdint>

#include "cpu/cpu_internal.h"

namespace orvet::cpu::timing {

using Row = std::array<int16_t, kModeCount>;

constexpr Row kMoveByteWordToDataReg = {4, 4, 8, 8, 12, 12, 16, 12, 16, 12, 16, 8};
constexpr Row kMoveLongToDataReg = {4, 4, 12, 12, 16, 16, 20, 16, 20, 16, 20, 12};
constexpr Row kMoveByteWordFromDataReg = {4, 0, 8, 8, 8, 12, 16, 12, 16, 0, 0, 0};
constexpr Row kMoveLongFromDataReg = {4, 0, 12, 12, 12, 16, 20, 16, 20, 0, 0, 0};

constexpr Row kArithmeticByteWordToReg = {4, 4, 8, 8, 12, 12, 16, 12, 16, 12, 16, 8};
constexpr Row kArithmeticLongToReg = {8, 8, 16, 16, 20, 20, 24, 20, 24, 20, 24, 16};
constexpr Row kArithmeticByteWordToMemory = {4, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kArithmeticLongToMemory = {8, 0, 20, 20, 24, 24, 28, 24, 28, 0, 0, 0};
constexpr Row kAddressArithmeticWord = {8, 8, 12, 12, 16, 16, 20, 16, 20, 16, 20, 12};
constexpr Row kAddressArithmeticLong = {8, 8, 16, 16, 16, 20, 20, 20, 24, 20, 20, 16};
constexpr Row kCompareAddressWord = {8, 8, 12, 12, 12, 16, 16, 16, 20, 16, 16, 12};

constexpr Row kImmediateByteWord = {8, 0, 16, 16, 20, 20, 24, 20, 24, 0, 0, 0};
constexpr Row kImmediateLong = {16, 0, 28, 28, 32, 32, 36, 32, 36, 0, 0, 0};
constexpr Row kCompareImmediateByteWord = {8, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kCompareImmediateLong = {16, 0, 20, 20, 24, 24, 28, 24, 28, 0, 0, 0};
constexpr Row kQuickByteWord = {4, 8, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kQuickLong = {8, 8, 20, 20, 24, 24, 28, 24, 28, 0, 0, 0};

constexpr Row kNegateByteWord = {4, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kNegateLong = {8, 0, 20, 20, 24, 24, 28, 24, 28, 0, 0, 0};  // CLR.L too
constexpr Row kClearByteWord = {4, 0, 12, 12, 12, 16, 16, 16, 20, 0, 0, 0};
constexpr Row kTestByteWord = {4, 0, 8, 8, 12, 12, 16, 12, 16, 0, 0, 0};
constexpr Row kTestLong = {4, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kSetTrue = {8, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kSetFalse = {4, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kNegateDecimal = {8, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kTestAndSet = {4, 0, 20, 20, 20, 24, 24, 24, 28, 0, 0, 0};

constexpr Row kBitTestRegister = {8, 0, 8, 8, 12, 12, 16, 12, 16, 12, 16, 8};
constexpr Row kBitChangeRegister = {8, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};  // BSET too
constexpr Row kBitClearRegister = {12, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kBitTestImmediate = {12, 0, 12, 12, 16, 16, 20, 16, 20, 16, 20, 0};
constexpr Row kBitChangeImmediate = {12, 0, 16, 16, 20, 20, 24, 20, 24, 0, 0, 0};
constexpr Row kBitClearImmediate = {16, 0, 16, 16, 20, 20, 24, 20, 24, 0, 0, 0};

constexpr Row kJump = {0, 0, 8, 0, 0, 12, 16, 12, 12, 12, 16, 0};
constexpr Row kJumpSubroutine = {0, 0, 16, 0, 0, 20, 24, 20, 20, 20, 24, 0};
constexpr Row kLoadAddress = {0, 0, 4, 0, 0, 8, 16, 8, 12, 8, 12, 0};
constexpr Row kPushAddress = {0, 0, 12, 0, 0, 16, 20, 16, 20, 16, 20, 0};
constexpr Row kCheckInBounds = {12, 0, 16, 16, 16, 20, 20, 20, 24, 20, 20, 16};
constexpr Row kMoveToStatus = {12, 0, 16, 16, 20, 20, 24, 20, 24, 20, 24, 16};  // CCR and SR
constexpr Row kMoveFromStatus = {8, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};
constexpr Row kShiftMemory = {0, 0, 12, 12, 16, 16, 20, 16, 20, 0, 0, 0};

// The 68000's effective-address time of a word operand, which the data-dependent instructions
// (multiply, divide, CHK) add to their own.
constexpr Row kOperandTime = {0, 0, 4, 4, 6, 8, 10, 8, 12, 8, 10, 4};

// MOVEM's addressing time.
constexpr Row kMoveMultipleAddressing = {0, 0, 0, 0, 0, 4, 6, 4, 8, 4, 6, 0};

template <Size S>
constexpr const Row& kArithmeticToReg =
    S == Size::Long ? kArithmeticLongToReg : kArithmeticByteWordToReg;
template <Size S>
constexpr const Row& kArithmeticToMemory =
    S == Size::Long ? kArithmeticLongToMemory : kArithmeticByteWordToMemory;

}  // namespace orvet::cpu::timing
