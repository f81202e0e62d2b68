#include "debugger/disassembler.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "cpu/cpu.h"

namespace orvet {
namespace {

using Formatter = void (*)(Disassembler&);

uint16_t ReadWord(Disassembler& dis) {
    const uint16_t word = dis.readWord(dis.context, dis.disAddress & ~1u);
    dis.disAddress += 2;
    dis.disLength += 2;
    return word;
}

uint32_t ReadLong(Disassembler& dis) {
    const uint32_t high = ReadWord(dis);
    return high << 16 | ReadWord(dis);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[96];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// The mnemonic, then the operands from column 8.
void Line(Disassembler& dis, const char* mnemonic, const std::string& operands = {}) {
    dis.lineText = mnemonic;
    if (operands.empty()) return;
    do {
        dis.lineText += ' ';
    } while (dis.lineText.size() < 8);
    dis.lineText += operands;
}

void Undefined(Disassembler& dis) {
    Line(dis, "dc.w", Format("$%X", dis.opcode));
}

// The size of an instruction's operand as its immediate data is read: 1 byte (the low half of
// one word), 2 a word, 4 or 0 two words.
int OperandSize(uint16_t opcode) {
    const unsigned line = opcode >> 12, sizeField = (opcode >> 6) & 3;
    const int bySizeField[] = {1, 2, 4, 0};
    switch (line) {
        case 1:
            return 1;
        case 2:
            return 4;
        case 3:
            return 2;
        case 4:
            if ((opcode & 0xF1C0) == 0x4180) return 2;  // CHK
            if ((opcode & 0xF1C0) == 0x41C0) return 4;  // LEA
            if ((opcode & 0xFFC0) == 0x44C0) return 1;  // MOVE to CCR
            if ((opcode & 0xFFC0) == 0x46C0) return 2;  // MOVE to SR
            return bySizeField[sizeField];
        case 5:
            return sizeField == 3 ? 1 : bySizeField[sizeField];
        case 8:
        case 9:
        case 11:
        case 12:
        case 13:
            if (sizeField == 3) {
                // DIVU, DIVS, MULU, MULS take a word; SUBA, CMPA, ADDA a word or a long.
                if (line == 8 || line == 12) return 2;
                return (opcode & 0x0100) ? 4 : 2;
            }
            return bySizeField[sizeField];
        case 0:
            if (opcode & 0x0100 || (opcode & 0x0F00) == 0x0800) return 1;  // bit operations
            return bySizeField[sizeField];
        default:
            return bySizeField[sizeField];
    }
}

// "+$4" or "-$4": the sign and magnitude of a displacement.
std::string Signed(int32_t value) {
    return Format("%c$%X", value < 0 ? '-' : '+',
                  value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value));
}

// The index register of a brief extension word: "a1.w", "d3.l".
std::string IndexRegister(uint16_t extension) {
    return Format("%c%u.%c", (extension & 0x8000) ? 'a' : 'd', (extension >> 12) & 7u,
                  (extension & 0x0800) ? 'l' : 'w');
}

// Formats the effective address of a six-bit mode and register field into eaText, reading its
// extension words in the order the 68000 takes them.
const std::string& EffectiveAddress(Disassembler& dis, unsigned field) {
    const unsigned mode = (field >> 3) & 7, reg = field & 7;
    switch (mode) {
        case 0:
            dis.eaText = Format("d%u", reg);
            break;
        case 1:
            dis.eaText = Format("a%u", reg);
            break;
        case 2:
            dis.eaText = Format("(a%u)", reg);
            break;
        case 3:
            dis.eaText = Format("(a%u)+", reg);
            break;
        case 4:
            dis.eaText = Format("-(a%u)", reg);
            break;
        case 5:
            dis.eaText = Signed(static_cast<int16_t>(ReadWord(dis))) + Format("(a%u)", reg);
            break;
        case 6: {
            const uint16_t extension = ReadWord(dis);
            dis.eaText = Signed(static_cast<int8_t>(extension & 0xFF)) + Format("(a%u,", reg) +
                         IndexRegister(extension) + ")";
            break;
        }
        default:
            switch (reg) {
                case 0: {
                    const uint16_t word = ReadWord(dis);
                    dis.eaText = Format("$%s%X.W", (word & 0x8000) ? "FFFF" : "", word);
                    break;
                }
                case 1:
                    dis.eaText = Format("$%X", ReadLong(dis));
                    break;
                case 2: {
                    const uint32_t base = dis.disAddress;
                    const int16_t displacement = static_cast<int16_t>(ReadWord(dis));
                    dis.eaText = Format("$%X(pc)", (base + displacement) & 0xFFFFFF);
                    break;
                }
                case 3: {
                    // The index's size is shown as for an address register's index: d0.w and
                    // d0.l are different addresses.
                    const uint32_t base = dis.disAddress;
                    const uint16_t extension = ReadWord(dis);
                    dis.eaText = Format("$%X(pc,",
                                        (base + static_cast<int8_t>(extension & 0xFF)) & 0xFFFFFF) +
                                 IndexRegister(extension) + ")";
                    break;
                }
                case 4: {
                    const int size = OperandSize(dis.opcode);
                    uint32_t value = size == 1   ? ReadWord(dis) & 0xFFu
                                     : size == 2 ? ReadWord(dis)
                                                 : ReadLong(dis);
                    dis.eaText = Format("#$%X", value);
                    break;
                }
                default:
                    dis.eaText = "????";
                    break;
            }
    }
    return dis.eaText;
}

std::string Ea(Disassembler& dis) {
    return EffectiveAddress(dis, dis.opcode & 0x3F);
}

unsigned RegisterField(const Disassembler& dis) {
    return (dis.opcode >> 9) & 7;
}
unsigned SizeField(const Disassembler& dis) {
    return (dis.opcode >> 6) & 3;
}
unsigned EaMode(const Disassembler& dis) {
    return (dis.opcode >> 3) & 7;
}
const char* SizeSuffix(unsigned size) {
    return size == 0 ? ".b" : size == 1 ? ".w" : ".l";
}

// ---- 0x0000: immediate arithmetic, bit operations, MOVEP ----

void ImmediateGroup(Disassembler& dis) {
    static const char* const names[8] = {"ori", "andi", "subi", "addi", "", "eori", "cmpi", ""};
    const unsigned size = SizeField(dis);
    const std::string mnemonic = std::string(names[RegisterField(dis)]) + SizeSuffix(size);
    const uint32_t value = size == 0   ? ReadWord(dis) & 0xFFu
                           : size == 1 ? ReadWord(dis)
                                       : ReadLong(dis);
    if ((dis.opcode & 0x3F) == 0x3C) {  // to the condition codes or the status register
        const char* target = size == 0 ? "ccr" : size == 1 ? "sr" : "";
        Line(dis, mnemonic.c_str(), Format("#$%X,%s", value, target));
        return;
    }
    Line(dis, mnemonic.c_str(), Format("#$%X,", value) + Ea(dis));
}

const char* const kBitNames[4] = {"btst", "bchg", "bclr", "bset"};

void DynamicBit(Disassembler& dis) {
    if (EaMode(dis) == 1) {  // MOVEP: bits 7 and 6 say direction and size
        const bool toMemory = dis.opcode & 0x80, longSize = dis.opcode & 0x40;
        const int16_t displacement = static_cast<int16_t>(ReadWord(dis));
        const std::string memory = displacement == 0
                                       ? Format("(a%u)", dis.opcode & 7u)
                                       : Signed(displacement) + Format("(a%u)", dis.opcode & 7u);
        const char* mnemonic = longSize ? "movep.l" : "movep";
        if (toMemory) {
            Line(dis, mnemonic, Format("d%u,", RegisterField(dis)) + memory);
        } else {
            Line(dis, mnemonic, memory + Format(",d%u", RegisterField(dis)));
        }
        return;
    }
    const unsigned reg = RegisterField(dis);
    Line(dis, kBitNames[SizeField(dis)], Format("d%u,", reg) + Ea(dis));
}

void StaticBit(Disassembler& dis) {
    const unsigned bit = ReadWord(dis) & 0xFF;
    Line(dis, kBitNames[SizeField(dis)], Format("#$%X,", bit) + Ea(dis));
}

// ---- 0x1000-0x3FFF: MOVE ----

void Move(Disassembler& dis) {
    static const char* const names[4] = {"", "move.b", "move.l", "move.w"};
    const std::string source = Ea(dis);
    const unsigned destination = ((dis.opcode >> 3) & 0x38) | RegisterField(dis);
    Line(dis, names[dis.opcode >> 12], source + "," + EffectiveAddress(dis, destination));
}

// ---- 0x4000: miscellaneous ----

void SingleOperand(Disassembler& dis) {
    static const char* const names[8] = {"negx", "", "clr", "", "neg", "", "not", ""};
    const unsigned which = (dis.opcode >> 8) & 0xF;
    const char* name = which == 0xA ? "tst" : names[which & 7];
    Line(dis, (std::string(name) + SizeSuffix(SizeField(dis))).c_str(), Ea(dis));
}

void MoveFromSr(Disassembler& dis) {
    Line(dis, "move.w", "sr," + Ea(dis));
}
void MoveFromCcr(Disassembler& dis) {
    Line(dis, "move.b", "ccr," + Ea(dis));
}
void MoveToCcr(Disassembler& dis) {
    Line(dis, "move.b", Ea(dis) + ",ccr");
}
void MoveToSr(Disassembler& dis) {
    Line(dis, "move.w", Ea(dis) + ",sr");
}
void Chk(Disassembler& dis) {
    Line(dis, "chk", Ea(dis) + Format(",d%u", RegisterField(dis)));
}
void Lea(Disassembler& dis) {
    Line(dis, "lea", Ea(dis) + Format(",a%u", RegisterField(dis)));
}
void Nbcd(Disassembler& dis) {
    Line(dis, "nbcd.b", Ea(dis));
}

void PeaOrSwap(Disassembler& dis) {
    if (EaMode(dis) <= 1) {
        Line(dis, "swap", Format("d%u", dis.opcode & 7u));
    } else {
        Line(dis, "pea", Ea(dis));
    }
}

// d0-d7 and a0-a7 as bits 0-15; runs of set bits become "first-last", separated by "/". A mask
// naming no register (the instruction still reads or writes nothing) shows as the number 0, not
// as an empty operand.
std::string RegisterList(uint16_t mask) {
    static const char names[] = "d0d1d2d3d4d5d6d7a0a1a2a3a4a5a6a7";
    if (mask == 0) return "#$0";
    std::string text;
    for (int first = 0; first < 16;) {
        if (!(mask & (1u << first))) {
            ++first;
            continue;
        }
        int last = first;
        while (last + 1 < 16 && (mask & (1u << (last + 1)))) ++last;
        if (!text.empty()) text += '/';
        text.append(names + 2 * first, 2);
        if (last > first) {
            text += '-';
            text.append(names + 2 * last, 2);
        }
        first = last + 1;
    }
    return text;
}

uint16_t Reversed(uint16_t mask) {
    uint16_t reversed = 0;
    for (int bit = 0; bit < 16; ++bit) {
        if (mask & (1u << bit)) reversed |= static_cast<uint16_t>(1u << (15 - bit));
    }
    return reversed;
}

void MovemToMemory(Disassembler& dis) {
    const bool longSize = dis.opcode & 0x40;
    if (EaMode(dis) == 0) {
        Line(dis, longSize ? "ext.l" : "ext.w", Format("d%u", dis.opcode & 7u));
        return;
    }
    const uint16_t mask = ReadWord(dis);
    const char* mnemonic = longSize ? "movem.l" : "movem.w";
    if (EaMode(dis) == 4) {  // the predecrement form lists a7 in bit 0
        Line(dis, mnemonic, RegisterList(Reversed(mask)) + Format(",-(a%u)", dis.opcode & 7u));
    } else {
        Line(dis, mnemonic, RegisterList(mask) + "," + Ea(dis));
    }
}

void MovemToRegisters(Disassembler& dis) {
    const uint16_t mask = ReadWord(dis);
    Line(dis, (dis.opcode & 0x40) ? "movem.l" : "movem.w", Ea(dis) + "," + RegisterList(mask));
}

void TasOrIllegal(Disassembler& dis) {
    if (dis.opcode == 0x4AFC) {
        Line(dis, "illegal");
    } else {
        Line(dis, "tas", Ea(dis));
    }
}

void Jsr(Disassembler& dis) {
    Line(dis, "jsr", Ea(dis));
}
void Jmp(Disassembler& dis) {
    Line(dis, "jmp", Ea(dis));
}

const char* ControlRegister(uint16_t extension) {
    switch (extension & 0xFFF) {
        case 0x000:
            return "sfc";
        case 0x001:
            return "dfc";
        case 0x800:
            return "usp";
        case 0x801:
            return "vbr";
        default:
            return "???";
    }
}

// 0x4E40-0x4E7F: traps, LINK, UNLK, the USP moves and the one-word instructions.
void SystemGroup(Disassembler& dis) {
    const unsigned low = dis.opcode & 0x3F, reg = dis.opcode & 7;
    if (low < 0x10) {
        Line(dis, "trap", Format("#%u", dis.opcode & 15u));
    } else if (low < 0x18) {
        Line(dis, "link",
             Format("a%u,", reg) + Signed(static_cast<int16_t>(ReadWord(dis))).insert(1, "#"));
    } else if (low < 0x20) {
        Line(dis, "unlk", Format("a%u", reg));
    } else if (low < 0x28) {
        Line(dis, "move.l", Format("a%u,usp", reg));
    } else if (low < 0x30) {
        Line(dis, "move.l", Format("usp,a%u", reg));
    } else {
        switch (low) {
            case 0x30:
                Line(dis, "reset");
                break;
            case 0x31:
                Line(dis, "nop");
                break;
            case 0x32:
                Line(dis, "stop", Format("#$%X", ReadWord(dis)));
                break;
            case 0x33:
                Line(dis, "rte");
                break;
            case 0x34:
                Line(dis, "rtd", Signed(static_cast<int16_t>(ReadWord(dis))).insert(1, "#"));
                break;
            case 0x35:
                Line(dis, "rts");
                break;
            case 0x36:
                Line(dis, "trapv");
                break;
            case 0x37:
                Line(dis, "rtr");
                break;
            case 0x3A:
            case 0x3B: {
                const uint16_t extension = ReadWord(dis);
                const std::string general =
                    Format("%c%u", (extension & 0x8000) ? 'a' : 'd', (extension >> 12) & 7u);
                if (low == 0x3A) {
                    Line(dis, "movec", std::string(ControlRegister(extension)) + "," + general);
                } else {
                    Line(dis, "movec", general + "," + ControlRegister(extension));
                }
                break;
            }
            default:
                Undefined(dis);
                break;
        }
    }
}

// ---- 0x5000: ADDQ, SUBQ, Scc, DBcc ----

const char* const kConditions[16] = {"t",  "f",  "hi", "ls", "cc", "cs", "ne", "eq",
                                     "vc", "vs", "pl", "mi", "ge", "lt", "gt", "le"};

void QuickOrCondition(Disassembler& dis) {
    const unsigned size = SizeField(dis), condition = (dis.opcode >> 8) & 15;
    if (size != 3) {
        const unsigned count = RegisterField(dis) == 0 ? 8 : RegisterField(dis);
        const std::string mnemonic =
            std::string((dis.opcode & 0x100) ? "subq" : "addq") + SizeSuffix(size);
        Line(dis, mnemonic.c_str(), Format("#%u,", count) + Ea(dis));
    } else if (EaMode(dis) == 1) {
        const uint32_t base = dis.disAddress;
        const int16_t displacement = static_cast<int16_t>(ReadWord(dis));
        const std::string mnemonic =
            condition == 1 ? "dbra" : std::string("db") + kConditions[condition];
        Line(dis, mnemonic.c_str(),
             Format("d%u,$%X", dis.opcode & 7u, (base + displacement) & 0xFFFFFF));
    } else {
        Line(dis, (std::string("s") + kConditions[condition]).c_str(), Ea(dis));
    }
}

// ---- 0x6000: branches ----

void Branch(Disassembler& dis) {
    const unsigned condition = (dis.opcode >> 8) & 15;
    const std::string name = condition == 0   ? "bra"
                             : condition == 1 ? "bsr"
                                              : std::string("b") + kConditions[condition];
    const int8_t shortDisplacement = static_cast<int8_t>(dis.opcode & 0xFF);
    if (shortDisplacement != 0) {
        const uint32_t target = dis.disAddress + shortDisplacement;  // past the opcode
        Line(dis, condition == 1 ? name.c_str() : (name + ".s").c_str(),
             Format("$%X", target & 0xFFFFFF));
        return;
    }
    const uint32_t base = dis.disAddress;
    const int16_t displacement = static_cast<int16_t>(ReadWord(dis));
    Line(dis, name.c_str(), Format("$%X", (base + displacement) & 0xFFFFFF));
}

void Moveq(Disassembler& dis) {
    Line(dis, "moveq", Format("#$%X,d%u", dis.opcode & 0xFFu, RegisterField(dis)));
}

// ---- 0x8000-0xD000: the two-operand arithmetic lines ----

const char* LineName(uint16_t opcode) {
    switch (opcode >> 12) {
        case 0x8:
            return "or";
        case 0x9:
            return "sub";
        case 0xB:
            return "cmp";
        case 0xC:
            return "and";
        default:
            return "add";
    }
}

void ToRegister(Disassembler& dis) {
    const std::string mnemonic = std::string(LineName(dis.opcode)) + SizeSuffix(SizeField(dis));
    Line(dis, mnemonic.c_str(), Ea(dis) + Format(",d%u", RegisterField(dis)));
}

// The memory-destination forms; with a register mode they are the extended and BCD
// instructions, EXG, or nothing.
void ToMemory(Disassembler& dis) {
    const unsigned size = SizeField(dis), line = dis.opcode >> 12;
    const unsigned source = dis.opcode & 7, destination = RegisterField(dis);
    const bool registerMode = (dis.opcode & 0x30) == 0;
    const bool predecrement = dis.opcode & 0x08;
    if (registerMode) {
        const std::string pair = predecrement ? Format("-(a%u),-(a%u)", source, destination)
                                              : Format("d%u,d%u", source, destination);
        if (size == 0 && (line == 0x8 || line == 0xC)) {
            Line(dis, line == 0x8 ? "sbcd" : "abcd", pair);
            return;
        }
        if (line == 0x9 || line == 0xD) {
            const std::string mnemonic =
                std::string(line == 0x9 ? "subx" : "addx") + SizeSuffix(size);
            Line(dis, mnemonic.c_str(), pair);
            return;
        }
        if (line == 0x8) {
            dis.lineText = "????";
            return;
        }
        if (line == 0xC && size == 1) {
            const char kind = predecrement ? 'a' : 'd';
            Line(dis, "exg", Format("%c%u,%c%u", kind, destination, kind, source));
            return;
        }
        if (line == 0xC && size == 2 && predecrement) {
            Line(dis, "exg", Format("d%u,a%u", destination, source));
            return;
        }
    }
    const std::string mnemonic = std::string(LineName(dis.opcode)) + SizeSuffix(size);
    Line(dis, mnemonic.c_str(), Format("d%u,", destination) + Ea(dis));
}

void EorOrCmpm(Disassembler& dis) {
    const unsigned size = SizeField(dis);
    if (EaMode(dis) == 1) {
        Line(dis, (std::string("cmpm") + SizeSuffix(size)).c_str(),
             Format("(a%u)+,(a%u)+", dis.opcode & 7u, RegisterField(dis)));
    } else {
        Line(dis, (std::string("eor") + SizeSuffix(size)).c_str(),
             Format("d%u,", RegisterField(dis)) + Ea(dis));
    }
}

void AddressArithmetic(Disassembler& dis) {
    const std::string mnemonic =
        std::string(LineName(dis.opcode)) + "a" + ((dis.opcode & 0x100) ? ".l" : ".w");
    Line(dis, mnemonic.c_str(), Ea(dis) + Format(",a%u", RegisterField(dis)));
}

void MultiplyDivide(Disassembler& dis) {
    const bool isSigned = dis.opcode & 0x100;
    const char* mnemonic =
        (dis.opcode >> 12) == 0x8 ? (isSigned ? "divs" : "divu") : (isSigned ? "muls" : "mulu");
    Line(dis, mnemonic, Ea(dis) + Format(",d%u", RegisterField(dis)));
}

// ---- 0xE000: shifts and rotates ----

const char* const kShiftNames[4] = {"as", "ls", "rox", "ro"};

void RegisterShift(Disassembler& dis) {
    const char* direction = (dis.opcode & 0x100) ? "l" : "r";
    const std::string mnemonic =
        std::string(kShiftNames[(dis.opcode >> 3) & 3]) + direction + SizeSuffix(SizeField(dis));
    const unsigned count = RegisterField(dis);
    const std::string operands = (dis.opcode & 0x20)
                                     ? Format("d%u,d%u", count, dis.opcode & 7u)
                                     : Format("#$%X,d%u", count == 0 ? 8 : count, dis.opcode & 7u);
    Line(dis, mnemonic.c_str(), operands);
}

void MemoryShift(Disassembler& dis) {
    const std::string mnemonic =
        std::string(kShiftNames[RegisterField(dis) & 3]) + ((dis.opcode & 0x100) ? "l" : "r");
    Line(dis, mnemonic.c_str(), Ea(dis));
}

// The formatter for an opcode's top ten bits.
Formatter Choose(unsigned index) {
    const uint16_t opcode = static_cast<uint16_t>(index << 6);
    const unsigned line = opcode >> 12, reg = (opcode >> 9) & 7, size = (opcode >> 6) & 3;
    const bool bit8 = opcode & 0x100;
    switch (line) {
        case 0x0:
            if (bit8) return DynamicBit;
            if (reg == 4) return StaticBit;
            if (reg == 7 || size == 3) return Undefined;
            return ImmediateGroup;
        case 0x1:
        case 0x2:
        case 0x3:
            return Move;
        case 0x4:
            if ((opcode & 0xF1C0) == 0x4180) return Chk;
            if ((opcode & 0xF1C0) == 0x41C0) return Lea;
            switch (opcode & 0x0FC0) {
                case 0x0000:
                case 0x0040:
                case 0x0080:
                case 0x0200:
                case 0x0240:
                case 0x0280:
                case 0x0400:
                case 0x0440:
                case 0x0480:
                case 0x0600:
                case 0x0640:
                case 0x0680:
                case 0x0A00:
                case 0x0A40:
                case 0x0A80:
                    return SingleOperand;
                case 0x00C0:
                    return MoveFromSr;
                case 0x02C0:
                    return MoveFromCcr;
                case 0x04C0:
                    return MoveToCcr;
                case 0x06C0:
                    return MoveToSr;
                case 0x0800:
                    return Nbcd;
                case 0x0840:
                    return PeaOrSwap;
                case 0x0880:
                case 0x08C0:
                    return MovemToMemory;
                case 0x0AC0:
                    return TasOrIllegal;
                case 0x0C80:
                case 0x0CC0:
                    return MovemToRegisters;
                case 0x0E40:
                    return SystemGroup;
                case 0x0E80:
                    return Jsr;
                case 0x0EC0:
                    return Jmp;
                default:
                    return Undefined;
            }
        case 0x5:
            return QuickOrCondition;
        case 0x6:
            return Branch;
        case 0x7:
            return bit8 ? Undefined : Moveq;
        case 0x8:
        case 0xC:
            if (size == 3) return MultiplyDivide;
            return bit8 ? ToMemory : ToRegister;
        case 0x9:
        case 0xD:
            if (size == 3) return AddressArithmetic;
            return bit8 ? ToMemory : ToRegister;
        case 0xB:
            if (size == 3) return AddressArithmetic;
            return bit8 ? EorOrCmpm : ToRegister;
        case 0xE:
            if (size != 3) return RegisterShift;
            return (opcode & 0x0800) ? Undefined : MemoryShift;
        default:
            return Undefined;
    }
}

const std::array<Formatter, 1024>& Formatters() {
    static const std::array<Formatter, 1024> table = [] {
        std::array<Formatter, 1024> built{};
        for (unsigned index = 0; index < built.size(); ++index) built[index] = Choose(index);
        return built;
    }();
    return table;
}

uint16_t PeekMachineWord(void* context, uint32_t address) {
    return CpuPeekWord(*static_cast<CpuState*>(context), address);
}

}  // namespace

Disassembler MachineDisassembler(CpuState& cpu) {
    Disassembler dis;
    dis.readWord = PeekMachineWord;
    dis.context = &cpu;
    return dis;
}

void SetDisassemblyAddress(Disassembler& dis, uint32_t address) {
    dis.disAddress = address;
}

uint32_t GetDisassemblyAddress(const Disassembler& dis) {
    return dis.disAddress;
}

const std::string& DisassembleOne(Disassembler& dis) {
    dis.disLength = 0;
    dis.lineText.clear();
    dis.opcode = ReadWord(dis);
    Formatters()[dis.opcode >> 6](dis);
    return dis.lineText;
}

uint32_t DisassembleAt(Disassembler& dis, uint32_t address) {
    SetDisassemblyAddress(dis, address);
    DisassembleOne(dis);
    return dis.disAddress;
}

}  // namespace orvet
