// Random 68000 instruction streams and the comparison of their sliced and one-by-one runs; the
// design is described in instruction_streams.h.
#include "instruction_streams.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

namespace orvet::test::streams {

// ==================================================================== choices

uint32_t Choices::nextRandom() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
}

uint32_t Choices::below(uint32_t bound) {
    if (bound <= 1) return 0;
    uint32_t value = 0;
    if (used_ < bytes_.size()) {
        const int count = bound <= 0x100 ? 1 : bound <= 0x10000 ? 2 : 4;
        for (int index = 0; index < count; ++index) {
            value = value << 8 | (used_ < bytes_.size() ? bytes_[used_] : 0);
            ++used_;
        }
    } else {
        value = nextRandom();
    }
    return value % bound;
}

void StreamCase::setWord(uint32_t address, uint16_t value) {
    address &= 0xFFFFFE;
    if (address < kRamBytes) {
        std::memcpy(&ram[address], &value, 2);
    } else if (address >= kRomLow && address < kRomLow + kRomBytes) {
        std::memcpy(&rom[address - kRomLow], &value, 2);
    }
}

uint16_t StreamCase::word(uint32_t address) const {
    address &= 0xFFFFFE;
    uint16_t value = 0;
    if (address < kRamBytes) {
        std::memcpy(&value, &ram[address], 2);
    } else if (address >= kRomLow && address < kRomLow + kRomBytes) {
        std::memcpy(&value, &rom[address - kRomLow], 2);
    }
    return value;
}

namespace {

// ==================================================================== instructions

enum EaKind { kDn, kAn, kInd, kPost, kPre, kD16, kIdx, kAbsW, kAbsL, kPcD16, kPcIdx, kImm, kKinds };
constexpr unsigned Bit(EaKind kind) {
    return 1u << kind;
}
constexpr unsigned kAnyEa = (1u << kKinds) - 1;
constexpr unsigned kDataEa = kAnyEa & ~Bit(kAn);
constexpr unsigned kMemoryAlterableEa =
    Bit(kInd) | Bit(kPost) | Bit(kPre) | Bit(kD16) | Bit(kIdx) | Bit(kAbsW) | Bit(kAbsL);
constexpr unsigned kDataAlterableEa = kMemoryAlterableEa | Bit(kDn);
constexpr unsigned kAlterableEa = kDataAlterableEa | Bit(kAn);
constexpr unsigned kControlEa =
    Bit(kInd) | Bit(kD16) | Bit(kIdx) | Bit(kAbsW) | Bit(kAbsL) | Bit(kPcD16) | Bit(kPcIdx);

enum class Size { Byte, Word, Long };

// The fields of an opcode or extension word, drawn in the order written: the elements of a
// braced list are evaluated left to right, the operands of | in no fixed order, and a seed must
// make the same stream whichever compiler built the test.
uint16_t Fields(std::initializer_list<uint32_t> fields) {
    uint32_t word = 0;
    for (uint32_t field : fields) word |= field;
    return static_cast<uint16_t>(word);
}

// Bits 7-6 of most instructions.
uint16_t SizeBits(Size size) {
    return size == Size::Byte ? 0x00 : size == Size::Word ? 0x40 : 0x80;
}

uint32_t DataAreaAddress(Choices& choices) {
    return kDataLow + 2 * choices.below((kRamBytes - kDataLow) / 2);
}

// Where absolute and register addresses lean: RAM mostly, then the I/O page, the bus error
// region, the ROM, the vectors and code, odd addresses and anything at all.
uint32_t InterestingAddress(Choices& choices) {
    switch (choices.below(20)) {
        case 10:
        case 11:
            return kDeviceLow + 2 * choices.below((kDeviceHigh + 1 - kDeviceLow) / 2);
        case 12:
            return kBusErrorLow + 2 * choices.below(0x8000);
        case 13:
            return kRomLow + 2 * choices.below(kRomBytes / 2);
        case 14:
            return 2 * choices.below(kDataLow / 2);
        case 15:
            return DataAreaAddress(choices) | 1;
        case 16: {
            const uint32_t top = choices.below(256) << 24;
            return top | DataAreaAddress(choices);
        }
        case 17:
        case 18:
            return choices.bits32();
        default:
            return DataAreaAddress(choices);
    }
}

// An absolute short address: RAM below 0x8000, or the I/O page, which abs.W reaches from
// 0x8000 up as the ST's programs do.
uint16_t ShortAddress(Choices& choices) {
    switch (choices.below(20)) {
        case 12:
        case 13:
        case 14:
        case 15:
            return static_cast<uint16_t>(0x8000 + 2 * choices.below(0x4000));
        case 16:
        case 17:
            return static_cast<uint16_t>(2 * choices.below(kDataLow / 2));
        case 18:
            return static_cast<uint16_t>(0x2001 + 2 * choices.below(0x2FFF));
        case 19:
            return static_cast<uint16_t>(choices.bits16());
        default:
            return static_cast<uint16_t>(kDataLow + 2 * choices.below((0x8000 - kDataLow) / 2));
    }
}

uint16_t SmallDisplacement(Choices& choices) {
    if (choices.chance(15)) return static_cast<uint16_t>(choices.bits16());
    return static_cast<uint16_t>(static_cast<int>(choices.below(128)) - 64);
}

uint16_t BriefExtension(Choices& choices) {
    uint16_t extension = Fields({choices.below(2) << 15, choices.below(8) << 12,
                                 choices.below(2) << 11, choices.below(256)});
    // The 68000 ignores bits 10-8; some programs leave junk there.
    if (choices.chance(5)) extension |= static_cast<uint16_t>(choices.below(8) << 8);
    return extension;
}

// A status register value for STOP, MOVE to SR and the logic operations on SR: supervisor
// mostly, a mask, the condition codes, now and then trace or user mode.
uint16_t StatusValue(Choices& choices) {
    uint16_t value = Fields({0x2000, choices.below(8) << 8, choices.below(32)});
    if (choices.chance(15)) value &= ~0x2000;
    if (choices.chance(10)) value |= 0x8000;
    if (choices.chance(5)) value = static_cast<uint16_t>(choices.bits16());
    return value;
}

uint16_t ImmediateWord(Choices& choices) {
    switch (choices.below(8)) {
        case 0:
            return 0;
        case 1:
            return static_cast<uint16_t>(choices.below(16));
        case 2:
            return static_cast<uint16_t>(0x8000 | choices.below(2));
        default:
            return static_cast<uint16_t>(choices.bits16());
    }
}

// One instruction in the making: the opcode and its extension words in order.
class Instruction {
public:
    explicit Instruction(Choices& choices) : choices_(choices) {}

    unsigned reg() { return choices_.below(8); }
    unsigned pick(unsigned count) { return choices_.below(count); }
    Size size() { return static_cast<Size>(choices_.below(3)); }

