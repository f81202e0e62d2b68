// The disassembler against binutils' 68000 disassembler: every opcode word, each followed by
// three fixed sets of extension words, assembled at test time into an object file with one
// symbol per instruction (so objdump starts each afresh), and compared in length and, after
// bringing binutils' MIT syntax and our Motorola-style text to one form, in text.
#include "debugger/disassembler.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvet {
namespace {

struct WordMemory {
    uint32_t base = 0;
    std::vector<uint16_t> words;
};

uint16_t ReadMemory(void* context, uint32_t address) {
    const auto& memory = *static_cast<const WordMemory*>(context);
    const uint32_t index = (address - memory.base) / 2;
    return address >= memory.base && index < memory.words.size() ? memory.words[index] : 0xFFFF;
}

Disassembler BufferDisassembler(WordMemory& memory) {
    Disassembler dis;
    dis.readWord = ReadMemory;
    dis.context = &memory;
    return dis;
}

TEST(Disassembler, ShowsInstructionsAsTheDebuggerPrintsThem) {
    struct Case {
        std::vector<uint16_t> words;
        const char* text;
        uint32_t length;
    };
    const Case cases[] = {
        {{0x4E71}, "nop", 2},
        {{0x6002}, "bra.s   $FC0034", 2},
        {{0x6000, 0x0010}, "bra     $FC0042", 4},
        {{0x48E7, 0xFFFE}, "movem.l d0-a6,-(a7)", 4},
        {{0x48D0, 0x001D}, "movem.l d0/d2-d4,(a0)", 4},
        {{0x303C, 0x1234}, "move.w  #$1234,d0", 4},
        {{0x103C, 0x0012}, "move.b  #$12,d0", 4},
        {{0x2031, 0x9004}, "move.l  +$4(a1,a1.w),d0", 4},
        {{0x4AFC}, "illegal", 2},
        {{0xA000}, "dc.w    $A000", 2},
        {{0xF000}, "dc.w    $F000", 2},
        {{0x70FF}, "moveq   #$FF,d0", 2},
        {{0x3038, 0x8240}, "move.w  $FFFF8240.W,d0", 4},
        {{0x51C8, 0xFFFC}, "dbra    d0,$FC002E", 4},
        {{0x4E72, 0x2300}, "stop    #$2300", 4},
        {{0x23F9, 0x0001, 0x2345, 0x00FF, 0x8240}, "move.l  $12345,$FF8240", 10},
    };
    for (const Case& c : cases) {
        WordMemory memory{0xFC0030, c.words};
        Disassembler dis = BufferDisassembler(memory);
        SetDisassemblyAddress(dis, 0xFC0030);
        EXPECT_EQ(DisassembleOne(dis), c.text);
        EXPECT_EQ(dis.disLength, c.length) << c.text;
        EXPECT_EQ(GetDisassemblyAddress(dis), 0xFC0030 + c.length) << c.text;
    }
}

// ---- One form for both syntaxes ----

// An operand reduced to what it means: a register, an addressing form with its numbers, an
// immediate value, an address, or a register list as a mask.
struct Operand {
    std::string kind;  // "reg", "ind", "post", "pre", "disp", "index", "pc", "abs", "imm", "list"
    std::string reg, index;
    int64_t value = 0;
    bool operator==(const Operand& other) const {
        if (kind != other.kind || reg != other.reg || index != other.index) return false;
        if (kind != "imm") return value == other.value;
        // An immediate is the same number when it agrees in the width it was written in:
        // binutils prints "#-1" for the byte we print as "#$FF".
        for (int bits : {8, 16, 32}) {
            const int64_t span = int64_t{1} << bits;
            const auto fits = [&](int64_t v) { return v >= -span / 2 && v < span; };
            if (fits(value) && fits(other.value) &&
                ((value - other.value) % span + span) % span == 0) {
                return true;
            }
        }
        return false;
    }
};

struct Instruction {
    std::string mnemonic;  // without its size
    std::vector<Operand> operands;
    bool valid = true;
};

std::vector<std::string> SplitOperands(const std::string& text) {
    std::vector<std::string> parts;
    int depth = 0;
    std::string part;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty() || !parts.empty()) parts.push_back(part);
    return parts;
}

