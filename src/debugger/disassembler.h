// The 68000 as assembly text for the debugger: the instruction at an address becomes one line,
// and the disassembler says where the next instruction starts. Memory is read only through a word
// reader (the processor's debugger access, or a buffer), so reading never disturbs a device.
//
// Numbers are upper-case hexadecimal after "$", mnemonics and registers lower case, and the
// operands start at column 8. The 68000's instructions are decoded, plus the 68010's RTD and
// MOVEC; a word that is no instruction prints as "dc.w    $XXXX".
#pragma once

#include <cstdint>
#include <string>

namespace orvet {

struct CpuState;

// Reads the 16-bit word at an even address; what is not there reads as 0xFFFF.
using DisassemblyWordReader = uint16_t (*)(void* context, uint32_t address);

struct Disassembler {
    DisassemblyWordReader readWord = nullptr;
    void* context = nullptr;
    uint32_t disAddress = 0;  // the next word to read
    uint32_t disLength = 0;   // bytes read for the current instruction
    uint16_t opcode = 0;
    std::string eaText;    // the last effective address formatted
    std::string lineText;  // the finished line
};

// The longest line any instruction makes: a MOVEM whose list alternates pairs of registers
// ("d0-d1/d3-d4/d6-d7/a1-a2/a4-a5/a7", 32 characters) from a PC-relative indexed address
// ("$FFFFFF(pc,a7.l)"), after the 8 columns of its mnemonic.
constexpr size_t kDisassemblyLineLongest = 57;
// The most bytes one instruction takes: an opcode and four extension words.
constexpr uint32_t kInstructionLongest = 10;

// A disassembler reading the machine's memory through the processor's debugger access.
Disassembler MachineDisassembler(CpuState& cpu);

void SetDisassemblyAddress(Disassembler& dis, uint32_t address);
uint32_t GetDisassemblyAddress(const Disassembler& dis);

// The line for the instruction at the current address; the address then follows it and
// disLength is the instruction's size.
const std::string& DisassembleOne(Disassembler& dis);

// Disassembles the instruction at address and returns the address of the next one.
uint32_t DisassembleAt(Disassembler& dis, uint32_t address);

}  // namespace orvet