    // Picks a mode from `allowed`; its 6-bit field is returned and its extension words queued.
    uint16_t ea(unsigned allowed, Size size) {
        unsigned count = static_cast<unsigned>(__builtin_popcount(allowed));
        unsigned which = choices_.below(count);
        int kind = 0;
        for (;; ++kind) {
            if (!(allowed & (1u << kind))) continue;
            if (which-- == 0) break;
        }
        const unsigned reg = choices_.below(8);
        switch (kind) {
            case kD16:
                extension(SmallDisplacement(choices_));
                break;
            case kIdx:
                extension(BriefExtension(choices_));
                break;
            case kAbsW:
                extension(ShortAddress(choices_));
                return 0x38;
            case kAbsL: {
                uint32_t address = InterestingAddress(choices_);
                extension(static_cast<uint16_t>(address >> 16));
                extension(static_cast<uint16_t>(address));
                return 0x39;
            }
            case kPcD16:
                extension(static_cast<uint16_t>(static_cast<int>(choices_.below(96)) - 32));
                return 0x3A;
            case kPcIdx:
                extension(BriefExtension(choices_));
                return 0x3B;
            case kImm:
                if (size == Size::Long) extension(static_cast<uint16_t>(choices_.bits16()));
                extension(size == Size::Byte ? static_cast<uint16_t>(choices_.below(256))
                                             : ImmediateWord(choices_));
                return 0x3C;
            default:
                break;
        }
        return static_cast<uint16_t>(kind << 3 | reg);
    }

    // A jump target: PC-relative or absolute into the code, or wherever a register points.
    uint16_t jumpEa() {
        switch (choices_.below(6)) {
            case 0:
            case 1:
                extension(static_cast<uint16_t>(2 * choices_.below(48)));
                return 0x3A;
            case 2:
                extension(static_cast<uint16_t>(kCodeStart + 2 * choices_.below(0x600)));
                return 0x38;
            default:
                return ea(kControlEa, Size::Long);
        }
    }

    void extension(uint16_t word) { words_[count_++] = word; }
    void immediate(Size size) {
        if (size == Size::Long) extension(static_cast<uint16_t>(choices_.bits16()));
        extension(size == Size::Byte ? static_cast<uint16_t>(choices_.below(256))
                                     : ImmediateWord(choices_));
    }
    // Even branch displacements that mostly go forward a little, so a stream moves on.
    uint16_t branchWord() {
        if (choices_.chance(3)) return static_cast<uint16_t>(choices_.bits16() | 1);
        return static_cast<uint16_t>(2 * (static_cast<int>(choices_.below(40)) - 8));
    }