int RegisterNumber(const std::string& name) {  // d0-d7 0-7, a0-a7 8-15
    if (name == "sp") return 15;
    if (name == "fp") return 14;
    if (name.size() == 2 && (name[0] == 'd' || name[0] == 'a') && name[1] >= '0' && name[1] <= '7')
        return (name[0] == 'a' ? 8 : 0) + name[1] - '0';
    return -1;
}

std::string RegisterName(int number) {
    return std::string(1, number < 8 ? 'd' : 'a') + std::to_string(number & 7);
}

std::optional<int64_t> ListMask(const std::string& text, const std::string& prefix) {
    int64_t mask = 0;
    std::stringstream runs(text);
    std::string run;
    while (std::getline(runs, run, '/')) {
        const size_t dash = run.find('-');
        std::string first = run.substr(0, dash),
                    last = dash == std::string::npos ? first : run.substr(dash + 1);
        if (first.rfind(prefix, 0) != 0 || last.rfind(prefix, 0) != 0) return std::nullopt;
        const int low = RegisterNumber(first.substr(prefix.size()));
        const int high = RegisterNumber(last.substr(prefix.size()));
        if (low < 0 || high < low) return std::nullopt;
        for (int r = low; r <= high; ++r) mask |= int64_t{1} << r;
    }
    return mask;
}

int64_t Number(const std::string& text, int base) {
    return static_cast<int64_t>(std::strtoull(text.c_str(), nullptr, base));
}

// Our own operands.
Operand OurOperand(const std::string& text) {
    Operand op;
    if (RegisterNumber(text) >= 0) return {"reg", RegisterName(RegisterNumber(text)), "", 0};
    if (text == "sr" || text == "ccr" || text == "usp") return {"reg", text, "", 0};
    if (text.find('/') != std::string::npos ||
        (text.find('-') != std::string::npos && text[0] != '-' && text[0] != '+')) {
        if (auto mask = ListMask(text, "")) return {"list", "", "", *mask};
    }
    if (text.size() == 4 && text[0] == '(' && text[3] == ')')
        return {"ind", text.substr(1, 2), "", 0};
    if (text.size() == 5 && text[0] == '(' && text[4] == '+')
        return {"post", text.substr(1, 2), "", 0};
    if (text.size() == 5 && text[0] == '-' && text[1] == '(')
        return {"pre", text.substr(2, 2), "", 0};
    if (text[0] == '#') {
        op.kind = "imm";
        op.value = text[1] == '$' ? Number(text.substr(2), 16) : Number(text.substr(1), 10);
        return op;
    }
    if ((text[0] == '+' || text[0] == '-') && text[1] == '#') {  // link, rtd
        op.kind = "imm";
        op.value = Number(text.substr(3), 16) * (text[0] == '-' ? -1 : 1);
        return op;
    }
    if (text[0] == '+' || text[0] == '-') {
        const size_t open = text.find('(');
        op.value = Number(text.substr(2, open - 2), 16) * (text[0] == '-' ? -1 : 1);
        const std::string inside = text.substr(open + 1, text.size() - open - 2);
        op.reg = inside.substr(0, 2);
        op.kind = inside.size() > 2 ? "index" : "disp";
        if (inside.size() > 2) op.index = inside.substr(3);
        return op;
    }
    if (text[0] == '$') {
        const size_t open = text.find('(');
        op.value = Number(text.substr(1), 16) & 0xFFFFFFFF;
        if (open == std::string::npos) {
            op.kind = "abs";
        } else {
            op.kind = "pc";
            const std::string inside = text.substr(open + 1, text.size() - open - 2);
            if (inside.size() > 2) op.index = inside.substr(3);
        }
        return op;
    }
    op.kind = "unknown:" + text;
    return op;
}

