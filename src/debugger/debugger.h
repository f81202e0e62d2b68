// The debugger window's model: the disassembly pane with its breakpoints, the memory dump with
// its caret and nibble editing, the registers, the break-on-interrupt choices and the floppy
// controller's panel, and what each key and click does. The machine is stopped whenever the
// window is shown, so every action reads and writes it directly between processor runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "debugger/disassembler.h"

namespace orvet {

struct Machine;

constexpr int kDisassemblyLines = 16;
constexpr int kMemoryLines = 16;
constexpr int kMemoryLineBytes = 8;

enum class DebuggerPane : uint8_t { Disassembly = 0, Memory = 1, Registers = 2 };

enum class DebuggerKey : uint8_t {
    Tab,  // with Control: the other pane
    G,    // ask for the disassembly's address
    M,    // ask for the memory dump's address
    F5,   // run until a breakpoint
    F6,   // one instruction
    F7,   // run to the instruction after this one
    F8,   // skip this instruction
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    Delete,
    Backspace,
    HexDigit,  // with the digit's value
};

// What a key asks of the front end beyond the model's own change.
enum class DebuggerRequest : uint8_t {
    None,
    Run,  // the machine runs under the debugger: the front end closes
};

// Where the "Set Memory Address" prompt puts its answer.
enum class AddressPrompt : uint8_t { None, Disassembly, Memory };

struct DebuggerWindow {
    uint32_t disassemblyTop = 0;
    uint32_t disassemblyBottom = 0;  // the address after the 16th line
    uint32_t memoryTop = 0;
    uint32_t memoryCursor = 0;
    bool lowNibblePending = false;
    DebuggerPane focusedPane = DebuggerPane::Disassembly;
    AddressPrompt prompt = AddressPrompt::None;
    std::string promptText;
    // The frame view: the last frame's hardware writes over its picture.
    bool frameView = false;
    int selectedEvent = -1;
};

// The window opens: the PC comes into view.
void OpenDebugger(DebuggerWindow& window, Machine& machine);

// When the PC lies outside the disassembly pane, the pane starts at it.
void KeepPcInView(DebuggerWindow& window, Machine& machine);

DebuggerRequest DebuggerKeyDown(DebuggerWindow& window, Machine& machine, DebuggerKey key,
                                bool control = false, int digit = 0);

// The prompt's answer: the text read as hexadecimal (text that is none gives 0). Cancel leaves
// everything as it was.
void AnswerAddressPrompt(DebuggerWindow& window, Machine& machine, bool ok);

// A click in the disassembly pane on line 0-15: in the breakpoint column it sets or clears a
// breakpoint at that line's instruction; anywhere it gives the pane the focus.
void ClickDisassembly(DebuggerWindow& window, Machine& machine, int line, bool breakpointColumn);

// A click (or a drag with the button held) on byte column 0-7 of line 0-15 of the memory pane.
void ClickMemory(DebuggerWindow& window, int line, int column);

void SetBreakOnEvent(Machine& machine, int eventKind, bool on);

// ---- What the panes show ----

struct DisassemblyLine {
    uint32_t address;
    std::string text;  // "%06X  " and the instruction
    bool atPc;
    bool breakpoint;
};
std::vector<DisassemblyLine> DisassemblyPane(const DebuggerWindow& window, Machine& machine);

// "%06X", the eight bytes in hexadecimal 24 pixels apart, then the eight characters.
struct MemoryLine {
    uint32_t address;
    std::array<uint8_t, kMemoryLineBytes> bytes;
    std::string characters;  // bytes below 32 or above 127 as '.'
};
std::vector<MemoryLine> MemoryPane(const DebuggerWindow& window, Machine& machine);
uint8_t PeekByte(Machine& machine, uint32_t address);

// The registers pane's 11 rows: "D0 00000000" at column 0, "A0 00000000" at 104 pixels and the
// five memory items of that address register at 200; then SR and the other stack pointer, the
// flags and the PC, the cycle counter.
struct RegisterRow {
    std::string left, middle, items;
};
std::array<RegisterRow, 11> RegistersPane(Machine& machine);
// "%04X" words from the address, the first a "%02X" byte when the address is odd.
std::string MemoryItems(Machine& machine, uint32_t address);
// The flag letters from bit 15 down with whether each is set: T, S, X, N, Z, V, C.
std::vector<std::pair<char, bool>> FlagLetters(uint16_t sr);

// The floppy panel: track, sector, data, command; direction, address, enabled, block size and
// the DMA's device.
struct FloppyPanel {
    std::string track, sector, data, command, direction, address, enabled, blockSize, device;
};
FloppyPanel FloppyState(const Machine& machine);

}  // namespace orvet
