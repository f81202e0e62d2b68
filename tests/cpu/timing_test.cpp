// Instruction times on the machine's bus, one instruction (or a short sequence) at a time.
//
// The ST's shared bus gives the processor one access slot every 4 cycles, so every instruction's
// time is the 68000's own time stretched to whole slots, and a device sees each access at a fixed
// point of the instruction. These tests hold the core to the published times: one row per
// instruction and addressing mode, the data-dependent times (shifts, multiply, divide, CHK), the
// short-branch rounding, the exceptions, and the moments at which accesses reach a device.
//
// Each group runs all its rows and reports every row that disagrees in one failure, as
// "instruction | mode or detail | expected N, got M".

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cpu/cpu.h"
#include "cpu/cpu_internal.h"
#include "mapped_machine.h"

namespace orvet::test {
namespace {

constexpr uint32_t kCode = kCodeStart;

// ---- Operands ------------------------------------------------------------------------------

using cpu::Size;

constexpr uint32_t ByteCount(Size size) {
    return size == Size::Byte ? 1 : size == Size::Word ? 2 : 4;
}
// Size field of most instructions, bits 7-6.
constexpr uint16_t SizeBits(Size size) {
    return size == Size::Byte ? 0x00 : size == Size::Word ? 0x40 : 0x80;
}
constexpr const char* SizeSuffix(Size size) {
    return size == Size::Byte ? ".B" : size == Size::Word ? ".W" : ".L";
}

// The addressing modes in the order the cycle tables list them.
using cpu::Mode;
using enum cpu::Mode;

constexpr const char* kModeNames[kModeCount] = {"Dn",    "An",      "(An)",      "(An)+",
                                                "-(An)", "d16(An)", "d8(An,Xn)", "abs.W",
                                                "abs.L", "d16(PC)", "d8(PC,Xn)", "#imm"};

constexpr Mode kAllModes[] = {kDataReg, kAddrReg,  kIndirect, kPostInc, kPreDec,  kDisp16,
                              kIndex,   kAbsShort, kAbsLong,  kPcDisp,  kPcIndex, kImmediate};
// Data modes: everything but An.
constexpr Mode kDataModes[] = {kDataReg,  kIndirect, kPostInc, kPreDec,  kDisp16,   kIndex,
                               kAbsShort, kAbsLong,  kPcDisp,  kPcIndex, kImmediate};

// Register values every case starts from. A6 is the index register of the indexed modes; the
// operand of Dn and An modes is register 2, of the memory modes A0.
constexpr uint32_t kAddressRegisters[7] = {0x4000, 0x5000, 0x5800, 0x6000, 0x6800, 0x7000, 0x20};
constexpr uint16_t kDisplacement = 0x0010;
constexpr uint16_t kIndexExtension = 0xE808;  // A6.L, displacement 8
constexpr uint16_t kAbsoluteShort = 0x4100;
constexpr uint32_t kAbsoluteLong = 0x4200;
constexpr uint16_t kPcDisplacement = 0x0100;
constexpr uint16_t kPcIndexExtension = 0xE810;  // A6.L, displacement 0x10

struct EncodedOperand {
    uint16_t field = 0;  // mode and register as in bits 5-0 of an opcode
    std::vector<uint16_t> extension;
    unsigned reg = 0;
    bool inMemory = false;
    uint32_t address = 0;
};

// `extensionAddress` is where the operand's first extension word will sit: PC-relative modes
// count from it.
EncodedOperand EncodeOperand(Mode mode, Size size, uint32_t immediate, uint32_t extensionAddress) {
    EncodedOperand operand;
    const unsigned reg = (mode == kDataReg || mode == kAddrReg) ? 2 : 0;
    const uint32_t base = kAddressRegisters[reg];
    operand.reg = reg;
    operand.inMemory = mode >= kIndirect && mode != kImmediate;
    switch (mode) {
        case kDataReg:
            operand.field = static_cast<uint16_t>(reg);
            break;
        case kAddrReg:
            operand.field = static_cast<uint16_t>(0x08 | reg);
            break;
        case kIndirect:
            operand.field = static_cast<uint16_t>(0x10 | reg);
            operand.address = base;
            break;
        case kPostInc:
            operand.field = static_cast<uint16_t>(0x18 | reg);
            operand.address = base;
            break;
        case kPreDec:
            operand.field = static_cast<uint16_t>(0x20 | reg);
            operand.address = base - ByteCount(size);
            break;
        case kDisp16:
            operand.field = static_cast<uint16_t>(0x28 | reg);
            operand.extension = {kDisplacement};
            operand.address = base + kDisplacement;
            break;
        case kIndex:
            operand.field = static_cast<uint16_t>(0x30 | reg);
            operand.extension = {kIndexExtension};
            operand.address = base + kAddressRegisters[6] + (kIndexExtension & 0xFF);
            break;
        case kAbsShort:
            operand.field = 0x38;
            operand.extension = {kAbsoluteShort};
            operand.address = kAbsoluteShort;
            break;
        case kAbsLong:
            operand.field = 0x39;
            operand.extension = {static_cast<uint16_t>(kAbsoluteLong >> 16),
                                 static_cast<uint16_t>(kAbsoluteLong)};
            operand.address = kAbsoluteLong;
            break;
        case kPcDisp:
            operand.field = 0x3A;
            operand.extension = {kPcDisplacement};
            operand.address = extensionAddress + kPcDisplacement;
            break;
        case kPcIndex:
            operand.field = 0x3B;
            operand.extension = {kPcIndexExtension};
            operand.address = extensionAddress + kAddressRegisters[6] + (kPcIndexExtension & 0xFF);
            break;
        case kImmediate:
            operand.field = 0x3C;
            if (size == Size::Long) {
                operand.extension = {static_cast<uint16_t>(immediate >> 16),
                                     static_cast<uint16_t>(immediate)};
            } else {
                operand.extension = {
                    static_cast<uint16_t>(immediate & (size == Size::Byte ? 0xFFu : 0xFFFFu))};
            }
            break;
        case kModeCount:
            break;
    }
    return operand;
}

// MOVE's destination field: register in bits 11-9, mode in bits 8-6.
constexpr uint16_t MoveDestinationField(uint16_t field) {
    return static_cast<uint16_t>(((field & 7) << 9) | ((field >> 3) << 6));
}

void PlaceOperand(MappedMachine& machine, const EncodedOperand& operand, Mode mode, Size size,
                  uint32_t value) {
    if (mode == kDataReg) machine.cpu.d[operand.reg] = value;
    if (mode == kAddrReg) machine.cpu.a[operand.reg] = value;
    if (!operand.inMemory) return;
    if (size == Size::Byte) machine.setByte(operand.address, static_cast<uint8_t>(value));
    if (size == Size::Word) machine.setWord(operand.address, static_cast<uint16_t>(value));
    if (size == Size::Long) machine.setLong(operand.address, value);
}

// The 68000's effective-address time of a word operand, which multiply, divide and CHK add to
// their own time.
constexpr std::array<int, kModeCount> kOperandTime = {0, 0, 4, 4, 6, 8, 10, 8, 12, 8, 10, 4};

constexpr int RoundUpToSlot(int cycles) {
    return (cycles + 3) & ~3;
}

// ---- Cases and their runner ------------------------------------------------------------------

constexpr int kTrapCycles = 36;  // TRAP, illegal, line A, line F, privilege violation
constexpr int kIllegalVector = 4;

struct TimingCase {
    std::string instruction;
    std::string detail;  // addressing mode or data
    std::vector<uint16_t> code;
    std::function<void(MappedMachine&)> prepare;
    int expected = 0;
    int expectedMax = 0;  // nonzero: any time from `expected` to this agrees
    std::vector<int32_t> slices = {4};
    int expectedVector = -1;  // the exception the case ends in; -1 none
    std::optional<uint32_t> expectedPc = {};
};

TimingCase Case(std::string instruction, std::string detail, std::vector<uint16_t> code,
                int expected, std::function<void(MappedMachine&)> prepare = {}) {
    return {.instruction = std::move(instruction),
            .detail = std::move(detail),
            .code = std::move(code),
            .prepare = std::move(prepare),
            .expected = expected};
}

std::function<void(MappedMachine&)> WithCcr(uint8_t ccr) {
    return [=](MappedMachine& machine) {
        machine.cpu.sr = static_cast<uint16_t>((machine.cpu.sr & 0xFF00) | ccr);
    };
}

void StartState(MappedMachine& machine) {
    for (int index = 0; index < 7; ++index) machine.cpu.a[index] = kAddressRegisters[index];
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%X", value);
    return text;
}

// ORVET_TIMING_VERBOSE=1 prints every row with the time it took, agreeing or not.
bool Verbose() {
    const char* setting = std::getenv("ORVET_TIMING_VERBOSE");
    return setting != nullptr && *setting != '\0' && *setting != '0';
}

// Runs the case on a fresh machine; empty when it agrees, otherwise what went wrong. The slices
// end before the vector's stub runs, so a case that ends in an exception times the exception
// alone and leaves the PC at the start of that vector's stub.
std::string RunCase(const TimingCase& timingCase, int32_t& cycles) {
    MappedMachine machine;
    StartState(machine);
    machine.placeCode(kCode, timingCase.code);
    if (timingCase.prepare) timingCase.prepare(machine);

    cycles = 0;
    std::string problem;
    for (int32_t slice : timingCase.slices) {
        const uint32_t result = machine.run(slice);
        cycles += machine.lastRunCycles;
        if (result != kCpuRunEnded) {
            problem += " run ended with result " + Hex(result) + ";";
            break;
        }
    }

    const uint32_t pc = machine.cpu.pc & 0xFFFFFF;
    const bool inStubs = pc >= kVectorStubs && pc < MappedMachine::stubFor(256);
    if (timingCase.expectedVector >= 0) {
        if (pc != MappedMachine::stubFor(static_cast<uint32_t>(timingCase.expectedVector))) {
            problem += " expected exception vector " + std::to_string(timingCase.expectedVector) +
                       ", PC ended at " + Hex(pc) + ";";
        }
    } else if (inStubs && !timingCase.expectedPc) {
        problem += " took exception vector " + std::to_string((pc - kVectorStubs) / 4) + ";";
    }
    if (timingCase.expectedPc && pc != *timingCase.expectedPc) {
        problem += " PC ended at " + Hex(pc) + ", expected " + Hex(*timingCase.expectedPc) + ";";
    }

    const int highest = timingCase.expectedMax ? timingCase.expectedMax : timingCase.expected;
    if (cycles < timingCase.expected || cycles > highest) {
        problem += " expected " + std::to_string(timingCase.expected);
        if (timingCase.expectedMax) problem += "-" + std::to_string(timingCase.expectedMax);
        problem += ", got " + std::to_string(cycles) + ";";
    }
    return problem;
}

// Gathers a group's disagreeing rows into one failure.
struct GroupReport {
    const char* group;
    size_t rows = 0;
    int disagreements = 0;
    std::ostringstream details = {};