    // Emits the opcode ahead of the extension words queued so far.
    void finish(std::vector<uint16_t>& out, uint16_t opcode) {
        out.push_back(opcode);
        out.insert(out.end(), words_, words_ + count_);
    }

private:
    Choices& choices_;
    uint16_t words_[4] = {};  // no 68000 instruction has more extension words
    int count_ = 0;
};

enum Family {
    kMove,
    kMoveQuick,
    kAluToRegister,
    kAluToMemory,
    kAddressArithmetic,
    kImmediateOperation,
    kImmediateToStatus,
    kQuickArithmetic,
    kSetOnCondition,
    kDecrementAndBranch,
    kBranch,
    kExtendedArithmetic,
    kCompareMemory,
    kMultiplyDivide,
    kUnary,
    kDecimalAndTestAndSet,
    kShift,
    kBitOperation,
    kMovePeripheral,
    kLoadAddress,
    kJump,
    kMoveMultiple,
    kLinkUnlink,
    kStatusAndUserStack,
    kRegisterOperation,
    kCheck,
    kSystem,
    kLineAF,
    kRandomWords,
    kFamilies
};

// Weights of the families, in Family order: common code first, flow-ending ones light.
constexpr uint8_t kFamilyWeights[kFamilies] = {16, 3, 8, 5, 3, 6, 2, 5, 2, 2, 5, 3, 1, 4, 5,
                                               1,  5, 4, 2, 3, 2, 5, 2, 3, 2, 2, 3, 1, 3};

Family PickFamily(Choices& choices) {
    unsigned total = 0;
    for (uint8_t weight : kFamilyWeights) total += weight;
    unsigned roll = choices.below(total);
    for (int family = 0; family < kFamilies; ++family) {
        if (roll < kFamilyWeights[family]) return static_cast<Family>(family);
        roll -= kFamilyWeights[family];
    }
    return kMove;
}

void GenerateInstruction(Choices& choices, std::vector<uint16_t>& out) {
    Instruction in(choices);
    switch (PickFamily(choices)) {
        case kMove: {
            const Size size = in.size();
            const uint16_t sizeBits = size == Size::Byte   ? 0x1000
                                      : size == Size::Word ? 0x3000
                                                           : 0x2000;
            const uint16_t source = in.ea(size == Size::Byte ? kDataEa : kAnyEa, size);
            const uint16_t destination =
                in.ea(size == Size::Byte ? kDataAlterableEa : kAlterableEa, size);
            in.finish(out, static_cast<uint16_t>(sizeBits | (destination & 7) << 9 |
                                                 (destination >> 3) << 6 | source));
            break;
        }
        case kMoveQuick:
            in.finish(out, Fields({0x7000, in.reg() << 9, in.pick(256)}));
            break;
        case kAluToRegister: {
            static constexpr uint16_t kLines[] = {0x8000, 0x9000, 0xB000, 0xC000, 0xD000};
            const uint16_t line = kLines[in.pick(5)];
            const Size size = in.size();
            const bool addressSource = size != Size::Byte && line != 0x8000 && line != 0xC000;
            const uint16_t source = in.ea(addressSource ? kAnyEa : kDataEa, size);
            in.finish(out, static_cast<uint16_t>(line | in.reg() << 9 | SizeBits(size) | source));
            break;
        }
        case kAluToMemory: {
            static constexpr uint16_t kLines[] = {0x8000, 0x9000, 0xB000, 0xC000, 0xD000};
            const uint16_t line = kLines[in.pick(5)];
            const Size size = in.size();
            // EOR (line B) takes a data register as its destination too.
            const uint16_t destination =
                in.ea(line == 0xB000 ? kDataAlterableEa : kMemoryAlterableEa, size);
            in.finish(out, static_cast<uint16_t>(line | in.reg() << 9 | 0x100 | SizeBits(size) |
                                                 destination));
            break;
        }
        case kAddressArithmetic: {
            static constexpr uint16_t kLines[] = {0x9000, 0xB000, 0xD000};
            const uint16_t line = kLines[in.pick(3)];
            const bool isLong = in.pick(2) != 0;
            const uint16_t source = in.ea(kAnyEa, isLong ? Size::Long : Size::Word);
            in.finish(out, static_cast<uint16_t>(line | in.reg() << 9 | (isLong ? 0x1C0 : 0xC0) |
                                                 source));
            break;
        }
        case kImmediateOperation: {
            static constexpr uint16_t kOperations[] = {0x0000, 0x0200, 0x0400,
                                                       0x0600, 0x0A00, 0x0C00};
            const uint16_t operation = kOperations[in.pick(6)];
            const Size size = in.size();
            in.immediate(size);  // the immediate precedes the destination's words
            const uint16_t destination = in.ea(kDataAlterableEa, size);
            in.finish(out, static_cast<uint16_t>(operation | SizeBits(size) | destination));
            break;
        }
        case kImmediateToStatus: {
            static constexpr uint16_t kOperations[] = {0x003C, 0x023C, 0x0A3C,
                                                       0x007C, 0x027C, 0x0A7C};
            const uint16_t opcode = kOperations[in.pick(6)];
            uint16_t value = StatusValue(choices);
            if (opcode == 0x027C) value |= static_cast<uint16_t>(in.pick(4) ? 0x2000 : 0);
            in.extension(value);
            in.finish(out, opcode);
            break;
        }
        case kQuickArithmetic: {
            const Size size = in.size();
            const uint16_t destination =
                in.ea(size == Size::Byte ? kDataAlterableEa : kAlterableEa, size);
            in.finish(
                out, Fields({0x5000, in.reg() << 9, in.pick(2) << 8, SizeBits(size), destination}));
            break;
        }
        case kSetOnCondition: {
            const uint16_t destination = in.ea(kDataAlterableEa, Size::Byte);
            in.finish(out, static_cast<uint16_t>(0x50C0 | in.pick(16) << 8 | destination));
            break;
        }
        case kDecrementAndBranch:
            in.extension(in.branchWord());
            in.finish(out, Fields({0x50C8, in.pick(16) << 8, in.reg()}));
            break;
        case kBranch: {
            const uint16_t condition = static_cast<uint16_t>(in.pick(16) << 8);
            if (in.pick(4) == 0) {
                in.extension(in.branchWord());
                in.finish(out, 0x6000 | condition);
            } else {
                uint16_t displacement = static_cast<uint16_t>(in.branchWord() & 0xFF);
                if (displacement == 0) displacement = 2;
                in.finish(out, static_cast<uint16_t>(0x6000 | condition | displacement));
            }
            break;
        }
        case kExtendedArithmetic: {
            // ADDX, SUBX at every size; ABCD, SBCD on bytes; registers or -(An),-(An).
            static constexpr uint16_t kLines[] = {0xD100, 0x9100, 0xC100, 0x8100};
            const unsigned which = in.pick(4);
            const Size size = which < 2 ? in.size() : Size::Byte;
            in.finish(out, Fields({kLines[which], in.reg() << 9, SizeBits(size), in.pick(2) << 3,
                                   in.reg()}));
            break;
        }
        case kCompareMemory:
            in.finish(out, Fields({0xB108, in.reg() << 9, SizeBits(in.size()), in.reg()}));
            break;
        case kMultiplyDivide: {
            static constexpr uint16_t kOperations[] = {0xC0C0, 0xC1C0, 0x80C0, 0x81C0};
            const uint16_t operation = kOperations[in.pick(4)];
            const uint16_t source = in.ea(kDataEa, Size::Word);
            in.finish(out, static_cast<uint16_t>(operation | in.reg() << 9 | source));
            break;
        }
        case kUnary: {
            static constexpr uint16_t kOperations[] = {0x4000, 0x4200, 0x4400, 0x4600, 0x4A00};
            const uint16_t operation = kOperations[in.pick(5)];
            const Size size = in.size();
            const uint16_t operand = in.ea(kDataAlterableEa, size);
            in.finish(out, static_cast<uint16_t>(operation | SizeBits(size) | operand));
            break;
        }
        case kDecimalAndTestAndSet: {
            const uint16_t operation = in.pick(2) ? 0x4800 : 0x4AC0;  // NBCD, TAS
            in.finish(out, static_cast<uint16_t>(operation | in.ea(kDataAlterableEa, Size::Byte)));
            break;
        }
        case kShift:
            if (in.pick(4) != 0) {
                // 1110 count/register, direction, size, immediate/register count, kind, register
                in.finish(out, Fields({0xE000, in.reg() << 9, in.pick(2) << 8, SizeBits(in.size()),
                                       in.pick(2) << 5, in.pick(4) << 3, in.reg()}));
            } else {
                const uint16_t operand = in.ea(kMemoryAlterableEa, Size::Word);
                in.finish(out, Fields({0xE0C0, in.pick(4) << 9, in.pick(2) << 8, operand}));
            }
            break;
        case kBitOperation: {
            const unsigned operation = in.pick(4);  // BTST, BCHG, BCLR, BSET
            if (in.pick(2)) {
                const uint16_t operand =
                    in.ea(operation == 0 ? kDataEa : kDataAlterableEa, Size::Byte);
                in.finish(out,
                          static_cast<uint16_t>(0x0100 | in.reg() << 9 | operation << 6 | operand));
            } else {
                in.extension(static_cast<uint16_t>(in.pick(4) ? in.pick(32) : in.pick(256)));
                const uint16_t operand =
                    in.ea(operation == 0 ? (kDataEa & ~Bit(kImm)) : kDataAlterableEa, Size::Byte);
                in.finish(out, static_cast<uint16_t>(0x0800 | operation << 6 | operand));
            }
            break;
        }
        case kMovePeripheral:
            in.extension(SmallDisplacement(choices));
            in.finish(out, Fields({0x0108, in.reg() << 9, (4 + in.pick(4)) << 6, in.reg()}));
            break;
        case kLoadAddress:
            if (in.pick(2)) {
                const uint16_t source = in.ea(kControlEa, Size::Long);
                in.finish(out, static_cast<uint16_t>(0x41C0 | in.reg() << 9 | source));
            } else {
                in.finish(out, static_cast<uint16_t>(0x4840 | in.ea(kControlEa, Size::Long)));
            }
            break;
        case kJump: {
            const uint16_t operation = in.pick(2) ? 0x4E80 : 0x4EC0;  // JSR, JMP
            in.finish(out, static_cast<uint16_t>(operation | in.jumpEa()));
            break;
        }
        case kMoveMultiple: {
            const Size size = in.pick(2) ? Size::Long : Size::Word;
            const uint16_t sizeBit = size == Size::Long ? 0x40 : 0x00;
            // The register mask precedes the address's extension words.
            uint16_t mask = static_cast<uint16_t>(choices.bits16());
            if (in.pick(2)) mask &= static_cast<uint16_t>(choices.bits16());
            in.extension(mask);
            if (in.pick(2)) {
                const uint16_t destination = in.ea(kControlEa & kMemoryAlterableEa, size);
                // -(An) is the one predecrement form: control modes do not include it.
                const uint16_t field =
                    in.pick(4) == 0 ? static_cast<uint16_t>(0x20 | in.reg()) : destination;
                in.finish(out, static_cast<uint16_t>(0x4880 | sizeBit | field));
            } else {
                const uint16_t source = in.ea(kControlEa | Bit(kPost), size);
                in.finish(out, static_cast<uint16_t>(0x4C80 | sizeBit | source));
            }
            break;
        }
        case kLinkUnlink:
            if (in.pick(2)) {
                uint16_t displacement = static_cast<uint16_t>(-2 * static_cast<int>(in.pick(24)));
                if (in.pick(8) == 0) displacement = static_cast<uint16_t>(choices.bits16());
                in.extension(displacement);
                in.finish(out, static_cast<uint16_t>(0x4E50 | in.reg()));
            } else {
                in.finish(out, static_cast<uint16_t>(0x4E58 | in.reg()));
            }
            break;
        case kStatusAndUserStack:
            switch (in.pick(5)) {
                case 0:
                    in.finish(out, static_cast<uint16_t>(0x4E60 | in.pick(16)));  // MOVE An,USP
                    break;
                case 1:
                    in.finish(out, static_cast<uint16_t>(
                                       0x40C0 | in.ea(kDataAlterableEa, Size::Word)));  // from SR
                    break;
                case 2:
                    in.finish(out, static_cast<uint16_t>(0x44C0 | in.ea(kDataEa, Size::Word)));
                    break;
                default:
                    if (in.pick(2)) {
                        in.extension(StatusValue(choices));
                        in.finish(out, 0x46FC);  // MOVE #imm,SR
                    } else {
                        in.finish(out, static_cast<uint16_t>(0x46C0 | in.ea(kDataEa, Size::Word)));
                    }
                    break;
            }
            break;
        case kRegisterOperation: {
            static constexpr uint16_t kOperations[] = {0x4880, 0x48C0, 0x4840,
                                                       0xC140, 0xC148, 0xC188};
            const uint16_t operation = kOperations[in.pick(6)];
            const uint16_t other = operation >= 0xC000 ? static_cast<uint16_t>(in.reg() << 9) : 0;
            in.finish(out, static_cast<uint16_t>(operation | other | in.reg()));
            break;
        }
        case kCheck: {
            const uint16_t bound = in.ea(kDataEa, Size::Word);
            in.finish(out, static_cast<uint16_t>(0x4180 | in.reg() << 9 | bound));
            break;
        }
        case kSystem:
            switch (in.pick(10)) {
                case 0:
                case 1:
                    in.finish(out, static_cast<uint16_t>(0x4E40 | in.pick(16)));  // TRAP
                    break;
                case 2:
                    in.finish(out, 0x4E76);  // TRAPV
                    break;
                case 3:
                    in.finish(out, 0x4E75);  // RTS
                    break;
                case 4:
                    in.finish(out, 0x4E77);  // RTR
                    break;
                case 5:
                    in.finish(out, 0x4E73);  // RTE
                    break;
                case 6:
                    in.extension(StatusValue(choices));
                    in.finish(out, 0x4E72);  // STOP
                    break;
                case 7:
                    in.finish(out, 0x4E70);  // RESET
                    break;
                case 8:
                    in.finish(out, 0x4AFC);  // ILLEGAL
                    break;
                default:
                    in.finish(out, 0x4E71);  // NOP
                    break;
            }
            break;
        case kLineAF:
            in.finish(out, Fields({in.pick(2) ? 0xA000u : 0xF000u, in.pick(0x1000)}));
            break;
        case kRandomWords:
        case kFamilies:
            in.extension(static_cast<uint16_t>(choices.bits16()));
            in.extension(static_cast<uint16_t>(choices.bits16()));
            in.finish(out, static_cast<uint16_t>(choices.bits16()));
            break;
    }
}

// Fills [from, to) with instructions, the literal words first; the last one may be cut short.
void PlaceCode(StreamCase& stream, Choices& choices, uint32_t from, uint32_t to,
               std::span<const uint16_t> literal = {}) {
    for (uint16_t word : literal) {
        if (from >= to) return;
        stream.setWord(from, word);
        from += 2;
    }
    std::vector<uint16_t> words;
    words.reserve(8);
    while (from < to) {
        words.clear();
        GenerateInstruction(choices, words);
        for (uint16_t word : words) {
            if (from >= to) return;
            stream.setWord(from, word);
            from += 2;
        }
    }
}

// ==================================================================== start state

struct Stub {
    uint32_t address;
    std::vector<uint16_t> words;
};
constexpr uint16_t kRte = 0x4E73;
// Group 0: drop the frame's extra 8 bytes (ADDQ.L #8,A7), make the stacked PC even (ANDI.B
// #$FE,5(A7): after an odd jump it is odd) and move it on (ADDQ.L #4,2(A7)), or the stream would
// fault at the same place again and again.
const std::vector<uint16_t> kGroup0Stub = {0x508F, 0x022F, 0x00FE, 0x0005, 0x58AF, 0x0002, kRte};
// Illegal, line A and F, privilege violation: past the opcode (ADDQ.L #2,2(A7)).
const std::vector<uint16_t> kSkipStub = {0x54AF, 0x0002, kRte};
constexpr uint32_t kOtherStub = kStubs + 0x4C;

// Each kind of exception has a stub of its own, so the checker can tell which were taken.
const Stub& StubOf(ExceptionKind kind) {
    static const Stub kStubTable[kExceptionKinds] = {
        {kStubs + 0x00, kGroup0Stub}, {kStubs + 0x10, kGroup0Stub}, {kStubs + 0x20, kSkipStub},
        {kStubs + 0x28, kSkipStub},   {kStubs + 0x30, kSkipStub},   {kStubs + 0x38, kSkipStub},
        {kStubs + 0x40, {kRte}},      {kStubs + 0x42, {kRte}},      {kStubs + 0x44, {kRte}},
        {kStubs + 0x46, {kRte}},      {kStubs + 0x48, {kRte}},      {kStubs + 0x4A, {kRte}},
    };
    return kStubTable[kind];
}

int KindOfVector(uint32_t vector) {
    switch (vector) {
        case 2:
            return kBusError;
        case 3:
            return kAddressError;
        case 4:
            return kIllegal;
        case 5:
            return kDivideByZero;
        case 6:
            return kChk;
        case 7:
            return kTrapV;
        case 8:
            return kPrivilege;
        case 9:
            return kTrace;
        case 10:
            return kLineA;
        case 11:
            return kLineF;
        default:
            break;
    }
    if (vector >= 32 && vector < 48) return kTrap;
    if ((vector >= 24 && vector < 32) || vector >= 64) return kInterrupt;
    return -1;
}

// Fast noise for filling memory: the fuzzer steers the choices, not every byte of RAM.
struct Noise {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

uint32_t DataRegisterValue(Choices& choices) {
    switch (choices.below(10)) {
        case 1:
            return choices.below(17);
        case 2:
            return 0;
        case 3: {
            static constexpr uint32_t kEdges[] = {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF,
                                                  0x00008000, 0x0000FFFF, 0x00007FFF};
            return kEdges[choices.below(6)];
        }
        case 4:
        case 5:
            return choices.bits16();
        default:
            return choices.bits32();
    }
}

uint32_t AddressRegisterValue(Choices& choices) {
    switch (choices.below(20)) {
        case 14:
            return kCodeStart + 2 * choices.below(0x40);  // where the stream runs
        case 15:
            return 2 * choices.below(kUserLow / 2);
        default:
            return InterestingAddress(choices);
    }
}

uint32_t StackPointerValue(Choices& choices) {
    switch (choices.below(20)) {
        case 17:
            return DataAreaAddress(choices) | 1;
        case 18:
            return 0x500000 + 2 * choices.below(0x100);
        case 19:
            return kUserLow + 2 * choices.below(0x40);  // about to run into the protected area
        default:
            return 0x3000 + 2 * choices.below(0x6000);
    }
}

// The words around a stack look like what stacks hold, so RTS, RTR and RTE often land in code.
void FillStack(StreamCase& stream, Noise& noise, uint32_t sp) {
    sp &= 0xFFFFFE;
    if (sp < kDataLow + 0x80 || sp >= kRamBytes - 0x100) return;
    for (uint32_t address = sp - 0x80; address < sp + 0x100; address += 2) {
        const uint32_t roll = noise.next();
        uint16_t value;
        switch (roll % 10) {
            case 0:
            case 1:
            case 2:
                value = 0;
                break;
            case 3:
            case 4:
            case 5:
                value = static_cast<uint16_t>(kCodeStart + 2 * ((roll >> 8) % 0x600));
                break;
            case 6:
            case 7:
                value = static_cast<uint16_t>(((roll >> 8) & 1 ? 0x2000 : 0) |
                                              ((roll >> 9) & 7) << 8 | ((roll >> 12) & 31));
                break;
            default:
                continue;
        }
        stream.setWord(address, value);
    }
}

}  // namespace

StreamCase GenerateCase(Choices& state, Choices& code, std::span<const uint16_t> literalCode) {
    StreamCase stream;
    GenerateCase(state, code, literalCode, stream);
    return stream;
}

void GenerateCase(Choices& state, Choices& code, std::span<const uint16_t> literalCode,
                  StreamCase& stream) {
    stream.ram.resize(kRamBytes);
    stream.rom.resize(kRomBytes);
    stream.interrupts.clear();
    Noise noise{state.bits32() | 1};
    for (std::vector<uint8_t>* image : {&stream.ram, &stream.rom}) {
        uint8_t* bytes = image->data();
        for (size_t offset = 0; offset < image->size(); offset += 4) {
            const uint32_t value = noise.next();
            std::memcpy(bytes + offset, &value, 4);
        }
    }

    // Vectors lead to the stubs; some to the second stream, a few nowhere sensible.
    const uint32_t vectorStyle = state.below(4);
    for (uint32_t vector = 2; vector < 256; ++vector) {
        const int kind = KindOfVector(vector);
        uint32_t handler = kind < 0 ? kOtherStub : StubOf(static_cast<ExceptionKind>(kind)).address;
        const uint32_t roll = noise.next() % 100;
        if (vectorStyle >= 1 && roll < 15) handler = kHandlerCode + 2 * (noise.next() % 0x100);
        if (vectorStyle >= 2 && roll >= 95) handler = noise.next() % 2 ? handler | 1 : 0x600000;
        if (vectorStyle >= 3 && roll >= 90 && roll < 95) handler = noise.next();
        stream.setWord(vector * 4, static_cast<uint16_t>(handler >> 16));
        stream.setWord(vector * 4 + 2, static_cast<uint16_t>(handler));
    }
    for (int kind = 0; kind < kExceptionKinds; ++kind) {
        const Stub& stub = StubOf(static_cast<ExceptionKind>(kind));
        for (size_t index = 0; index < stub.words.size(); ++index) {
            stream.setWord(stub.address + 2 * static_cast<uint32_t>(index), stub.words[index]);
        }
    }
    stream.setWord(kOtherStub, kRte);

    for (uint32_t& value : stream.d) value = DataRegisterValue(state);
    for (uint32_t& value : stream.a) value = AddressRegisterValue(state);
    const uint32_t supervisorStack = StackPointerValue(state);
    const uint32_t userStack = StackPointerValue(state);
    FillStack(stream, noise, supervisorStack);
    FillStack(stream, noise, userStack);

    const bool supervisor = !state.chance(30);
    stream.sr = Fields({supervisor ? 0x2000u : 0u, state.below(8) << 8, state.below(32),
                        state.chance(8) ? 0x8000u : 0u});
    stream.a[7] = supervisor ? supervisorStack : userStack;
    stream.otherStackPointer = supervisor ? userStack : supervisorStack;
    stream.cycleCounter = static_cast<int32_t>(state.bits32());
    stream.maxInstructions = 256 - static_cast<int>(state.below(240));
    stream.resetHook = !state.chance(10);
    stream.deviceActions = state.chance(50);
    stream.deviceSeed = state.bits32();
    const uint32_t interruptCount = state.chance(40) ? 1 + state.below(2) : 0;
    for (uint32_t index = 0; index < interruptCount; ++index) {
        const int level = 1 + static_cast<int>(state.below(7));
        const uint32_t kind = state.below(10);
        const int vector = kind < 6 ? -1 : kind < 7 ? -2 : 64 + static_cast<int>(state.below(16));
        stream.interrupts.push_back({level, vector});
    }

    // The code that runs first is drawn first, so the fuzzer's bytes steer it.
    const uint32_t start = state.below(20);
    if (start == 17 || start == 18) {
        stream.pc = kRomLow;
        PlaceCode(stream, code, kRomLow, kRomLow + kRomBytes, literalCode);
        PlaceCode(stream, code, kCodeStart, kHandlerCode);
    } else if (start == 19) {
        // The last few words of the fetch region, then off its end.
        stream.pc = kRamFetchHigh + 1 - 2 * (1 + state.below(6));
        PlaceCode(stream, code, stream.pc, kRamBytes, literalCode);
        PlaceCode(stream, code, kCodeStart, kHandlerCode);
    } else {
        stream.pc = kCodeStart;
        PlaceCode(stream, code, kCodeStart, kHandlerCode, literalCode);
    }
    PlaceCode(stream, code, kHandlerCode, kCodeEnd);
}

const char* ExceptionName(ExceptionKind kind) {
    static constexpr const char* kNames[kExceptionKinds] = {
        "bus error",      "address error", "illegal", "privilege", "line A",    "line F",
        "divide by zero", "CHK",           "TRAPV",   "trace",     "interrupt", "TRAP"};
    return kNames[kind];
}

std::string StreamTotals::summary() const {
    char line[512];
    std::snprintf(line, sizeof line,
                  "%llu streams, %llu instructions, %llu sliced runs; ended: %llu cut by a write "
                  "over the next opcode, %llu STOP, %llu halted, %llu left the code, %llu RESET "
                  "without hook; %llu device accesses\nexceptions:",
                  static_cast<unsigned long long>(streams),
                  static_cast<unsigned long long>(instructions),
                  static_cast<unsigned long long>(slices),
                  static_cast<unsigned long long>(cutBySelfModification),
                  static_cast<unsigned long long>(stopped), static_cast<unsigned long long>(halted),
                  static_cast<unsigned long long>(leftFetchRegions),
                  static_cast<unsigned long long>(resetWithoutHook),
                  static_cast<unsigned long long>(deviceAccesses));
    std::string text = line;
    for (int kind = 0; kind < kExceptionKinds; ++kind) {
        std::snprintf(line, sizeof line, " %s %llu",
                      ExceptionName(static_cast<ExceptionKind>(kind)),
                      static_cast<unsigned long long>(exceptions[kind]));
        text += line;
    }
    return text;
}

// ==================================================================== the machine

namespace {

enum EventKind : uint8_t { kReadByte, kReadWord, kWriteByte, kWriteWord, kBusErrorAccess, kReset };

struct BusEvent {
    uint32_t address;
    uint32_t value;
    int32_t time;
    uint8_t kind;
    bool operator==(const BusEvent&) const = default;
};

uint32_t Mix(uint32_t high, uint32_t low) {
    uint64_t x = uint64_t{high} << 32 | low;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

// The I/O page's device: its answers depend on its seed, the address and the bus time, so a
// difference in timing shows as a difference in data too.
struct Device {
    uint32_t seed = 1;
    bool actions = false;
    std::vector<BusEvent> events;

    void record(CpuState& cpu, uint32_t address, uint32_t value, int32_t time, uint8_t kind) {
        const uint32_t roll = Mix(seed, static_cast<uint32_t>(events.size()));
        events.push_back({address, value, time, kind});
        if (actions) disturb(cpu, roll);
    }
    // What the ST's chips do from inside an access: wait states in whole bus slots, a bus
    // error, the end of the slice, an interrupt.
    static void disturb(CpuState& cpu, uint32_t roll) {
        if ((roll & 31) == 0) CpuSignalBusError(cpu);
        if (((roll >> 5) & 7) == 0) CpuAddWaitStates(cpu, (roll >> 8) & 1 ? 8 : 4);
        if (((roll >> 9) & 31) == 0) CpuEndSlice(cpu);
        if (((roll >> 14) & 31) == 0) {
            const int level = 1 + static_cast<int>((roll >> 19) % 7);
            const int vector = (roll >> 22) & 1 ? -1 : 64 + static_cast<int>((roll >> 23) & 15);
            CpuPostInterrupt(cpu, level, vector);
        }
    }
};

Device& DeviceOf(const MemoryRegion& region) {
    return *static_cast<Device*>(region.context);
}

template <bool Word>
uint32_t ReadDevice(CpuState& cpu, uint32_t address, const MemoryRegion& region, int32_t time) {
    Device& device = DeviceOf(region);
    const uint32_t value =
        Mix(device.seed ^ address, static_cast<uint32_t>(time)) & (Word ? 0xFFFFu : 0xFFu);
    device.record(cpu, address, value, time, Word ? kReadWord : kReadByte);
    return value;
}
template <bool Word>
void WriteDevice(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                 int32_t time) {
    DeviceOf(region).record(cpu, address, value, time, Word ? kWriteWord : kWriteByte);
}
uint32_t ReadBusError(CpuState& cpu, uint32_t address, const MemoryRegion& region, int32_t time) {
    DeviceOf(region).events.push_back({address, 0, time, kBusErrorAccess});
    CpuSignalBusError(cpu);
    return 0xFFFF;
}
void WriteBusError(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                   int32_t time) {
    DeviceOf(region).events.push_back({address, value, time, kBusErrorAccess});
    CpuSignalBusError(cpu);
}
void ResetDevice(CpuState& cpu, void* context) {
    static_cast<Device*>(context)->record(cpu, 0, 0, CpuCycleTime(cpu), kReset);
}

MemoryRegion Region(uint32_t low, uint32_t high, uint8_t* host, ReadHandler read = nullptr,
                    WriteHandler write = nullptr, Device* device = nullptr) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.hostBase = host;
    region.read = read;
    region.write = write;
    region.context = device;
    return region;
}

// The cycles between two readings of the cycle counter, which wraps.
uint32_t Elapsed(int32_t now, int32_t then) {
    return static_cast<uint32_t>(now) - static_cast<uint32_t>(then);
}

// Host memory for a block of the map, between pages that cannot be touched: a host access
// outside the block stops the program at once, in a release build as under AddressSanitizer
// (which does not watch mapped memory).
class GuardedBlock {
public:
    explicit GuardedBlock(size_t bytes) {
        const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t usable = (bytes + page - 1) / page * page;
        mappedBytes_ = usable + 2 * page;
        void* mapped = mmap(nullptr, mappedBytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::runtime_error("no memory for the stream machine");
        mapped_ = static_cast<uint8_t*>(mapped);
        if (mprotect(mapped_ + page, usable, PROT_READ | PROT_WRITE) != 0) {
            munmap(mapped_, mappedBytes_);
            throw std::runtime_error("no memory for the stream machine");
        }
        // The block ends where the guard page after it begins.
        data_ = mapped_ + page + (usable - bytes);
    }
    ~GuardedBlock() { munmap(mapped_, mappedBytes_); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    uint8_t* get() const { return data_; }

private:
    uint8_t* mapped_ = nullptr;
    size_t mappedBytes_ = 0;
    uint8_t* data_ = nullptr;
};

// What a run leaves behind, for comparison.
struct Outcome {
    uint32_t d[8] = {};
    uint32_t a[8] = {};
    uint32_t otherStackPointer = 0;
    uint32_t pc = 0;
    uint16_t sr = 0;
    int32_t cycleCounter = 0;
    uint8_t interruptState = 0;
    uint32_t instructionCount = 0;
    uint32_t result = kCpuRunEnded;
    std::vector<uint8_t> ram;
    std::vector<BusEvent> events;
};

// One call of the one-instruction-per-slice run.
struct Step {
    uint32_t pc;
    uint16_t words[6];  // the opcode and the five words after it
    uint32_t instructionsAfter;
};

struct ReferenceRun {
    Outcome outcome;
    std::vector<Step> steps;
    // The cycles the sliced run is given: up to the start of the last instruction, then the 4
    // this run's last slice had.
    uint32_t slicedCycles = 0;
    bool cut = false;
    bool endedByStop = false;
    int severalInstructionsAt = -1;  // a step that ran more than one instruction
};

}  // namespace

class StreamMachine {
public:
    StreamMachine() : ram_(kRamBytes), rom_(kRomBytes) {
        uint8_t* ram = ram_.get();
        uint8_t* rom = rom_.get();
        const uint32_t romHigh = kRomLow + kRomBytes - 1;
        supervisorFetch_[0] = {0, kRamFetchHigh, FetchDisplacement(ram, 0)};
        supervisorFetch_[1] = {kRomLow, romHigh - kFetchGuardBytes,
                               FetchDisplacement(rom, kRomLow)};
        userFetch_[0] = {kUserLow, kRamFetchHigh, FetchDisplacement(ram, 0)};
        userFetch_[1] = supervisorFetch_[1];

        const MemoryRegion ramAll = Region(0, kRamBytes - 1, ram);
        const MemoryRegion ramUser = Region(kUserLow, kRamBytes - 1, ram + kUserLow);
        const MemoryRegion romAll = Region(kRomLow, romHigh, rom);
        const MemoryRegion busError =
            Region(kBusErrorLow, kBusErrorHigh, nullptr, ReadBusError, WriteBusError, &device);
        // The I/O page is a bus error to user programs, as on the ST.
        const MemoryRegion deviceForUser =
            Region(kDeviceLow, kDeviceHigh, nullptr, ReadBusError, WriteBusError, &device);
        const MemoryRegion deviceByte = Region(kDeviceLow, kDeviceHigh, nullptr, ReadDevice<false>,
                                               WriteDevice<false>, &device);
        const MemoryRegion deviceWord =
            Region(kDeviceLow, kDeviceHigh, nullptr, ReadDevice<true>, WriteDevice<true>, &device);

        const MemoryRegion supervisorReadByte[] = {ramAll, romAll, busError, deviceByte, {}};
        const MemoryRegion supervisorReadWord[] = {ramAll, romAll, busError, deviceWord, {}};
        const MemoryRegion supervisorWriteByte[] = {ramAll, busError, deviceByte, {}};
        const MemoryRegion supervisorWriteWord[] = {ramAll, busError, deviceWord, {}};
        const MemoryRegion userRead[] = {ramUser, romAll, busError, deviceForUser, {}};
        const MemoryRegion userWrite[] = {ramUser, busError, deviceForUser, {}};
        std::copy(std::begin(supervisorReadByte), std::end(supervisorReadByte),
                  supervisorReadByte_);
        std::copy(std::begin(supervisorReadWord), std::end(supervisorReadWord),
                  supervisorReadWord_);
        std::copy(std::begin(supervisorWriteByte), std::end(supervisorWriteByte),
                  supervisorWriteByte_);
        std::copy(std::begin(supervisorWriteWord), std::end(supervisorWriteWord),
                  supervisorWriteWord_);
        std::copy(std::begin(userRead), std::end(userRead), userRead_);
        std::copy(std::begin(userWrite), std::end(userWrite), userWrite_);
    }

