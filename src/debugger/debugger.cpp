#include "debugger/debugger.h"

#include <cstdio>
#include <cstdlib>

#include "machine/machine.h"

namespace orvet {
namespace {

std::string Hex(const char* format, uint32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

uint32_t NextInstruction(Machine& machine, uint32_t address) {
    Disassembler dis = MachineDisassembler(machine.cpu);
    return DisassembleAt(dis, address);
}

uint32_t InstructionsOn(Machine& machine, uint32_t address, int count) {
    for (int i = 0; i < count; ++i) address = NextInstruction(machine, address);
    return address;
}

void SetDisassemblyTop(DebuggerWindow& window, Machine& machine, uint32_t top) {
    window.disassemblyTop = top;
    window.disassemblyBottom = InstructionsOn(machine, top, kDisassemblyLines);
}

// One instruction back from top: instructions have no marker, so tries start 2, 4, ... 40 bytes
// earlier and keep the one whose instructions end exactly at top.
uint32_t StepBack(Machine& machine, uint32_t top) {
    for (uint32_t back = 2; back <= 40; back += 2) {
        uint32_t address = top - back, last = address;
        while (address < top) {
            last = address;
            address = NextInstruction(machine, address);
        }
        if (address == top) return last;
    }
    return top - 2;
}

// The cursor moved by step; the pane follows when it leaves the 128 bytes shown.
void MoveMemoryCursor(DebuggerWindow& window, int32_t step) {
    window.memoryCursor += static_cast<uint32_t>(step);
    const uint32_t offset = window.memoryCursor - window.memoryTop;
    if (offset >= kMemoryLines * kMemoryLineBytes) window.memoryTop += static_cast<uint32_t>(step);
}

DebuggerRequest RunUnderDebugger(DebuggerWindow&, Machine& machine, uint32_t runTo) {
    machine.debugger.runToAddress = runTo;
    SetRunState(machine, RunState::DebuggerStep);
    return DebuggerRequest::Run;
}

// One instruction, with the frame's events kept in step. An event that falls due fires first;
// when the processor takes the interrupt it posts, the step ends on the handler's first
// instruction, else the instruction runs. A step therefore always shows something happen.
void SingleStep(Machine& machine) {
    for (int events = 0; events < 64; ++events) {
        const int32_t granted = FrameStep(machine);
        if (granted > 0) {
            if (CpuExecute(machine.cpu, 4) != kCpuRunEnded) ResetMachine(machine, true);
            return;
        }
        if (granted == 0) {
            const uint32_t pc = machine.cpu.pc;
            CpuServiceInterrupts(machine.cpu);
            if (machine.cpu.pc != pc) return;
        }
    }
}

}  // namespace

void OpenDebugger(DebuggerWindow& window, Machine& machine) {
    window.prompt = AddressPrompt::None;
    KeepPcInView(window, machine);
}

void KeepPcInView(DebuggerWindow& window, Machine& machine) {
    const uint32_t pc = machine.cpu.pc;
    if (pc < window.disassemblyTop || pc >= window.disassemblyBottom) {
        SetDisassemblyTop(window, machine, pc);
    }
}

DebuggerRequest DebuggerKeyDown(DebuggerWindow& window, Machine& machine, DebuggerKey key,
                                bool control, int digit) {
    switch (key) {
        case DebuggerKey::Tab:
            if (control) {
                window.focusedPane = window.focusedPane == DebuggerPane::Disassembly
                                         ? DebuggerPane::Memory
                                         : DebuggerPane::Disassembly;
            }
            return DebuggerRequest::None;
        case DebuggerKey::G:
        case DebuggerKey::M:
            window.prompt =
                key == DebuggerKey::G ? AddressPrompt::Disassembly : AddressPrompt::Memory;
            window.promptText.clear();
            return DebuggerRequest::None;
        case DebuggerKey::F5:
            return RunUnderDebugger(window, machine, DebuggerStops::kNoAddress);
        case DebuggerKey::F6:
            SingleStep(machine);
            KeepPcInView(window, machine);
            return DebuggerRequest::None;
        case DebuggerKey::F7:
            // Over a subroutine call or a loop: on until the instruction after this one.
            return RunUnderDebugger(window, machine, NextInstruction(machine, machine.cpu.pc));
        case DebuggerKey::F8:
            machine.cpu.pc = NextInstruction(machine, machine.cpu.pc);
            KeepPcInView(window, machine);
            return DebuggerRequest::None;
        default:
            break;
    }
    if (window.focusedPane == DebuggerPane::Disassembly) {
        switch (key) {
            case DebuggerKey::Down:
                SetDisassemblyTop(window, machine, NextInstruction(machine, window.disassemblyTop));
                break;
            case DebuggerKey::PageDown:
                SetDisassemblyTop(
                    window, machine,
                    InstructionsOn(machine, window.disassemblyTop, kDisassemblyLines));
                break;
            case DebuggerKey::Up:
                SetDisassemblyTop(window, machine, StepBack(machine, window.disassemblyTop));
                break;
            case DebuggerKey::PageUp: {
                uint32_t top = window.disassemblyTop;
                for (int i = 0; i < kDisassemblyLines; ++i) top = StepBack(machine, top);
                SetDisassemblyTop(window, machine, top);
                break;
            }
            case DebuggerKey::Home:
                KeepPcInView(window, machine);
                break;
            default:
                break;
        }
        return DebuggerRequest::None;
    }
    if (window.focusedPane != DebuggerPane::Memory) return DebuggerRequest::None;
    const bool pending = window.lowNibblePending;
    switch (key) {
        case DebuggerKey::Left:
            window.lowNibblePending = false;
            if (!pending) MoveMemoryCursor(window, -1);  // a half-typed byte keeps the caret
            break;
        case DebuggerKey::Right:
            window.lowNibblePending = false;
            MoveMemoryCursor(window, 1);
            break;
        case DebuggerKey::Up:
        case DebuggerKey::Down:
            window.lowNibblePending = false;
            MoveMemoryCursor(window, key == DebuggerKey::Up ? -kMemoryLineBytes : kMemoryLineBytes);
            break;
        case DebuggerKey::PageUp:
        case DebuggerKey::PageDown: {
            window.lowNibblePending = false;
            const uint32_t page = kMemoryLines * kMemoryLineBytes;
            const uint32_t step = key == DebuggerKey::PageUp ? 0u - page : page;
            window.memoryCursor += step;
            window.memoryTop += step;
            break;
        }
        case DebuggerKey::Delete:
        case DebuggerKey::Backspace:
            window.lowNibblePending = false;
            break;
        case DebuggerKey::HexDigit: {
            const uint8_t value = static_cast<uint8_t>(digit & 15);
            const uint8_t byte = PeekByte(machine, window.memoryCursor);
            if (!pending) {
                CpuPokeByte(machine.cpu, window.memoryCursor,
                            static_cast<uint8_t>((byte & 0x0F) | value << 4));
                window.lowNibblePending = true;
            } else {
                CpuPokeByte(machine.cpu, window.memoryCursor,
                            static_cast<uint8_t>((byte & 0xF0) | value));
                window.lowNibblePending = false;
                MoveMemoryCursor(window, 1);
            }
            break;
        }
        default:
            break;
    }
    return DebuggerRequest::None;
}

void AnswerAddressPrompt(DebuggerWindow& window, Machine& machine, bool ok) {
    const AddressPrompt prompt = window.prompt;
    window.prompt = AddressPrompt::None;
    if (!ok) return;
    char* end = nullptr;
    unsigned long value = std::strtoul(window.promptText.c_str(), &end, 16);
    if (end == window.promptText.c_str()) value = 0;  // no hexadecimal digit at all
    const auto address = static_cast<uint32_t>(value);
    if (prompt == AddressPrompt::Disassembly) {
        SetDisassemblyTop(window, machine, address);
    } else if (prompt == AddressPrompt::Memory) {
        window.memoryTop = window.memoryCursor = address;
        window.lowNibblePending = false;
    }
}

void ClickDisassembly(DebuggerWindow& window, Machine& machine, int line, bool breakpointColumn) {
    window.focusedPane = DebuggerPane::Disassembly;
    if (!breakpointColumn || line < 0 || line >= kDisassemblyLines) return;
    const uint32_t address = InstructionsOn(machine, window.disassemblyTop, line) & 0xFFFFFF;
    if (!machine.debugger.removeBreakpoint(address)) machine.debugger.addBreakpoint(address);
}

void ClickMemory(DebuggerWindow& window, int line, int column) {
    if (line < 0 || line >= kMemoryLines || column < 0 || column >= kMemoryLineBytes) return;
    window.focusedPane = DebuggerPane::Memory;
    window.memoryCursor =
        window.memoryTop + static_cast<uint32_t>(line * kMemoryLineBytes + column);
    window.lowNibblePending = false;
}

void SetBreakOnEvent(Machine& machine, int eventKind, bool on) {
    if (eventKind >= 0 && eventKind < static_cast<int>(machine.debugger.breakOnEvent.size())) {
        machine.debugger.breakOnEvent[static_cast<size_t>(eventKind)] = on;
    }
}

uint8_t PeekByte(Machine& machine, uint32_t address) {
    const uint16_t word = CpuPeekWord(machine.cpu, address & ~1u);
    return static_cast<uint8_t>((address & 1) ? word : word >> 8);
}

std::vector<DisassemblyLine> DisassemblyPane(const DebuggerWindow& window, Machine& machine) {
    std::vector<DisassemblyLine> lines;
    Disassembler dis = MachineDisassembler(machine.cpu);
    SetDisassemblyAddress(dis, window.disassemblyTop);
    for (int line = 0; line < kDisassemblyLines; ++line) {
        const uint32_t address = GetDisassemblyAddress(dis);
        const std::string& text = DisassembleOne(dis);
        lines.push_back({address, Hex("%06X  ", address & 0xFFFFFF) + text,
                         address == machine.cpu.pc, machine.debugger.stopsAt(address)});
    }
    return lines;
}

std::vector<MemoryLine> MemoryPane(const DebuggerWindow& window, Machine& machine) {
    std::vector<MemoryLine> lines;
    for (int line = 0; line < kMemoryLines; ++line) {
        MemoryLine row{window.memoryTop + static_cast<uint32_t>(line * kMemoryLineBytes), {}, {}};
        for (int column = 0; column < kMemoryLineBytes; ++column) {
            const uint8_t byte = PeekByte(machine, row.address + static_cast<uint32_t>(column));
            row.bytes[static_cast<size_t>(column)] = byte;
            row.characters += (byte < 32 || byte > 127) ? '.' : static_cast<char>(byte);
        }
        lines.push_back(row);
    }
    return lines;
}

std::string MemoryItems(Machine& machine, uint32_t address) {
    std::string items;
    int count = 0;
    if (address & 1) {  // an odd address: its byte first, then the words that follow
        items = Hex("%02X", PeekByte(machine, address));
        ++address;
        ++count;
    }
    for (; count < 5; ++count, address += 2) {
        if (!items.empty()) items += ' ';
        items += Hex("%04X", CpuPeekWord(machine.cpu, address));
    }
    return items;
}

std::array<RegisterRow, 11> RegistersPane(Machine& machine) {
    std::array<RegisterRow, 11> rows;
    const CpuState& cpu = machine.cpu;
    for (int n = 0; n < 8; ++n) {
        rows[static_cast<size_t>(n)] = {
            Hex("D%d ", static_cast<uint32_t>(n)) + Hex("%08X", cpu.d[n]),
            Hex("A%d ", static_cast<uint32_t>(n)) + Hex("%08X", cpu.a[n]),
            MemoryItems(machine, cpu.a[n])};
    }
    const uint16_t sr = CpuStatusRegister(cpu);
    rows[8] = {Hex("SR %04X", sr), Hex("A7'%08X", cpu.otherStackPointer),
               MemoryItems(machine, cpu.otherStackPointer)};
    rows[9] = {"", Hex("PC %08X", cpu.pc), ""};  // the flags are drawn as letters
    rows[10] = {"", Hex("CS %08X", static_cast<uint32_t>(cpu.cycleCounter)), ""};
    return rows;
}

std::vector<std::pair<char, bool>> FlagLetters(uint16_t sr) {
    static const char letters[] = "CVZNX        S T";  // one per bit from bit 0
    std::vector<std::pair<char, bool>> flags;
    for (int bit = 15; bit >= 0; --bit) {
        if (letters[bit] != ' ') flags.push_back({letters[bit], (sr >> bit) & 1});
    }
    return flags;
}

FloppyPanel FloppyState(const Machine& machine) {
    const FdcController& controller = machine.fdc.controller;
    const FdcDma& dma = machine.fdc.dma;
    FloppyPanel panel;
    panel.track = std::to_string(controller.track);
    panel.sector = std::to_string(controller.sector);
    panel.data = std::to_string(controller.data);
    // The last command by its name, a help the controller's own registers do not give.
    static const char* const names[16] = {"Restore",      "Seek",
                                          "Step",         "Step",
                                          "Step In",      "Step In",
                                          "Step Out",     "Step Out",
                                          "Read Sector",  "Read Sector",
                                          "Write Sector", "Write Sector",
                                          "Read Address", "Force Interrupt",
                                          "Read Track",   "Write Track"};
    panel.command = Hex("$%02X ", controller.command) + names[controller.command >> 4];
    panel.direction = dma.towardsDisk ? "Write" : "Read";
    panel.address = Hex("%08X", dma.address);
    panel.enabled = dma.disabled ? "No" : "Yes";
    panel.blockSize = std::to_string(static_cast<int16_t>(dma.sectorCount));
    panel.device = dma.hardDiskSelected ? "Harddisk" : "Floppy";
    return panel;
}

}  // namespace orvet