Instruction OurInstruction(const std::string& line) {
    Instruction instruction;
    const size_t space = line.find(' ');
    std::string mnemonic = line.substr(0, space);
    if (mnemonic == "dc.w" || mnemonic == "????") instruction.valid = false;
    const size_t dot = mnemonic.find('.');
    instruction.mnemonic = mnemonic.substr(0, dot);
    if (space != std::string::npos) {
        const size_t start = line.find_first_not_of(' ', space);
        if (start != std::string::npos) {
            for (const std::string& part : SplitOperands(line.substr(start))) {
                instruction.operands.push_back(OurOperand(part));
            }
        }
    }
    return instruction;
}

// binutils' MIT syntax: %d0, %a0@, %a0@+, %a0@-, %a0@(16), %a0@(10,%d0:w) with the brief
// displacement in hexadecimal, %pc@(0x1234), 0x1234, #1234 in decimal, %d0-%fp/%a0.
std::string Unpercent(std::string text) {
    std::string out;
    for (char c : text) {
        if (c != '%') out += c;
    }
    return out;
}

std::string IndexOf(const std::string& text) {  // "d0:w" -> "d0.w"
    std::string index = text;
    const size_t colon = index.find(':');
    if (colon != std::string::npos) index[colon] = '.';
    const int number = RegisterNumber(index.substr(0, index.find('.')));
    return RegisterName(number) + index.substr(index.find('.'));
}

Operand BinutilsOperand(const std::string& raw) {
    const std::string text = Unpercent(raw);
    Operand op;
    if (RegisterNumber(text) >= 0) return {"reg", RegisterName(RegisterNumber(text)), "", 0};
    if (text == "sr" || text == "ccr" || text == "usp") return {"reg", text, "", 0};
    if (text[0] == '#') {
        op.kind = "imm";
        op.value = std::strtoll(text.c_str() + 1, nullptr, 0);
        return op;
    }
    if (text.rfind("0x", 0) == 0) return {"abs", "", "", Number(text, 16) & 0xFFFFFFFF};
    if (std::isxdigit(static_cast<unsigned char>(text[0])) && text.find(' ') != std::string::npos) {
        return {"abs", "", "", Number(text, 16) & 0xFFFFFFFF};  // "1c <label>"
    }
    if (text.rfind("pc@(", 0) == 0) {
        const std::string inside = text.substr(4, text.size() - 5);
        const size_t comma = inside.find(',');
        op.kind = "pc";
        op.value = Number(inside.substr(0, comma), 16) & 0xFFFFFFFF;
        if (comma != std::string::npos) op.index = IndexOf(inside.substr(comma + 1));
        return op;
    }
    const size_t at = text.find('@');
    if (at != std::string::npos) {
        op.reg = RegisterName(RegisterNumber(text.substr(0, at)));
        const std::string rest = text.substr(at + 1);
        if (rest.empty()) {
            op.kind = "ind";
        } else if (rest == "+") {
            op.kind = "post";
        } else if (rest == "-") {
            op.kind = "pre";
        } else {
            const std::string inside = rest.substr(1, rest.size() - 2);
            const size_t comma = inside.find(',');
            if (comma == std::string::npos) {
                op.kind = "disp";
                op.value = std::strtoll(inside.c_str(), nullptr, 10);
            } else {
                op.kind = "index";
                op.value = static_cast<int64_t>(
                    std::strtoull(inside.substr(0, comma).c_str(), nullptr, 16));
                op.value = static_cast<int8_t>(op.value & 0xFF);
                op.index = IndexOf(inside.substr(comma + 1));
            }
        }
        return op;
    }
    if (auto mask = ListMask(text, "")) return {"list", "", "", *mask};
    op.kind = "unknown:" + raw;
    return op;
}

Instruction BinutilsInstruction(const std::string& text) {
    Instruction instruction;
    const size_t space = text.find(' ');
    instruction.mnemonic = text.substr(0, space);
    if (instruction.mnemonic == ".short" || instruction.mnemonic == ".byte") {
        instruction.valid = false;
    }
    if (space != std::string::npos) {
        for (const std::string& part : SplitOperands(text.substr(space + 1))) {
            instruction.operands.push_back(BinutilsOperand(part));
        }
    }
    return instruction;
}