    void load(const StreamCase& stream) {
        std::memcpy(ram_.get(), stream.ram.data(), kRamBytes);
        std::memcpy(rom_.get(), stream.rom.data(), kRomBytes);
        device.seed = stream.deviceSeed;
        device.actions = stream.deviceActions;
        device.events.clear();
        cpu = CpuState{};
        cpu.supervisorLists = {supervisorFetch_, supervisorReadByte_, supervisorReadWord_,
                               supervisorWriteByte_, supervisorWriteWord_};
        cpu.userLists = {userFetch_, userRead_, userRead_, userWrite_, userWrite_};
        std::copy(std::begin(stream.d), std::end(stream.d), cpu.d);
        std::copy(std::begin(stream.a), std::end(stream.a), cpu.a);
        cpu.otherStackPointer = stream.otherStackPointer;
        cpu.pc = stream.pc;
        cpu.sr = stream.sr;
        cpu.currentLists = (cpu.sr & kSrSupervisor) ? cpu.supervisorLists : cpu.userLists;
        cpu.cycleCounter = stream.cycleCounter;
        if (stream.resetHook) {
            cpu.resetHook = ResetDevice;
            cpu.resetHookContext = &device;
        }
        for (const PendingInterrupt& request : stream.interrupts) {
            CpuPostInterrupt(cpu, request.level, request.vector);
        }
    }

