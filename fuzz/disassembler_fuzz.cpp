// libFuzzer target for the disassembler: the input is 68000 words. Every word is taken as an
// instruction's start, as the debugger does when it scrolls into data. Each must give a line no
// longer than the debugger's pane with a length of 2 to 10 bytes, read only the words of that
// instruction, and leave the address just past them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "debugger/disassembler.h"

namespace {

struct Memory {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    uint32_t start = 0;  // the instruction being read
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "orvet_disassembler_fuzz: %s\n", what);
    std::abort();
}

uint16_t Read(void* context, uint32_t address) {
    const auto& memory = *static_cast<const Memory*>(context);
    if (address & 1) Fail("an odd address was read");
    if (address < memory.start || address >= memory.start + orvet::kInstructionLongest) {
        Fail("a word outside the instruction was read");
    }
    if (address + 1 >= memory.size) return 0xFFFF;  // past the input: nothing there
    return static_cast<uint16_t>(memory.bytes[address] << 8 | memory.bytes[address + 1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Memory memory{data, size, 0};
    orvet::Disassembler dis;
    dis.readWord = Read;
    dis.context = &memory;
    for (uint32_t start = 0; start + 1 < size; start += 2) {
        memory.start = start;
        orvet::DisassembleAt(dis, start);
        const std::string& line = dis.lineText;
        if (line.empty() || line.size() > orvet::kDisassemblyLineLongest) Fail("line length");
        if (dis.disLength < 2 || dis.disLength > orvet::kInstructionLongest ||
            (dis.disLength & 1)) {
            Fail("instruction length");
        }
        if (orvet::GetDisassemblyAddress(dis) != start + dis.disLength) Fail("next address");
    }
    return 0;
}