// Whether binutils' mnemonic names our instruction: the same base, perhaps with a size letter
// ("movew" for "move.w", "bras" for "bra.s"), or the other name of the same instruction.
bool SameMnemonic(const std::string& ours, std::string theirs) {
    if (theirs == "dbf") theirs = "dbra";
    if (theirs.rfind("movea", 0) == 0) theirs = "move" + theirs.substr(5);
    if (theirs == ours) return true;
    return theirs.size() == ours.size() + 1 && theirs.compare(0, ours.size(), ours) == 0 &&
           std::string("bwls").find(theirs.back()) != std::string::npos;
}

// Movem with one register: binutils prints the register, we print it as a list of one.
void OneRegisterLists(Instruction& instruction) {
    for (Operand& op : instruction.operands) {
        if (op.kind == "reg" && RegisterNumber(op.reg) >= 0 &&
            instruction.mnemonic.rfind("movem", 0) == 0) {
            op = {"list", "", "", int64_t{1} << RegisterNumber(op.reg)};
        }
    }
}

std::string Describe(const std::vector<uint16_t>& words) {
    std::string text;
    char hex[8];
    for (uint16_t word : words) {
        std::snprintf(hex, sizeof hex, "%04X ", word);
        text += hex;
    }
    return text;
}

struct Slot {
    uint32_t address;
    std::string text;
    uint32_t length;
};

// Disassembles every slot with binutils; the text and length of each slot's first instruction.
// The slots lie in one raw 68000 image, each followed by nops: whatever binutils makes of a
// slot's extension words, the longest instruction ends inside the nops, so it meets the next
// slot in step.
std::map<uint32_t, Slot> BinutilsSweep(const std::vector<std::vector<uint16_t>>& slots,
                                       uint32_t base, uint32_t slotBytes, uint32_t stride) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvet_dis_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string image = (folder / "sweep.bin").string();
    {
        std::ofstream file(image, std::ios::binary);
        for (const auto& slot : slots) {
            for (uint32_t offset = 0; offset < stride; offset += 2) {
                const uint16_t word = offset / 2 < slot.size() ? slot[offset / 2] : 0x4E71;
                const char bytes[2] = {static_cast<char>(word >> 8), static_cast<char>(word)};
                file.write(bytes, 2);
            }
        }
    }
    const std::string listing = (folder / "sweep.txt").string();
    char adjust[32];
    std::snprintf(adjust, sizeof adjust, "0x%X", base);
    const std::string disassemble = std::string(ORVET_M68K_OBJDUMP) +
                                    " -D -z --no-show-raw-insn -b binary -m m68k:68000 "
                                    "--adjust-vma=" +
                                    adjust + " " + image + " > " + listing;
    std::map<uint32_t, Slot> result;
    if (std::system(disassemble.c_str()) != 0) {
        ADD_FAILURE() << "binutils failed: " << disassemble;
        std::filesystem::remove_all(folder);
        return result;
    }
    std::ifstream lines(listing);
    std::string line;
    uint32_t pending = 0;  // the slot whose first instruction waits for its length
    std::string pendingText;
    bool waiting = false;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(":\t");
        if (colon == std::string::npos || line[0] != ' ') continue;
        const auto address = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 16));
        if (waiting) {
            result[pending] = {pending, pendingText, std::min(address - pending, slotBytes)};
            waiting = false;
        }
        if ((address - base) % stride != 0) continue;  // the rest of a slot, or its nops
        std::string text = line.substr(colon + 2);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
        for (char& c : text) {
            if (c == '\t') c = ' ';
        }
        pending = address;
        pendingText = text;
        waiting = true;
    }
    if (waiting) result[pending] = {pending, pendingText, slotBytes};
    std::filesystem::remove_all(folder);
    return result;
}

// Where the two disassemblers part, and why ours stands.
struct Excuse {
    uint16_t mask, value;
    const char* reason;
};
const Excuse kExcuses[] = {
    {0xF000, 0xF000,
     "line F: no 68000 instruction (the coprocessor interface came with the 68020); binutils "
     "decodes FPU and MMU instructions whatever machine it is given"},
    {0xFFF8, 0x4AF8,
     "4AF8-4AFF (but ILLEGAL): TAS of no valid address; binutils reads its switch-table marker "
     "swbeg"},
    {0xFFFF, 0x44FC,
     "MOVE #,CCR: the CCR takes the low byte of the immediate word, which is what we show"},
    {0xF138, 0x0108, "MOVEP with a displacement of 0 shows as (An); binutils writes the 0"},
};