    // The word at a 68000 address in RAM or ROM, from host memory; 0 elsewhere.
    uint16_t word(uint32_t address) const {
        address &= 0xFFFFFE;
        uint16_t value = 0;
        if (address < kRamBytes) {
            std::memcpy(&value, ram_.get() + address, 2);
        } else if (address >= kRomLow && address < kRomLow + kRomBytes) {
            std::memcpy(&value, rom_.get() + (address - kRomLow), 2);
        }
        return value;
    }

    void capture(uint32_t result, Outcome& outcome) const {
        std::copy(std::begin(cpu.d), std::end(cpu.d), outcome.d);
        std::copy(std::begin(cpu.a), std::end(cpu.a), outcome.a);
        outcome.otherStackPointer = cpu.otherStackPointer;
        outcome.pc = cpu.pc;
        outcome.sr = cpu.sr;
        outcome.cycleCounter = cpu.cycleCounter;
        outcome.interruptState = cpu.interruptState;
        outcome.instructionCount = cpu.instructionCount;
        outcome.result = result;
        outcome.ram.assign(ram_.get(), ram_.get() + kRamBytes);
        outcome.events.assign(device.events.begin(), device.events.end());
    }

    // (B) one instruction per 4-cycle slice, the prefetched opcode dropped before each, up to
    // `limit` instructions or an earlier end.
    void runOneByOne(const StreamCase& stream, int limit, ReferenceRun& run) {
        run.steps.clear();
        run.slicedCycles = 0;
        run.cut = false;
        run.endedByStop = false;
        run.severalInstructionsAt = -1;
        load(stream);
        uint32_t result = kCpuRunEnded;
        const auto target = static_cast<uint32_t>(limit);
        for (int guard = 0; guard < 2 * limit + 16; ++guard) {
            if (cpu.instructionCount >= target || (cpu.interruptState & 1)) break;
            Step step{cpu.pc, {}, 0};
            for (uint32_t index = 0; index < 6; ++index)
                step.words[index] = word(cpu.pc + 2 * index);
            const uint32_t before = cpu.instructionCount;
            const auto timeBefore = Elapsed(cpu.cycleCounter, stream.cycleCounter);
            const bool supervisor = (cpu.sr & kSrSupervisor) != 0;
            cpu.prefetchValid = false;
            result = execute("one by one", 4);
            step.instructionsAfter = cpu.instructionCount;
            run.steps.push_back(step);
            const uint32_t ran = cpu.instructionCount - before;
            if (ran == 1) run.slicedCycles = timeBefore + 4;
            if (ran > 1) {
                run.severalInstructionsAt = static_cast<int>(run.steps.size()) - 1;
                break;
            }
            if (result != kCpuRunEnded) break;
            // STOP counts the rest of a slice as waiting even when an interrupt or trace takes
            // the processor on at once, so the two runs can be compared only up to a STOP.
            if (ran == 1 && supervisor && step.words[0] == 0x4E72) {
                run.endedByStop = true;
                break;
            }
            // A sequential instruction that changed the word after it: the 68000 runs the old
            // opcode there, which this run cannot. The comparison ends with the writing
            // instruction.
            const uint32_t advance = cpu.pc - step.pc;
            if (ran == 1 && advance >= 2 && advance <= 10 &&
                word(cpu.pc) != step.words[advance / 2]) {
                run.cut = true;
                break;
            }
        }
        capture(lookAtPc(result), run.outcome);
        if (cpu.instructionCount == 0) {
            run.slicedCycles = Elapsed(cpu.cycleCounter, stream.cycleCounter);
        }
    }