    void add(const std::string& row, const std::string& problem) {
        ++rows;
        if (problem.empty()) return;
        ++disagreements;
        details << "  " << row << " |" << problem << "\n";
    }
    void finish() {
        std::printf("[ timing ] %s: %zu rows, %d disagree\n", group, rows, disagreements);
        if (disagreements) {
            ADD_FAILURE() << group << ": " << disagreements << " of " << rows << " rows disagree:\n"
                          << details.str();
        }
    }
};

void CheckCases(const char* group, const std::vector<TimingCase>& cases) {
    GroupReport report{group};
    for (const TimingCase& timingCase : cases) {
        int32_t cycles = 0;
        const std::string problem = RunCase(timingCase, cycles);
        if (Verbose()) {
            std::printf("  %s | %s | %d cycles%s\n", timingCase.instruction.c_str(),
                        timingCase.detail.c_str(), cycles, problem.c_str());
        }
        report.add(timingCase.instruction + " | " + timingCase.detail, problem);
    }
    report.finish();
}

class CpuTiming : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CpuBuildDispatch(); }
};

// ---- The table by addressing mode ------------------------------------------------------------

using ModeCycles = std::array<int, kModeCount>;
constexpr int kIll = -1;  // an illegal encoding: the illegal-instruction exception

enum class OperandField { Source, MoveDestination };

struct ModeRow {
    std::string instruction;
    uint16_t opcode = 0;  // effective-address field clear
    Size size = Size::Word;
    ModeCycles cycles = {};             // 0: the mode does not exist for the instruction
    std::vector<uint16_t> prefix = {};  // words between the opcode and the operand's extension
    OperandField field = OperandField::Source;
    uint32_t operandValue = 0;
    uint32_t d1 = 0;
    uint8_t ccr = 0;
};