const char* ExcuseFor(uint16_t opcode) {
    for (const Excuse& excuse : kExcuses) {
        if ((opcode & excuse.mask) == excuse.value) return excuse.reason;
    }
    return nullptr;
}

TEST(Disassembler, AgreesWithBinutilsOnEveryOpcodeWord) {
    // Extension words whose bits 8-10 are clear, so that a brief index word means the same to
    // the 68000 and to a later processor's disassembler.
    const std::vector<std::vector<uint16_t>> extensionSets = {
        {0x0010, 0x0004, 0x2038, 0x5008},
        {0x80F0, 0xF8FE, 0x8040, 0x7804},
        {0x0000, 0x0000, 0x0000, 0x0000},
    };
    constexpr uint32_t kBase = 0x100000, kSlotBytes = 10, kStride = 20;
    std::vector<std::vector<uint16_t>> slots;
    for (const auto& extension : extensionSets) {
        for (uint32_t opcode = 0; opcode < 0x10000; ++opcode) {
            std::vector<uint16_t> words{static_cast<uint16_t>(opcode)};
            words.insert(words.end(), extension.begin(), extension.end());
            slots.push_back(words);
        }
    }
    const std::map<uint32_t, Slot> theirs = BinutilsSweep(slots, kBase, kSlotBytes, kStride);
    ASSERT_EQ(theirs.size(), slots.size());

    WordMemory memory{kBase, {}};
    for (const auto& slot : slots) {
        memory.words.insert(memory.words.end(), slot.begin(), slot.end());
        memory.words.resize(memory.words.size() + (kStride - kSlotBytes) / 2, 0x4E71);
    }
    Disassembler dis = BufferDisassembler(memory);
    std::map<std::string, int> disagreements;  // by reason or by opcode group, with a count
    std::map<std::string, std::string> examples;
    int compared = 0, lengthFailures = 0, textFailures = 0;
    for (size_t index = 0; index < slots.size(); ++index) {
        const uint32_t address = kBase + static_cast<uint32_t>(index) * kStride;
        const Slot& their = theirs.at(address);
        SetDisassemblyAddress(dis, address);
        const std::string ours = DisassembleOne(dis);
        ASSERT_LE(ours.size(), kDisassemblyLineLongest) << ours;
        const Instruction theirInstruction = BinutilsInstruction(their.text);
        if (!theirInstruction.valid) continue;  // no 68000 instruction: our dc.w stands
        ++compared;
        Instruction ourInstruction = OurInstruction(ours);
        Instruction theirsNormal = theirInstruction;
        OneRegisterLists(ourInstruction);
        OneRegisterLists(theirsNormal);
        const uint16_t opcode = slots[index][0];
        const bool lengthAgrees = dis.disLength == their.length;
        const bool textAgrees = ourInstruction.valid &&
                                SameMnemonic(ourInstruction.mnemonic, theirsNormal.mnemonic) &&
                                ourInstruction.operands == theirsNormal.operands;
        if (lengthAgrees && textAgrees) continue;
        const char* reason = ExcuseFor(opcode);
        char group[16];
        std::snprintf(group, sizeof group, "%04X", opcode & 0xFFC0);
        const std::string key = reason ? reason : std::string("unexplained ") + group;
        if (!reason) (lengthAgrees ? textFailures : lengthFailures)++;
        if (disagreements[key]++ == 0) {
            examples[key] = Describe(slots[index]) + ": ours \"" + ours + "\" (" +
                            std::to_string(dis.disLength) + "), binutils \"" + their.text + "\" (" +
                            std::to_string(their.length) + ")";
        }
    }
    for (const auto& [key, count] : disagreements) {
        std::printf("%6d  %s\n        e.g. %s\n", count, key.c_str(), examples[key].c_str());
    }
    std::printf("%d instructions compared\n", compared);
    EXPECT_EQ(lengthFailures, 0);
    EXPECT_EQ(textFailures, 0);
}

}  // namespace
}  // namespace orvet