    // (A) the stream as the frame loop runs code: as few slices as the runs allow, the
    // prefetched opcode carried across their ends, `cycles` in all and at least
    // `instructions`.
    void runSliced(const StreamCase& stream, uint32_t cycles, uint32_t instructions,
                   uint64_t* slices, Outcome& outcome) {
        load(stream);
        uint32_t result = kCpuRunEnded;
        for (uint32_t slice = 0; slice < 4 * instructions + 16; ++slice) {
            if (cpu.interruptState & 1) break;
            const uint32_t used = Elapsed(cpu.cycleCounter, stream.cycleCounter);
            auto remaining = static_cast<int32_t>(cycles - used);
            if (remaining <= 0) {
                if (cpu.instructionCount >= instructions) break;
                // Time is used up with an instruction still to run: one that halted the
                // processor (a double fault) before it had charged anything.
                remaining = 4;
            }
            result = execute("sliced", remaining);
            if (slices) ++*slices;
            if (result != kCpuRunEnded) break;
        }
        capture(lookAtPc(result), outcome);
    }

    // Both runs end as the driver's next slice would begin: a run of no cycles, which looks
    // the PC up. The PC running off the end of the code is noticed only there.
    uint32_t lookAtPc(uint32_t result) {
        if (result != kCpuRunEnded || (cpu.interruptState & 1)) return result;
        return execute("last look", 0);
    }