// clang-format off
// Columns: Dn, An, (An), (An)+, -(An), d16(An), d8(An,Xn), abs.W, abs.L, d16(PC), d8(PC,Xn), #imm.
constexpr ModeCycles kMoveByteWordToData  = {4, 4,  8,  8, 12, 12, 16, 12, 16, 12, 16,  8};
constexpr ModeCycles kMoveLongToData      = {4, 4, 12, 12, 16, 16, 20, 16, 20, 16, 20, 12};
constexpr ModeCycles kMoveByteWordFromData= {4, 0,  8,  8,  8, 12, 16, 12, 16,  0,  0,  0};
constexpr ModeCycles kMoveLongFromData    = {4, 0, 12, 12, 12, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kArithmeticByte      = {4, kIll, 8, 8, 12, 12, 16, 12, 16, 12, 16, 8};
constexpr ModeCycles kArithmeticWord      = {4, 4,  8,  8, 12, 12, 16, 12, 16, 12, 16,  8};
constexpr ModeCycles kArithmeticLong      = {8, 8, 16, 16, 20, 20, 24, 20, 24, 20, 24, 16};
constexpr ModeCycles kLogicLong           = {8, kIll, 16, 16, 20, 20, 24, 20, 24, 20, 24, 16};
constexpr ModeCycles kToMemoryByteWord    = {0, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kToMemoryLong        = {0, 0, 20, 20, 24, 24, 28, 24, 28,  0,  0,  0};
constexpr ModeCycles kAddressWord         = {8, 8, 12, 12, 16, 16, 20, 16, 20, 16, 20, 12};
constexpr ModeCycles kAddressLong         = {8, 8, 16, 16, 16, 20, 20, 20, 24, 20, 20, 16};
constexpr ModeCycles kCompareAddressWord  = {8, 8, 12, 12, 12, 16, 16, 16, 20, 16, 16, 12};
constexpr ModeCycles kImmediateByteWord   = {8, 0, 16, 16, 20, 20, 24, 20, 24,  0,  0,  0};
constexpr ModeCycles kImmediateLong       = {16, 0, 28, 28, 32, 32, 36, 32, 36, 0,  0,  0};
constexpr ModeCycles kCompareImmByteWord  = {8, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kCompareImmLong      = {16, 0, 20, 20, 24, 24, 28, 24, 28, 0,  0,  0};
constexpr ModeCycles kQuickWord           = {4, 8, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kQuickLong           = {8, 8, 20, 20, 24, 24, 28, 24, 28,  0,  0,  0};
constexpr ModeCycles kNegateByteWord      = {4, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kNegateLong          = {8, 0, 20, 20, 24, 24, 28, 24, 28,  0,  0,  0};
constexpr ModeCycles kClearByteWord       = {4, 0, 12, 12, 12, 16, 16, 16, 20,  0,  0,  0};
constexpr ModeCycles kTestByteWord        = {4, 0,  8,  8, 12, 12, 16, 12, 16,  0,  0,  0};
constexpr ModeCycles kTestLong            = {4, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kSetTrue             = {8, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kSetFalse            = {4, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kNegateDecimal       = {8, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kTestAndSet          = {4, 0, 20, 20, 20, 24, 24, 24, 28,  0,  0,  0};
constexpr ModeCycles kBitTestRegister     = {8, 0,  8,  8, 12, 12, 16, 12, 16, 12, 16,  8};
constexpr ModeCycles kBitChangeRegister   = {8, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
constexpr ModeCycles kBitClearRegister    = {12, 0, 12, 12, 16, 16, 20, 16, 20, 0,  0,  0};
constexpr ModeCycles kBitTestImmediate    = {12, 0, 12, 12, 16, 16, 20, 16, 20, 16, 20, 0};
constexpr ModeCycles kBitChangeImmediate  = {12, 0, 16, 16, 20, 20, 24, 20, 24, 0,  0,  0};
constexpr ModeCycles kBitClearImmediate   = {16, 0, 16, 16, 20, 20, 24, 20, 24, 0,  0,  0};
constexpr ModeCycles kJump                = {0, 0,  8,  0,  0, 12, 16, 12, 12, 12, 16,  0};
constexpr ModeCycles kJumpSubroutine      = {0, 0, 16,  0,  0, 20, 24, 20, 20, 20, 24,  0};
constexpr ModeCycles kLoadAddress         = {0, 0,  4,  0,  0,  8, 16,  8, 12,  8, 12,  0};
constexpr ModeCycles kPushAddress         = {0, 0, 12,  0,  0, 16, 20, 16, 20, 16, 20,  0};
constexpr ModeCycles kCheckInBounds       = {12, 0, 16, 16, 16, 20, 20, 20, 24, 20, 20, 16};
constexpr ModeCycles kMoveToStatus        = {12, 0, 16, 16, 20, 20, 24, 20, 24, 20, 24, 16};
constexpr ModeCycles kMoveFromStatus      = {8, 0, 12, 12, 16, 16, 20, 16, 20,  0,  0,  0};
// clang-format on

// The register operand of two-operand instructions is D1 (or A1), in bits 11-9.
constexpr uint16_t kRegisterOne = 1 << 9;

std::vector<ModeRow> ModeTableRows() {
    std::vector<ModeRow> rows;
    // Gives the row back for the few that need more than these fields.
    auto add = [&](std::string instruction, uint16_t opcode, Size size, const ModeCycles& cycles,
                   std::vector<uint16_t> prefix = {}) -> ModeRow& {
        return rows.emplace_back(
            ModeRow{std::move(instruction), opcode, size, cycles, std::move(prefix)});
    };
    // MOVE: size field 1 byte, 3 word, 2 long.
    const OperandField destination = OperandField::MoveDestination;
    add("MOVE.B <ea>,D1", 0x1200, Size::Byte, kMoveByteWordToData);
    add("MOVE.W <ea>,D1", 0x3200, Size::Word, kMoveByteWordToData);
    add("MOVE.L <ea>,D1", 0x2200, Size::Long, kMoveLongToData);
    add("MOVE.B D0,<ea>", 0x1000, Size::Byte, kMoveByteWordFromData).field = destination;
    add("MOVE.W D0,<ea>", 0x3000, Size::Word, kMoveByteWordFromData).field = destination;
    add("MOVE.L D0,<ea>", 0x2000, Size::Long, kMoveLongFromData).field = destination;
    auto name = [](const char* mnemonic, Size size, const char* operands) {
        return std::string(mnemonic) + SizeSuffix(size) + " " + operands;
    };
    struct Family {
        const char* mnemonic;
        uint16_t line;
    };
    for (Size size : {Size::Byte, Size::Word, Size::Long}) {
        const bool isLong = size == Size::Long;
        const uint16_t sizeBits = SizeBits(size);
        const ModeCycles& arithmetic = size == Size::Byte   ? kArithmeticByte
                                       : size == Size::Word ? kArithmeticWord
                                                            : kArithmeticLong;
        for (Family family :
             {Family{"ADD", 0xD000}, Family{"SUB", 0x9000}, Family{"CMP", 0xB000}}) {
            add(name(family.mnemonic, size, "<ea>,D1"), family.line | kRegisterOne | sizeBits, size,
                arithmetic);
        }
        // AND and OR have no An column at any size; byte and word take ADD.B's times.
        for (Family family : {Family{"AND", 0xC000}, Family{"OR", 0x8000}}) {
            add(name(family.mnemonic, size, "<ea>,D1"), family.line | kRegisterOne | sizeBits, size,
                isLong ? kLogicLong : kArithmeticByte);
        }
        // Dn,<ea>: opmode 4-6. With a data register destination these encodings are ADDX,
        // SUBX, ABCD and SBCD, so only EOR has a Dn column; it modifies its operand in NEG's time.
        for (Family family : {Family{"ADD", 0xD000}, Family{"SUB", 0x9000}, Family{"AND", 0xC000},
                              Family{"OR", 0x8000}}) {
            add(name(family.mnemonic, size, "D1,<ea>"),
                family.line | kRegisterOne | 0x0100 | sizeBits, size,
                isLong ? kToMemoryLong : kToMemoryByteWord);
        }
        add(name("EOR", size, "D1,<ea>"), 0xB000 | kRegisterOne | 0x0100 | sizeBits, size,
            isLong ? kNegateLong : kNegateByteWord);

        // Immediate operations: the immediate sits between the opcode and the operand's words.
        const std::vector<uint16_t> immediate =
            isLong ? std::vector<uint16_t>{0x0000, 0x0001} : std::vector<uint16_t>{1};
        for (Family family : {Family{"ORI", 0x0000}, Family{"ANDI", 0x0200}, Family{"SUBI", 0x0400},
                              Family{"ADDI", 0x0600}, Family{"EORI", 0x0A00}}) {
            add(name(family.mnemonic, size, "#1,<ea>"), family.line | sizeBits, size,
                isLong ? kImmediateLong : kImmediateByteWord, immediate);
        }
        add(name("CMPI", size, "#1,<ea>"), 0x0C00 | sizeBits, size,
            isLong ? kCompareImmLong : kCompareImmByteWord, immediate);

        // ADDQ.B modifies its operand in NEG.B's time.
        const ModeCycles& quick = size == Size::Byte   ? kNegateByteWord
                                  : size == Size::Word ? kQuickWord
                                                       : kQuickLong;
        add(name("ADDQ", size, "#1,<ea>"), 0x5000 | kRegisterOne | sizeBits, size, quick);
        add(name("SUBQ", size, "#1,<ea>"), 0x5100 | kRegisterOne | sizeBits, size, quick);
        for (Family family :
             {Family{"NEGX", 0x4000}, Family{"NEG", 0x4400}, Family{"NOT", 0x4600}}) {
            add(name(family.mnemonic, size, "<ea>"), family.line | sizeBits, size,
                isLong ? kNegateLong : kNegateByteWord);
        }
        add(name("CLR", size, "<ea>"), 0x4200 | sizeBits, size,
            isLong ? kNegateLong : kClearByteWord);
        add(name("TST", size, "<ea>"), 0x4A00 | sizeBits, size, isLong ? kTestLong : kTestByteWord);
    }

    add("ADDA.W <ea>,A1", 0xD2C0, Size::Word, kAddressWord);
    add("SUBA.W <ea>,A1", 0x92C0, Size::Word, kAddressWord);
    add("ADDA.L <ea>,A1", 0xD3C0, Size::Long, kAddressLong);
    add("SUBA.L <ea>,A1", 0x93C0, Size::Long, kAddressLong);
    add("CMPA.L <ea>,A1", 0xB3C0, Size::Long, kAddressLong);
    add("CMPA.W <ea>,A1", 0xB2C0, Size::Word, kCompareAddressWord);

    add("ST <ea>", 0x50C0, Size::Byte, kSetTrue);
    add("SF <ea>", 0x51C0, Size::Byte, kSetFalse);
    add("SEQ <ea> (Z set)", 0x57C0, Size::Byte, kSetTrue).ccr = 0x04;
    add("SEQ <ea> (Z clear)", 0x57C0, Size::Byte, kSetFalse);
    add("NBCD <ea>", 0x4800, Size::Byte, kNegateDecimal);
    add("TAS <ea>", 0x4AC0, Size::Byte, kTestAndSet);

    // Bit operations: D1 holds the bit number, or the word after the opcode does.
    add("BTST D1,<ea>", 0x0300, Size::Byte, kBitTestRegister).d1 = 3;
    add("BCHG D1,<ea>", 0x0340, Size::Byte, kBitChangeRegister).d1 = 3;
    add("BSET D1,<ea>", 0x03C0, Size::Byte, kBitChangeRegister).d1 = 3;
    add("BCLR D1,<ea>", 0x0380, Size::Byte, kBitClearRegister).d1 = 3;
    add("BTST #3,<ea>", 0x0800, Size::Byte, kBitTestImmediate, {3});
    add("BCHG #3,<ea>", 0x0840, Size::Byte, kBitChangeImmediate, {3});
    add("BSET #3,<ea>", 0x08C0, Size::Byte, kBitChangeImmediate, {3});
    add("BCLR #3,<ea>", 0x0880, Size::Byte, kBitClearImmediate, {3});

    add("JMP <ea>", 0x4EC0, Size::Word, kJump);
    add("JSR <ea>", 0x4E80, Size::Word, kJumpSubroutine);
    add("LEA <ea>,A1", 0x43C0, Size::Long, kLoadAddress);
    add("PEA <ea>", 0x4840, Size::Long, kPushAddress);
    ModeRow& check = add("CHK <ea>,D1 (D1 = 5, bound 100)", 0x4380, Size::Word, kCheckInBounds);
    check.operandValue = 100;
    check.d1 = 5;
    add("MOVE <ea>,CCR", 0x44C0, Size::Word, kMoveToStatus);
    add("MOVE <ea>,SR ($2700)", 0x46C0, Size::Word, kMoveToStatus).operandValue = 0x2700;
    add("MOVE SR,<ea>", 0x40C0, Size::Word, kMoveFromStatus);

    // Memory shifts read, modify and write one word.
    for (Family shift : {Family{"ASR", 0xE0C0}, Family{"ASL", 0xE1C0}, Family{"LSR", 0xE2C0},
                         Family{"LSL", 0xE3C0}, Family{"ROXR", 0xE4C0}, Family{"ROXL", 0xE5C0},
                         Family{"ROR", 0xE6C0}, Family{"ROL", 0xE7C0}}) {
        add(std::string(shift.mnemonic) + " <ea>", shift.line, Size::Word, kToMemoryByteWord);
    }
    return rows;
}

// One case for an instruction with one effective-address operand in `mode`.
TimingCase OperandCase(std::string instruction, uint16_t opcode, Size size, Mode mode,
                       const std::vector<uint16_t>& prefix, OperandField field,
                       uint32_t operandValue, std::function<void(MappedMachine&)> prepare) {
    const uint32_t extensionAddress = kCode + 2 + 2 * static_cast<uint32_t>(prefix.size());
    const EncodedOperand operand = EncodeOperand(mode, size, operandValue, extensionAddress);
    const uint16_t fieldBits =
        field == OperandField::Source ? operand.field : MoveDestinationField(operand.field);
    std::vector<uint16_t> code = {static_cast<uint16_t>(opcode | fieldBits)};
    code.insert(code.end(), prefix.begin(), prefix.end());
    code.insert(code.end(), operand.extension.begin(), operand.extension.end());

    TimingCase timingCase;
    timingCase.instruction = std::move(instruction);
    timingCase.detail = kModeNames[mode];
    timingCase.code = std::move(code);
    timingCase.prepare = [=](MappedMachine& machine) {
        PlaceOperand(machine, operand, mode, size, operandValue);
        if (prepare) prepare(machine);
    };
    return timingCase;
}

std::vector<TimingCase> ModeTableCases() {
    std::vector<TimingCase> cases;
    for (const ModeRow& row : ModeTableRows()) {
        for (Mode mode : kAllModes) {
            const int cycles = row.cycles[mode];
            if (cycles == 0) continue;
            const uint32_t d1 = row.d1;
            const uint8_t ccr = row.ccr;
            TimingCase timingCase = OperandCase(
                row.instruction, row.opcode, row.size, mode, row.prefix, row.field,
                row.operandValue, [=](MappedMachine& machine) {
                    machine.cpu.d[1] = d1;
                    machine.cpu.sr = static_cast<uint16_t>((machine.cpu.sr & 0xFF00) | ccr);
                });
            if (cycles == kIll) {
                timingCase.detail += " (illegal)";
                timingCase.expected = kTrapCycles;
                timingCase.expectedVector = kIllegalVector;
            } else {
                timingCase.expected = cycles;
            }
            cases.push_back(std::move(timingCase));
        }
    }
    return cases;
}

TEST_F(CpuTiming, EveryInstructionAndAddressingModeTakesItsTableTime) {
    CheckCases("addressing-mode table", ModeTableCases());
}

// ---- Data-dependent times --------------------------------------------------------------------

std::vector<TimingCase> ShiftCases() {
    const char* const mnemonics[4][2] = {
        {"ASR", "ASL"}, {"LSR", "LSL"}, {"ROXR", "ROXL"}, {"ROR", "ROL"}};
    std::vector<TimingCase> cases;
    for (uint16_t type = 0; type < 4; ++type) {
        for (uint16_t left = 0; left < 2; ++left) {
            for (Size size : {Size::Byte, Size::Word, Size::Long}) {
                const int fixed = size == Size::Long ? 8 : 6;
                const std::string mnemonic = std::string(mnemonics[type][left]) + SizeSuffix(size);
                const uint16_t base =
                    static_cast<uint16_t>(0xE000 | left << 8 | SizeBits(size) | type << 3);
                // Count in the opcode: 1-7, with 0 standing for 8.
                for (int count : {1, 2, 3, 8}) {
                    const uint16_t opcode = static_cast<uint16_t>(base | (count & 7) << 9);
                    cases.push_back(Case(mnemonic + " #" + std::to_string(count) + ",D0", "Dn",
                                         {opcode}, RoundUpToSlot(fixed + 2 * count)));
                }
                // Count in D1, taken modulo 64.
                for (uint32_t count : {0u, 1u, 2u, 17u, 63u, 64u, 65u}) {
                    const uint16_t opcode = static_cast<uint16_t>(base | kRegisterOne | 0x20);
                    cases.push_back(Case(mnemonic + " D1,D0", "D1 = " + std::to_string(count),
                                         {opcode},
                                         RoundUpToSlot(fixed + 2 * static_cast<int>(count % 64)),
                                         [=](MappedMachine& machine) {
                                             machine.cpu.d[0] = 0x80C0F00F;
                                             machine.cpu.d[1] = count;
                                         }));
                }
            }
        }
    }
    return cases;
}

TEST_F(CpuTiming, ShiftsTakeTwoCyclesPerPlace) {
    CheckCases("shifts and rotates of a register", ShiftCases());
}

// Multiply, divide and CHK over every data addressing mode with the given source value.
TimingCase ArithmeticCase(const std::string& instruction, uint16_t opcode, Mode mode,
                          uint16_t source, uint32_t d1, int expected) {
    TimingCase timingCase =
        OperandCase(instruction, opcode, Size::Word, mode, {}, OperandField::Source, source,
                    [=](MappedMachine& machine) { machine.cpu.d[1] = d1; });
    timingCase.detail += " (source " + Hex(source) + ", D1 = " + Hex(d1) + ")";
    timingCase.expected = expected;
    return timingCase;
}

int MultiplySignedTransitions(uint16_t source) {
    // Places where bit k differs from bit k-1, with a 0 below bit 0.
    return std::popcount(static_cast<uint16_t>(source ^ (source << 1)));
}

std::vector<TimingCase> MultiplyDivideCases() {
    std::vector<TimingCase> cases;
    constexpr uint16_t kMultiplyUnsigned = 0xC0C0 | kRegisterOne;
    constexpr uint16_t kMultiplySigned = 0xC1C0 | kRegisterOne;
    constexpr uint16_t kDivideUnsigned = 0x80C0 | kRegisterOne;
    constexpr uint16_t kDivideSigned = 0x81C0 | kRegisterOne;

    for (Mode mode : kDataModes) {
        const int operandTime = kOperandTime[mode];
        for (uint16_t source : {uint16_t{0}, uint16_t{0xFFFF}}) {
            cases.push_back(
                ArithmeticCase("MULU <ea>,D1", kMultiplyUnsigned, mode, source, 3,
                               RoundUpToSlot(38 + 2 * std::popcount(source) + operandTime)));
            cases.push_back(ArithmeticCase(
                "MULS <ea>,D1", kMultiplySigned, mode, source, 3,
                RoundUpToSlot(38 + 2 * MultiplySignedTransitions(source) + operandTime)));
        }
        // Quotient fits / overflows: the time is the same.
        cases.push_back(ArithmeticCase("DIVU <ea>,D1", kDivideUnsigned, mode, 7, 100000,
                                       RoundUpToSlot(133 + operandTime)));
        cases.push_back(ArithmeticCase("DIVU <ea>,D1 (overflow)", kDivideUnsigned, mode, 1,
                                       0x00010000, RoundUpToSlot(133 + operandTime)));
        cases.push_back(ArithmeticCase("DIVS <ea>,D1", kDivideSigned, mode, 7,
                                       static_cast<uint32_t>(-100000),
                                       RoundUpToSlot(150 + operandTime)));
        cases.push_back(ArithmeticCase("DIVS <ea>,D1 (overflow)", kDivideSigned, mode, 0xFFFF,
                                       0x80000000, RoundUpToSlot(150 + operandTime)));
        for (uint16_t opcode : {kDivideUnsigned, kDivideSigned}) {
            TimingCase byZero = ArithmeticCase(
                opcode == kDivideUnsigned ? "DIVU <ea>,D1 by zero" : "DIVS <ea>,D1 by zero", opcode,
                mode, 0, 100000, RoundUpToSlot(38 + operandTime));
            byZero.expectedVector = 5;
            cases.push_back(std::move(byZero));
        }
        // CHK with the bound 100: above it and below 0 both trap.
        for (uint32_t d1 : {200u, 0xFFFFu}) {
            TimingCase outOfBounds = ArithmeticCase(
                d1 == 200 ? "CHK <ea>,D1 above the bound" : "CHK <ea>,D1 below 0",
                0x4180 | kRegisterOne, mode, 100, d1, RoundUpToSlot(40 + operandTime));
            outOfBounds.expectedVector = 6;
            cases.push_back(std::move(outOfBounds));
        }
    }
    // More source patterns from a register: the time follows the bits.
    for (uint16_t source : {uint16_t{0x0001}, uint16_t{0x00FF}, uint16_t{0x5555}, uint16_t{0x8000},
                            uint16_t{0xAAAA}}) {
        cases.push_back(ArithmeticCase("MULU <ea>,D1", kMultiplyUnsigned, kDataReg, source, 3,
                                       RoundUpToSlot(38 + 2 * std::popcount(source))));
        cases.push_back(ArithmeticCase("MULS <ea>,D1", kMultiplySigned, kDataReg, source, 3,
                                       RoundUpToSlot(38 + 2 * MultiplySignedTransitions(source))));
    }
    // Worked values: a 0xFFFF register source multiplies in 38 + 32, an alternating pattern
    // flips sign at every bit.
    cases.push_back(
        ArithmeticCase("MULU D2,D1 ($FFFF)", kMultiplyUnsigned, kDataReg, 0xFFFF, 3, 72));
    cases.push_back(ArithmeticCase("MULS D2,D1 ($5555)", kMultiplySigned, kDataReg, 0x5555, 3, 72));
    cases.push_back(ArithmeticCase("MULS D2,D1 ($FFFF)", kMultiplySigned, kDataReg, 0xFFFF, 3, 40));
    // CHK at the edges of the bound stays in bounds.
    for (uint32_t d1 : {0u, 100u}) {
        cases.push_back(ArithmeticCase("CHK <ea>,D1 at the edge", 0x4180 | kRegisterOne, kDataReg,
                                       100, d1, 12));
    }
    return cases;
}

TEST_F(CpuTiming, MultiplyDivideAndCheckTimesFollowTheirData) {
    CheckCases("multiply, divide, CHK", MultiplyDivideCases());
}

// ---- Branches, returns and the other fixed times ---------------------------------------------

struct ConditionFlags {
    const char* name;
    uint8_t trueCcr;
    uint8_t falseCcr;
};
constexpr uint8_t kCarry = 0x01, kOverflow = 0x02, kZero = 0x04, kNegative = 0x08;
constexpr ConditionFlags kConditions[16] = {
    {"T", 0, 0},          {"F", 0, 0},          {"HI", 0, kCarry},    {"LS", kCarry, 0},
    {"CC", 0, kCarry},    {"CS", kCarry, 0},    {"NE", 0, kZero},     {"EQ", kZero, 0},
    {"VC", 0, kOverflow}, {"VS", kOverflow, 0}, {"PL", 0, kNegative}, {"MI", kNegative, 0},
    {"GE", 0, kNegative}, {"LT", kNegative, 0}, {"GT", 0, kZero},     {"LE", kZero, 0}};

TimingCase WithPc(TimingCase timingCase, uint32_t pc) {
    timingCase.expectedPc = pc;
    return timingCase;
}

std::vector<TimingCase> BranchCases() {
    std::vector<TimingCase> cases;
    // BRA.S +2 lands at kCode + 4, BRA.W +4 at kCode + 6; a fresh processor has no rounding to
    // give back.
    cases.push_back(WithPc(Case("BRA.S", "taken", {0x6002}, 12), kCode + 4));
    cases.push_back(WithPc(Case("BRA.W", "taken", {0x6000, 0x0004}, 12), kCode + 6));
    for (uint16_t condition = 2; condition < 16; ++condition) {
        const ConditionFlags& flags = kConditions[condition];
        const std::string mnemonic = std::string("B") + flags.name;
        const uint16_t shortBranch = static_cast<uint16_t>(0x6000 | condition << 8 | 0x02);
        const uint16_t wordBranch = static_cast<uint16_t>(0x6000 | condition << 8);
        cases.push_back(WithPc(
            Case(mnemonic + ".S", "taken", {shortBranch}, 12, WithCcr(flags.trueCcr)), kCode + 4));
        cases.push_back(
            WithPc(Case(mnemonic + ".S", "not taken", {shortBranch}, 8, WithCcr(flags.falseCcr)),
                   kCode + 2));
        cases.push_back(
            WithPc(Case(mnemonic + ".W", "taken", {wordBranch, 0x0004}, 12, WithCcr(flags.trueCcr)),
                   kCode + 6));
        cases.push_back(WithPc(
            Case(mnemonic + ".W", "not taken", {wordBranch, 0x0004}, 12, WithCcr(flags.falseCcr)),
            kCode + 4));
    }
    cases.push_back(WithPc(Case("BSR.S", "", {0x6102}, 20), kCode + 4));
    cases.push_back(WithPc(Case("BSR.W", "", {0x6100, 0x0004}, 20), kCode + 6));

    // DBcc D0 with a displacement of -2: back to itself.
    auto counter = [](uint32_t d0, uint8_t ccr) {
        return [=](MappedMachine& machine) {
            machine.cpu.d[0] = d0;
            machine.cpu.sr = static_cast<uint16_t>((machine.cpu.sr & 0xFF00) | ccr);
        };
    };
    cases.push_back(
        WithPc(Case("DBF D0", "D0 = 5: branches", {0x51C8, 0xFFFE}, 12, counter(5, 0)), kCode));
    cases.push_back(WithPc(
        Case("DBF D0", "D0 = 0: count runs out", {0x51C8, 0xFFFE}, 16, counter(0, 0)), kCode + 4));
    cases.push_back(
        WithPc(Case("DBT D0", "condition true", {0x50C8, 0xFFFE}, 12, counter(5, 0)), kCode + 4));
    cases.push_back(
        WithPc(Case("DBEQ D0", "Z set: condition true", {0x57C8, 0xFFFE}, 12, counter(5, kZero)),
               kCode + 4));
    cases.push_back(
        WithPc(Case("DBEQ D0", "Z clear: branches", {0x57C8, 0xFFFE}, 12, counter(5, 0)), kCode));
    cases.push_back(
        WithPc(Case("DBEQ D0", "Z clear, D0 = 0", {0x57C8, 0xFFFE}, 16, counter(0, 0)), kCode + 4));

    // Returns: the stack holds an even return address in RAM.
    constexpr uint32_t kReturn = 0x3000;
    auto stack = [](std::vector<uint16_t> words) {
        return [=](MappedMachine& machine) {
            machine.cpu.a[7] = 0xFF00;
            machine.placeCode(0xFF00, words);
        };
    };
    cases.push_back(WithPc(Case("RTS", "", {0x4E75}, 16, stack({0, kReturn})), kReturn));
    cases.push_back(WithPc(Case("RTR", "", {0x4E77}, 20, stack({0x001F, 0, kReturn})), kReturn));
    cases.push_back(WithPc(Case("RTE", "", {0x4E73}, 20, stack({0x2700, 0, kReturn})), kReturn));
    // RTE ends the run: the rest of a longer slice is not spent.
    TimingCase returnInLongSlice =
        WithPc(Case("RTE", "slice of 100", {0x4E73}, 20, stack({0x2700, 0, kReturn})), kReturn);
    returnInLongSlice.slices = {100};
    cases.push_back(std::move(returnInLongSlice));

    cases.push_back(Case("LINK A0,#-8", "", {0x4E50, 0xFFF8}, 16));
    cases.push_back(Case("UNLK A0", "", {0x4E58}, 12,
                         [](MappedMachine& machine) { machine.cpu.a[0] = 0xFF00; }));
    return cases;
}

TEST_F(CpuTiming, BranchesAndReturnsTakeTheirFixedTimes) {
    CheckCases("branches and returns", BranchCases());
}

std::vector<TimingCase> FixedTimeCases() {
    std::vector<TimingCase> cases;
    cases.push_back(Case("MOVEQ #-1,D0", "", {0x70FF}, 4));
    cases.push_back(Case("SWAP D0", "", {0x4840}, 4));
    cases.push_back(Case("EXT.W D0", "", {0x4880}, 4));
    cases.push_back(Case("EXT.L D0", "", {0x48C0}, 4));
    cases.push_back(Case("NOP", "", {0x4E71}, 4));
    cases.push_back(Case("MOVE A0,USP", "", {0x4E60}, 4));
    cases.push_back(Case("MOVE USP,A0", "", {0x4E68}, 4));
    cases.push_back(Case("EXG D0,D1", "", {0xC141}, 8));
    cases.push_back(Case("EXG A0,A1", "", {0xC149}, 8));
    cases.push_back(Case("EXG D0,A1", "", {0xC189}, 8));

    // Multiple-precision and decimal arithmetic: D2,D1 and -(A0),-(A1).
    for (Size size : {Size::Byte, Size::Word, Size::Long}) {
        const bool isLong = size == Size::Long;
        const uint16_t sizeBits = SizeBits(size);
        const std::string suffix = SizeSuffix(size);
        cases.push_back(Case("ADDX" + suffix + " D2,D1", "registers",
                             {static_cast<uint16_t>(0xD302 | sizeBits)}, isLong ? 8 : 4));
        cases.push_back(Case("SUBX" + suffix + " D2,D1", "registers",
                             {static_cast<uint16_t>(0x9302 | sizeBits)}, isLong ? 8 : 4));
        cases.push_back(Case("ADDX" + suffix + " -(A0),-(A1)", "memory",
                             {static_cast<uint16_t>(0xD308 | sizeBits)}, isLong ? 32 : 20));
        cases.push_back(Case("SUBX" + suffix + " -(A0),-(A1)", "memory",
                             {static_cast<uint16_t>(0x9308 | sizeBits)}, isLong ? 32 : 20));
        cases.push_back(Case("CMPM" + suffix + " (A0)+,(A1)+", "",
                             {static_cast<uint16_t>(0xB308 | sizeBits)}, isLong ? 20 : 12));
    }
    cases.push_back(Case("ABCD D2,D1", "registers", {0xC302}, 8));
    cases.push_back(Case("SBCD D2,D1", "registers", {0x8302}, 8));
    cases.push_back(Case("ABCD -(A0),-(A1)", "memory", {0xC308}, 20));
    cases.push_back(Case("SBCD -(A0),-(A1)", "memory", {0x8308}, 20));

    cases.push_back(Case("MOVEP.W 16(A0),D1", "", {0x0308, 0x0010}, 16));
    cases.push_back(Case("MOVEP.L 16(A0),D1", "", {0x0348, 0x0010}, 24));
    cases.push_back(Case("MOVEP.W D1,16(A0)", "", {0x0388, 0x0010}, 16));
    cases.push_back(Case("MOVEP.L D1,16(A0)", "", {0x03C8, 0x0010}, 24));

    cases.push_back(Case("ORI #0,CCR", "", {0x003C, 0x0000}, 20));
    cases.push_back(Case("ANDI #$FF,CCR", "", {0x023C, 0x00FF}, 20));
    cases.push_back(Case("EORI #0,CCR", "", {0x0A3C, 0x0000}, 20));
    cases.push_back(Case("ORI #0,SR", "", {0x007C, 0x0000}, 20));
    cases.push_back(Case("ANDI #$FFFF,SR", "", {0x027C, 0xFFFF}, 20));
    cases.push_back(Case("EORI #0,SR", "", {0x0A7C, 0x0000}, 20));

    cases.push_back(Case("RESET", "with a reset hook", {0x4E70}, 132, [](MappedMachine& machine) {
        machine.cpu.resetHook = [](CpuState&, void*) {};
    }));
    cases.push_back(Case("STOP #$2700", "slice of 4", {0x4E72, 0x2700}, 4));
    // A stopped processor has used the whole slice.
    TimingCase stopInLongSlice = Case("STOP #$2700", "slice of 100", {0x4E72, 0x2700}, 100);
    stopInLongSlice.slices = {100};
    cases.push_back(std::move(stopInLongSlice));

    cases.push_back(Case("TRAPV", "V clear", {0x4E76}, 4));
    return cases;
}

TEST_F(CpuTiming, OtherInstructionsTakeTheirFixedTimes) {
    CheckCases("other fixed times", FixedTimeCases());
}

// MOVEM: a base, 4 (word) or 8 (long) per register, and its own addressing time, rounded up.
std::vector<TimingCase> MoveMultipleCases() {
    constexpr std::array<int, kModeCount> kAddressing = {0, 0, 0, 0, 0, 4, 6, 4, 8, 4, 6, 0};
    constexpr Mode kToMemory[] = {kIndirect, kPreDec, kDisp16, kIndex, kAbsShort, kAbsLong};
    constexpr Mode kFromMemory[] = {kIndirect, kPostInc, kDisp16, kIndex,
                                    kAbsShort, kAbsLong, kPcDisp, kPcIndex};
    struct Mask {
        uint16_t bits;
        int count;
    };
    constexpr Mask kMasks[] = {{0x0001, 1}, {0x000F, 4}, {0x8181, 4}, {0xFFFF, 16}};

    std::vector<TimingCase> cases;
    for (Size size : {Size::Word, Size::Long}) {
        const int perRegister = size == Size::Long ? 8 : 4;
        const uint16_t longBit = size == Size::Long ? 0x40 : 0;
        for (bool toMemory : {true, false}) {
            const std::string instruction = std::string("MOVEM") + SizeSuffix(size) +
                                            (toMemory ? " <list>,<ea>" : " <ea>,<list>");
            const uint16_t opcode = static_cast<uint16_t>((toMemory ? 0x4880 : 0x4C80) | longBit);
            const int base = toMemory ? 8 : 12;
            auto addCase = [&](Mode mode, Mask mask) {
                TimingCase timingCase = OperandCase(instruction, opcode, size, mode, {mask.bits},
                                                    OperandField::Source, 0, {});
                timingCase.detail +=
                    ", " + std::to_string(mask.count) + " registers (" + Hex(mask.bits) + ")";
                timingCase.expected =
                    RoundUpToSlot(base + perRegister * mask.count + kAddressing[mode]);
                cases.push_back(std::move(timingCase));
            };
            for (Mode mode :
                 toMemory ? std::vector<Mode>(std::begin(kToMemory), std::end(kToMemory))
                          : std::vector<Mode>(std::begin(kFromMemory), std::end(kFromMemory))) {
                for (Mask mask : kMasks) addCase(mode, mask);
            }
            addCase(kIndirect, Mask{0x0000, 0});
        }
    }
    return cases;
}

TEST_F(CpuTiming, MoveMultipleTakesItsBasePlusEachRegister) {
    CheckCases("MOVEM", MoveMultipleCases());
}

// ---- The short-branch rounding ---------------------------------------------------------------
//
// A taken Bcc.S after an instruction whose 68000 time is 2 or 3 past a bus slot gives those
// cycles back: the pair costs what the 68000 would spend, rounded once. Each sequence runs in one
// slice long enough for the instructions before the branch and the branch itself.

TimingCase Sequence(std::string instructions, std::vector<uint16_t> code, int cyclesBeforeBranch,
                    int expected, uint32_t endPc,
                    std::function<void(MappedMachine&)> prepare = {}) {
    TimingCase timingCase = Case(std::move(instructions), "sequence in one slice", std::move(code),
                                 expected, std::move(prepare));
    timingCase.slices = {cyclesBeforeBranch + 4};
    timingCase.expectedPc = endPc;
    return timingCase;
}

std::vector<TimingCase> ShortBranchCases() {
    constexpr uint16_t kBranchShort = 0x6002;
    auto registers = [](uint32_t d0, uint32_t d1, uint32_t d2) {
        return [=](MappedMachine& machine) {
            machine.cpu.d[0] = d0;
            machine.cpu.d[1] = d1;
            machine.cpu.d[2] = d2;
        };
    };
    std::vector<TimingCase> cases;
    cases.push_back(Sequence("NOP; BRA.S", {0x4E71, kBranchShort}, 4, 4 + 12, kCode + 6));
    cases.push_back(Sequence("EXG D0,D1; BRA.S", {0xC141, kBranchShort}, 8, 8 + 8, kCode + 6));
    cases.push_back(Sequence("EXG D0,D1; NOP; BRA.S", {0xC141, 0x4E71, kBranchShort}, 12,
                             8 + 4 + 12, kCode + 8));
    cases.push_back(Sequence("EXG D0,D1; BEQ.S not taken", {0xC141, 0x6702}, 8, 8 + 8, kCode + 4));
    cases.push_back(Sequence("EXG D0,D1; BRA.W", {0xC141, 0x6000, 0x0004}, 8, 8 + 12, kCode + 8));
    // Shifts by a register count leave their fixed part (6 for .B/.W, 8 for .L) to share.
    cases.push_back(Sequence("ASL.W D1,D0 (D1 = 1); BRA.S", {0xE360, kBranchShort}, 8, 8 + 8,
                             kCode + 6, registers(0, 1, 0)));
    cases.push_back(Sequence("ASL.W D1,D0 (D1 = 0); BRA.S", {0xE360, kBranchShort}, 8, 8 + 8,
                             kCode + 6, registers(0, 0, 0)));
    cases.push_back(Sequence("ASL.L D1,D0 (D1 = 1); BRA.S", {0xE3A0, kBranchShort}, 12, 12 + 12,
                             kCode + 6, registers(0, 1, 0)));
    // Shifts by an immediate count have a known time, 6 + 2n.
    cases.push_back(Sequence("ASL.W #1,D0; BRA.S", {0xE340, kBranchShort}, 8, 8 + 12, kCode + 6));
    cases.push_back(Sequence("ASL.W #2,D0; BRA.S", {0xE540, kBranchShort}, 12, 12 + 8, kCode + 6));
    // Multiply leaves 38 plus its operand time, divide 133 (DIVU) or 150 (DIVS).
    cases.push_back(Sequence("MULU D2,D0 ($FFFF); BRA.S", {0xC0C2, kBranchShort}, 72, 72 + 8,
                             kCode + 6, registers(3, 0, 0xFFFF)));
    cases.push_back(Sequence("MULU D2,D0 (0); BRA.S", {0xC0C2, kBranchShort}, 40, 40 + 8, kCode + 6,
                             registers(3, 0, 0)));
    cases.push_back(Sequence("DIVU D2,D0; BRA.S", {0x80C2, kBranchShort}, 136, 136 + 12, kCode + 6,
                             registers(100000, 0, 7)));
    cases.push_back(Sequence("DIVS D2,D0; BRA.S", {0x81C2, kBranchShort}, 152, 152 + 8, kCode + 6,
                             registers(100000, 0, 7)));
    // An exception raised by an instruction leaves its own time, 34: the handler's first BRA.S
    // shares it.
    constexpr uint32_t kTrapHandler = MappedMachine::stubFor(32);
    cases.push_back(
        Sequence("TRAP #0; BRA.S in the handler", {0x4E40}, 36, 36 + 8, kTrapHandler + 4,
                 [](MappedMachine& machine) { machine.setWord(kTrapHandler, kBranchShort); }));
    return cases;
}

TEST_F(CpuTiming, ShortBranchSharesTheRoundingOfTheInstructionBefore) {
    CheckCases("short-branch rounding", ShortBranchCases());
}

// ---- Exceptions --------------------------------------------------------------------------------

TimingCase ExceptionCase(std::string instruction, std::string detail, std::vector<uint16_t> code,
                         int expected, int vector,
                         std::function<void(MappedMachine&)> prepare = {}) {
    TimingCase timingCase = Case(std::move(instruction), std::move(detail), std::move(code),
                                 expected, std::move(prepare));
    timingCase.expectedVector = vector;
    return timingCase;
}

std::vector<TimingCase> ExceptionCases() {
    std::vector<TimingCase> cases;
    cases.push_back(ExceptionCase("TRAP #0", "", {0x4E40}, 36, 32));
    cases.push_back(ExceptionCase("TRAP #15", "", {0x4E4F}, 36, 47));
    cases.push_back(ExceptionCase("ILLEGAL", "$4AFC", {0x4AFC}, 36, 4));
    cases.push_back(ExceptionCase("illegal", "$4AFB", {0x4AFB}, 36, 4));
    cases.push_back(ExceptionCase("illegal", "$4E74", {0x4E74}, 36, 4));
    cases.push_back(ExceptionCase("line A", "$A000", {0xA000}, 36, 10));
    cases.push_back(ExceptionCase("line A", "$AFFF", {0xAFFF}, 36, 10));
    cases.push_back(ExceptionCase("line F", "$F000", {0xF000}, 36, 11));
    cases.push_back(ExceptionCase("line F", "$FFFF", {0xFFFF}, 36, 11));
    cases.push_back(ExceptionCase("TRAPV", "V set", {0x4E76}, 40, 7, WithCcr(kOverflow)));

    struct Privileged {
        const char* instruction;
        std::vector<uint16_t> code;
    };
    const Privileged privileged[] = {{"MOVE D2,SR", {0x46C2}},
                                     {"MOVE (A0),SR", {0x46D0}},
                                     {"MOVE #$2700,SR", {0x46FC, 0x2700}},
                                     {"ANDI #$FFFF,SR", {0x027C, 0xFFFF}},
                                     {"ORI #0,SR", {0x007C, 0x0000}},
                                     {"EORI #0,SR", {0x0A7C, 0x0000}},
                                     {"MOVE A0,USP", {0x4E60}},
                                     {"MOVE USP,A0", {0x4E68}},
                                     {"RESET", {0x4E70}},
                                     {"STOP #$2700", {0x4E72, 0x2700}},
                                     {"RTE", {0x4E73}}};
    for (const Privileged& instruction : privileged) {
        cases.push_back(ExceptionCase(
            instruction.instruction, "user mode: privilege violation", instruction.code, 36, 8,
            [](MappedMachine& machine) { machine.startAt(kCode, kSrUser); }));
    }

    // Interrupts are accepted at the start of the run, before any instruction.
    auto pending = [](uint16_t mask, int level, int vector) {
        return [=](MappedMachine& machine) {
            machine.cpu.sr = static_cast<uint16_t>(0x2000 | mask << 8);
            CpuPostInterrupt(machine.cpu, level, vector);
        };
    };
    cases.push_back(ExceptionCase("interrupt", "level 4 autovector, mask 3", {0x4E71}, 56, 28,
                                  pending(3, 4, -1)));
    cases.push_back(ExceptionCase("interrupt", "level 7 autovector, mask 7", {0x4E71}, 56, 31,
                                  pending(7, 7, -1)));
    cases.push_back(ExceptionCase("interrupt", "level 6 vector $4D, mask 0", {0x4E71}, 56, 0x4D,
                                  pending(0, 6, 0x4D)));
    // STOP uses up the slice; the check that follows accepts a level its new mask lets in.
    TimingCase stopThenInterrupt = ExceptionCase("STOP #$2300", "level 4 pending, slice of 100",
                                                 {0x4E72, 0x2300}, 100 + 56, 28, pending(7, 4, -1));
    stopThenInterrupt.slices = {100};
    cases.push_back(std::move(stopThenInterrupt));

    // Trace follows the one instruction run with T set.
    auto traced = [](MappedMachine& machine) { machine.cpu.sr = 0xA700; };
    cases.push_back(ExceptionCase("NOP", "traced", {0x4E71}, 4 + 36, 9, traced));
    cases.push_back(
        ExceptionCase("MOVE.L 16(A0),D1", "traced", {0x2228, 0x0010}, 16 + 36, 9, traced));

    // Group-0 faults: 56 for the frame plus whatever the instruction had charged before the
    // failed access, which depends on where in the instruction the access falls; only the
    // bounds are checked.
    auto oddA0 = [](MappedMachine& machine) { machine.cpu.a[0] = 0x4001; };
    auto fault = [&](std::string instruction, std::vector<uint16_t> code, int instructionTime,
                     int vector, std::function<void(MappedMachine&)> prepare) {
        TimingCase timingCase = ExceptionCase(std::move(instruction), "group 0 fault",
                                              std::move(code), 56, vector, std::move(prepare));
        timingCase.expectedMax = 56 + instructionTime;
        cases.push_back(std::move(timingCase));
    };
    fault("MOVE.W (A0),D1", {0x3210}, 8, 3, oddA0);
    fault("MOVE.W D1,(A0)", {0x3081}, 8, 3, oddA0);
    fault("MOVE.L (A0),D1", {0x2210}, 12, 3, oddA0);
    fault("CLR.W (A0)", {0x4250}, 12, 3, oddA0);
    fault("ADD.W D1,(A0)", {0xD350}, 12, 3, oddA0);
    fault("MOVE.W D1,$F00000", {0x33C1, 0x00F0, 0x0000}, 16, 2, {});
    return cases;
}

TEST_F(CpuTiming, ExceptionsTakeTheirTimes) {
    CheckCases("exceptions and interrupts", ExceptionCases());
}

// ---- When accesses reach a device --------------------------------------------------------------
//
// A device window at $8000-$80FF sits ahead of RAM and records each access with the cycle time
// it is given, counted from the instruction's start.

constexpr uint32_t kWindowLow = 0x8000;
constexpr uint32_t kWindowHigh = 0x80FF;

struct BusAccess {
    char kind;  // 'R' or 'W'
    uint32_t address;
    int32_t offset;
    bool operator==(const BusAccess&) const = default;
};

enum class AccessCheck {
    kExact,       // exactly these accesses
    kWritesOnly,  // exactly these writes; reads are not looked at
    kLeading,     // these accesses first; more may follow
};

struct StampRow {
    std::string instruction;
    std::vector<uint16_t> code;
    int expectedCycles;
    std::vector<BusAccess> expected;
    AccessCheck check = AccessCheck::kExact;
    std::function<void(MappedMachine&)> prepare = {};
};

std::string DescribeAccesses(const std::vector<BusAccess>& accesses) {
    std::string text;
    for (const BusAccess& access : accesses) {
        text += std::string(" ") + access.kind + " " + Hex(access.address) + " @+" +
                std::to_string(access.offset);
    }
    return text.empty() ? " none" : text;
}

std::vector<StampRow> StampRows() {
    // A0 = $8000, A1 = $8080 and D0 = $12345678 unless a row says otherwise.
    auto stackInWindow = [](MappedMachine& machine) { machine.cpu.a[7] = 0x8100; };
    auto a0At = [](uint32_t address) {
        return [=](MappedMachine& machine) { machine.cpu.a[0] = address; };
    };
    // A long pushed on a stack at $8100: its low word first, the high word 4 later.
    const std::vector<BusAccess> pushLong = {{'W', 0x80FC, 0}, {'W', 0x80FE, 4}};
    const auto kExact = AccessCheck::kExact;
    // clang-format off
    return {
        // Charged as it goes: the opcode, the extension words and the address calculation come
        // before the access, the access's own 4 cycles after it.
        {"MOVE.W D0,(A0)", {0x3080}, 8, {{'W', 0x8000, 4}}},
        {"MOVE.B D0,(A0)", {0x1080}, 8, {{'W', 0x8000, 4}}},
        {"MOVE.W D0,16(A0)", {0x3140, 0x0010}, 12, {{'W', 0x8010, 8}}},
        {"MOVE.W D0,$8040.L", {0x33C0, 0x0000, 0x8040}, 16, {{'W', 0x8040, 12}}},
        {"MOVE.W (A0),(A1)", {0x3290}, 12, {{'R', 0x8000, 4}, {'W', 0x8080, 8}}},
        {"MOVE.L D0,(A0)", {0x2080}, 12, {{'W', 0x8000, 4}, {'W', 0x8002, 8}}},
        {"MOVE.L (A0),D1", {0x2210}, 12, {{'R', 0x8000, 4}, {'R', 0x8002, 8}}},
        {"MOVE.W 8(A0,A6.L),D1", {0x3230, kIndexExtension}, 16, {{'R', 0x8028, 12}}},
        {"MOVE.W -(A0),D1", {0x3220}, 12, {{'R', 0x800E, 8}}, kExact, a0At(0x8010)},
        {"MOVE.W D0,-(A0)", {0x3100}, 8, {{'W', 0x800E, 4}}, kExact, a0At(0x8010)},
        {"TST.W (A0)", {0x4A50}, 8, {{'R', 0x8000, 4}}},
        {"ADD.W 16(A0),D0", {0xD068, 0x0010}, 12, {{'R', 0x8010, 8}}},
        {"ADD.L 16(A0),D0", {0xD0A8, 0x0010}, 20, {{'R', 0x8010, 8}, {'R', 0x8012, 12}}},
        // Read-modify-write: the read's cost is charged before it, so the read and the write
        // fall together, 4 cycles before the end.
        {"ADD.W D0,(A0)", {0xD150}, 12, {{'R', 0x8000, 8}, {'W', 0x8000, 8}}},
        // Accesses first: everything is charged after the accesses.
        {"CLR.W (A0)", {0x4250}, 12, {{'W', 0x8000, 0}}, AccessCheck::kWritesOnly},
        {"ST (A0)", {0x50D0}, 12, {{'W', 0x8000, 0}}},
        {"ADDI.W #1,(A0)", {0x0650, 0x0001}, 16, {{'R', 0x8000, 0}, {'W', 0x8000, 0}}},
        {"ASL (A0)", {0xE1D0}, 12, {{'R', 0x8000, 0}, {'W', 0x8000, 0}}},
        {"MOVEM.W D0-D2,(A0)", {0x4890, 0x0007}, 20,
         {{'W', 0x8000, 0}, {'W', 0x8002, 4}, {'W', 0x8004, 8}}},
        {"MOVEM.L D0-D1,(A0)", {0x48D0, 0x0003}, 24,
         {{'W', 0x8000, 0}, {'W', 0x8002, 4}, {'W', 0x8004, 8}, {'W', 0x8006, 12}}},
        {"MOVEM.W (A0),D0-D2", {0x4C90, 0x0007}, 24,
         {{'R', 0x8000, 0}, {'R', 0x8002, 4}, {'R', 0x8004, 8}}, AccessCheck::kLeading},
        {"PEA (A0)", {0x4850}, 12, pushLong, kExact, stackInWindow},
        {"JSR $4000.W", {0x4EB8, 0x4000}, 20, pushLong, kExact, stackInWindow},
        {"BSR.W", {0x6100, 0x0010}, 20, pushLong, kExact, stackInWindow},
        {"LINK A0,#-4", {0x4E50, 0xFFFC}, 16, pushLong, kExact, [](MappedMachine& machine) {
             machine.cpu.a[0] = 0x4000;
             machine.cpu.a[7] = 0x8100;
         }},
        // Exception frames are stacked the moment the exception is taken: PC (a long, its
        // second word 4 later), then SR.
        {"TRAP #0", {0x4E40}, 36, {pushLong[0], pushLong[1], {'W', 0x80FA, 0}},
         AccessCheck::kWritesOnly, stackInWindow},
        {"interrupt before NOP", {0x4E71}, 56, {pushLong[0], pushLong[1], {'W', 0x80FA, 0}},
         AccessCheck::kWritesOnly, [](MappedMachine& machine) {
             machine.cpu.a[7] = 0x8100;
             machine.cpu.sr = 0x2300;
             CpuPostInterrupt(machine.cpu, 4, -1);
         }},
    };
    // clang-format on
}

TEST_F(CpuTiming, DevicesSeeEachAccessAtItsCycle) {
    GroupReport report{"access stamps"};
    for (const StampRow& row : StampRows()) {
        MappedMachine machine;
        RecordingDevice device;
        machine.supervisor.putDeviceFirst(device.range(kWindowLow, kWindowHigh));
        machine.installLists();
        StartState(machine);
        machine.cpu.a[0] = 0x8000;
        machine.cpu.a[1] = 0x8080;
        machine.cpu.d[0] = 0x12345678;
        machine.placeCode(kCode, row.code);
        if (row.prepare) row.prepare(machine);
        const int32_t start = machine.cpu.cycleCounter;
        machine.run(4);

        std::vector<BusAccess> seen;
        for (const DeviceAccess& access : device.accesses) {
            seen.push_back({access.write ? 'W' : 'R', access.address, access.time - start});
        }
        if (Verbose()) {
            std::printf("  %s | %d cycles |%s\n", row.instruction.c_str(), machine.lastRunCycles,
                        DescribeAccesses(seen).c_str());
        }
        if (row.check == AccessCheck::kWritesOnly) {
            std::erase_if(seen, [](const BusAccess& access) { return access.kind != 'W'; });
        }
        if (row.check == AccessCheck::kLeading && seen.size() > row.expected.size()) {
            seen.resize(row.expected.size());
        }
        std::string problem;
        if (seen != row.expected) {
            problem += " expected" + DescribeAccesses(row.expected) + ", got" +
                       DescribeAccesses(seen) + ";";
        }
        if (machine.lastRunCycles != row.expectedCycles) {
            problem += " expected " + std::to_string(row.expectedCycles) + " cycles, got " +
                       std::to_string(machine.lastRunCycles) + ";";
        }
        report.add(row.instruction + " | accesses", problem);
    }
    report.finish();
}

}  // namespace
}  // namespace orvet::test