    // Runs one slice; with tracing on, prints what it did.
    uint32_t execute(const char* run, int32_t cycles) {
        const int32_t before = cpu.cycleCounter;
        const uint32_t count = cpu.instructionCount;
        const uint32_t pc = cpu.pc;
        const uint32_t result = CpuExecute(cpu, cycles);
        if (trace) {
            std::fprintf(stderr,
                         "%s: %06X slice %d -> %08X: %u instructions, %d cycles, PC %08X SR %04X "
                         "interrupt state %02X\n",
                         run, pc & 0xFFFFFF, cycles, result, cpu.instructionCount - count,
                         static_cast<int32_t>(Elapsed(cpu.cycleCounter, before)), cpu.pc, cpu.sr,
                         cpu.interruptState);
        }
        return result;
    }

    CpuState cpu;
    Device device;
    bool trace = false;
    // The results of the last check, kept so their buffers are reused.
    ReferenceRun single;
    Outcome sliced;

private:
    GuardedBlock ram_;
    GuardedBlock rom_;
    FetchRegion supervisorFetch_[3];
    FetchRegion userFetch_[3];
    MemoryRegion supervisorReadByte_[5], supervisorReadWord_[5];
    MemoryRegion supervisorWriteByte_[4], supervisorWriteWord_[4];
    MemoryRegion userRead_[5], userWrite_[4];
};

// ==================================================================== comparison and report

namespace {

std::string Format(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

const char* EventName(uint8_t kind) {
    static constexpr const char* kNames[] = {"read byte",  "read word",        "write byte",
                                             "write word", "bus error access", "reset"};
    return kind < 6 ? kNames[kind] : "?";
}

std::string DescribeEvent(const std::vector<BusEvent>& events, size_t index) {
    if (index >= events.size()) return "none";
    const BusEvent& event = events[index];
    return Format("%s %06X value %X at time %d", EventName(event.kind), event.address, event.value,
                  event.time);
}

// The first field in which the sliced run differs from the one-by-one run, or "".
std::string FirstDifference(const Outcome& sliced, const Outcome& single) {
    auto field = [](const char* name, uint32_t a, uint32_t b) {
        return Format("%s: sliced %08X, one by one %08X", name, a, b);
    };
    if (sliced.instructionCount != single.instructionCount) {
        return field("instructions run", sliced.instructionCount, single.instructionCount);
    }
    if (sliced.result != single.result) return field("run result", sliced.result, single.result);
    if (sliced.pc != single.pc) return field("PC", sliced.pc, single.pc);
    if (sliced.sr != single.sr) return field("SR", sliced.sr, single.sr);
    for (int reg = 0; reg < 8; ++reg) {
        if (sliced.d[reg] != single.d[reg]) {
            return field(Format("D%d", reg).c_str(), sliced.d[reg], single.d[reg]);
        }
    }
    for (int reg = 0; reg < 8; ++reg) {
        if (sliced.a[reg] != single.a[reg]) {
            return field(Format("A%d", reg).c_str(), sliced.a[reg], single.a[reg]);
        }
    }
    if (sliced.otherStackPointer != single.otherStackPointer) {
        return field("other stack pointer", sliced.otherStackPointer, single.otherStackPointer);
    }
    if (sliced.cycleCounter != single.cycleCounter) {
        return field("cycle counter", static_cast<uint32_t>(sliced.cycleCounter),
                     static_cast<uint32_t>(single.cycleCounter));
    }
    if (sliced.interruptState != single.interruptState) {
        return field("interrupt state (pending levels, stopped)", sliced.interruptState,
                     single.interruptState);
    }
    const size_t events = std::max(sliced.events.size(), single.events.size());
    for (size_t index = 0; index < events; ++index) {
        if (index < sliced.events.size() && index < single.events.size() &&
            sliced.events[index] == single.events[index]) {
            continue;
        }
        return Format("device access %zu: sliced %s; one by one %s", index,
                      DescribeEvent(sliced.events, index).c_str(),
                      DescribeEvent(single.events, index).c_str());
    }
    if (std::memcmp(sliced.ram.data(), single.ram.data(), kRamBytes) == 0) return "";
    for (uint32_t offset = 0; offset < kRamBytes; ++offset) {
        if (sliced.ram[offset] != single.ram[offset]) {
            return Format("RAM byte at %06X: sliced %02X, one by one %02X", offset ^ 1,
                          sliced.ram[offset], single.ram[offset]);
        }
    }
    return "";
}

std::string DescribeStart(const StreamCase& stream) {
    std::string text = Format("start: PC %08X SR %04X cycle counter %d, %d instructions at most\n",
                              stream.pc, stream.sr, stream.cycleCounter, stream.maxInstructions);
    text += "  D0-D7";
    for (uint32_t value : stream.d) text += Format(" %08X", value);
    text += "\n  A0-A7";
    for (uint32_t value : stream.a) text += Format(" %08X", value);
    text += Format("\n  other stack pointer %08X; device seed %08X, actions %s; reset hook %s\n",
                   stream.otherStackPointer, stream.deviceSeed, stream.deviceActions ? "on" : "off",
                   stream.resetHook ? "on" : "off");
    for (const PendingInterrupt& request : stream.interrupts) {
        text +=
            Format("  pending at the start: level %d, vector %d\n", request.level, request.vector);
    }
    return text;
}

// The steps of the one-by-one run up to the failing one: the instruction number, its address,
// the opcode and the words after it.
std::string DescribeSteps(const std::vector<Step>& steps, uint32_t failingInstruction) {
    std::string text = "one instruction per slice (number: address  opcode, following words):\n";
    size_t last = steps.size();
    for (size_t index = 0; index < steps.size(); ++index) {
        if (steps[index].instructionsAfter >= failingInstruction) {
            last = index + 1;
            break;
        }
    }
    const size_t first = last > 40 ? last - 40 : 0;
    if (first > 0) text += Format("  ... %zu steps before\n", first);
    for (size_t index = first; index < last; ++index) {
        const Step& step = steps[index];
        text += Format("  #%-4u %06X  %04X  %04X %04X %04X %04X %04X\n", step.instructionsAfter,
                       step.pc & 0xFFFFFF, step.words[0], step.words[1], step.words[2],
                       step.words[3], step.words[4], step.words[5]);
    }
    return text;
}

}  // namespace

StreamChecker::StreamChecker() : machine_(std::make_unique<StreamMachine>()) {
    CpuBuildDispatch();
}
StreamChecker::~StreamChecker() = default;

void StreamChecker::setTrace(bool on) {
    machine_->trace = on;
}

StreamVerdict StreamChecker::check(const StreamCase& stream) {
    StreamMachine& machine = *machine_;
    ReferenceRun& single = machine.single;
    Outcome& sliced = machine.sliced;
    machine.runOneByOne(stream, stream.maxInstructions, single);
    machine.runSliced(stream, single.slicedCycles, single.outcome.instructionCount, &totals.slices,
                      sliced);

    ++totals.streams;
    totals.instructions += single.outcome.instructionCount;
    totals.deviceAccesses += single.outcome.events.size();
    totals.cutBySelfModification += single.cut;
    const uint32_t result = single.outcome.result;
    if (result == kCpuHalted) {
        ++totals.halted;
    } else if (result == kCpuLeftFetchRegions) {
        ++totals.leftFetchRegions;
    } else if (result != kCpuRunEnded) {
        ++totals.resetWithoutHook;
    } else if (single.endedByStop) {
        ++totals.stopped;
    }
    // A step that ends at a stub has taken that stub's exception.
    for (size_t index = 1; index <= single.steps.size(); ++index) {
        const uint32_t pc =
            (index < single.steps.size() ? single.steps[index].pc : single.outcome.pc) & 0xFFFFFF;
        for (int kind = 0; kind < kExceptionKinds; ++kind) {
            if (pc == StubOf(static_cast<ExceptionKind>(kind)).address) ++totals.exceptions[kind];
        }
    }

    StreamVerdict verdict;
    std::string difference;
    uint32_t failing = single.outcome.instructionCount;
    if (single.severalInstructionsAt >= 0) {
        failing = single.steps[static_cast<size_t>(single.severalInstructionsAt)].instructionsAfter;
        difference = "a 4-cycle slice ran more than one instruction";
    } else {
        difference = FirstDifference(sliced, single.outcome);
        if (difference.empty()) return verdict;
        // Find the first instruction after which the two runs part.
        for (uint32_t count = 1; count <= single.outcome.instructionCount; ++count) {
            ReferenceRun shorter;
            Outcome shorterSliced;
            machine.runOneByOne(stream, static_cast<int>(count), shorter);
            machine.runSliced(stream, shorter.slicedCycles, shorter.outcome.instructionCount,
                              nullptr, shorterSliced);
            std::string early = FirstDifference(shorterSliced, shorter.outcome);
            if (!early.empty()) {
                failing = count;
                difference = early;
                break;
            }
        }
    }
    verdict.agree = false;
    verdict.report = "the sliced run and the run of one instruction per slice differ\n" +
                     DescribeStart(stream) + DescribeSteps(single.steps, failing) +
                     Format("first difference after instruction #%u: ", failing) + difference +
                     "\n";
    return verdict;
}

}  // namespace orvet::test::streams
