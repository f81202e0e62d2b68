#include "frontend/debugger_view.h"

#include <SDL.h>
#include <imgui.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "debugger/frame_view.h"
#include "frontend/widget_map_view.h"
#include "machine/machine.h"

namespace orvet {
namespace {

constexpr ImU32 kText = IM_COL32(0xC8, 0xC8, 0xFF, 255);
constexpr ImU32 kFocusBack = IM_COL32(0x32, 0x32, 0x3F, 255);
constexpr ImU32 kFlagClear = IM_COL32(0x42, 0x42, 0x55, 255);
constexpr ImU32 kBreakpoint = IM_COL32(230, 40, 40, 255);
constexpr float kRow = 16;

// A pane's title, on the focus colour when its pane has the keys.
void Title(ImDrawList& draw, ImVec2 at, const char* text, bool focused) {
    const ImVec2 size = ImGui::CalcTextSize(text);
    draw.AddRectFilled(at, {at.x + size.x, at.y + size.y}, focused ? kFocusBack : IM_COL32_BLACK);
    draw.AddText(at, kText, text);
}

void Text(ImDrawList& draw, ImVec2 at, const std::string& text, ImU32 colour = kText) {
    draw.AddText(at, colour, text.c_str());
}

void RegistersPane(ImDrawList& draw, ImVec2 at, Machine& machine) {
    const auto rows = orvet::RegistersPane(machine);
    for (size_t row = 0; row < rows.size(); ++row) {
        const float y = at.y + kRow * static_cast<float>(row);
        Text(draw, {at.x, y}, rows[row].left);
        Text(draw, {at.x + 104, y}, rows[row].middle);
        Text(draw, {at.x + 200, y}, rows[row].items);
    }
    float x = at.x + 24;
    for (const auto& [letter, set] : FlagLetters(CpuStatusRegister(machine.cpu))) {
        Text(draw, {x, at.y + kRow * 9}, std::string(1, letter), set ? kText : kFlagClear);
        x += 8;
    }
}

DebuggerRequest DisassemblyPane(ImDrawList& draw, ImVec2 at, DebuggerWindow& window,
                                Machine& machine) {
    const auto lines = orvet::DisassemblyPane(window, machine);
    for (size_t line = 0; line < lines.size(); ++line) {
        const float y = at.y + kRow * static_cast<float>(line);
        const std::string& text = lines[line].text;
        const ImVec2 end{at.x + 64 + 8 * 44, y + kRow};
        if (lines[line].atPc) draw.AddRectFilled({at.x, y}, end, kFocusBack);
        Text(draw, {at.x, y}, text.substr(0, 6));
        Text(draw, {at.x + 64, y}, text.size() > 8 ? text.substr(8) : "");
        if (lines[line].breakpoint) draw.AddCircleFilled({at.x + 51, y + kRow / 2}, 5, kBreakpoint);
        // The address column sets and clears breakpoints; the rest only takes the focus.
        ImGui::SetCursorScreenPos({at.x, y});
        ImGui::PushID(static_cast<int>(line));
        if (ImGui::InvisibleButton("breakpoint", {64, kRow})) {
            ClickDisassembly(window, machine, static_cast<int>(line), true);
        }
        NoteWidget(("debugger.breakpoint." + std::to_string(line)).c_str());
        ImGui::SetCursorScreenPos({at.x + 64, y});
        if (ImGui::InvisibleButton("line", {8 * 44, kRow})) {
            ClickDisassembly(window, machine, static_cast<int>(line), false);
        }
        ImGui::PopID();
    }
    return DebuggerRequest::None;
}

void MemoryPane(ImDrawList& draw, ImVec2 at, DebuggerWindow& window, Machine& machine) {
    const auto lines = orvet::MemoryPane(window, machine);
    char hex[8];
    for (size_t line = 0; line < lines.size(); ++line) {
        const float y = at.y + kRow * static_cast<float>(line);
        std::snprintf(hex, sizeof hex, "%06X", lines[line].address & 0xFFFFFF);
        Text(draw, {at.x, y}, hex);
        for (size_t column = 0; column < lines[line].bytes.size(); ++column) {
            std::snprintf(hex, sizeof hex, "%02X", lines[line].bytes[column]);
            Text(draw, {at.x + 64 + 24 * static_cast<float>(column), y}, hex);
            Text(draw, {at.x + 264 + 8 * static_cast<float>(column), y},
                 std::string(1, lines[line].characters[column]));
        }
    }
    // A press or a drag with the button held puts the caret on the byte under the pointer.
    ImGui::SetCursorScreenPos({at.x + 64, at.y});
    ImGui::InvisibleButton("memory", {192, kRow * kMemoryLines});
    NoteWidget("debugger.memory");
    if (ImGui::IsItemActive()) {
        const ImVec2 mouse = ImGui::GetIO().MousePos;
        ClickMemory(window, static_cast<int>((mouse.y - at.y) / kRow),
                    static_cast<int>((mouse.x - at.x - 64) / 24));
    }
    // The caret, blinking every 600 ms, at the nibble typing goes to.
    const uint32_t offset = window.memoryCursor - window.memoryTop;
    if (offset < kMemoryLines * kMemoryLineBytes && (SDL_GetTicks() / 600) % 2 == 0) {
        const float x = at.x + 64 + 24 * static_cast<float>(offset % kMemoryLineBytes) +
                        (window.lowNibblePending ? 8 : 0);
        const float y = at.y + kRow * static_cast<float>(offset / kMemoryLineBytes);
        draw.AddRectFilled({x, y + 1}, {x + 2, y + 15}, kText);
    }
}

// The debugger's keys, by SDL scancode: ImGui's key table of this version names no F keys.
DebuggerRequest Keys(DebuggerWindow& window, Machine& machine, const std::vector<int>& pressed) {
    const ImGuiIO& io = ImGui::GetIO();
    if (window.prompt != AddressPrompt::None || io.WantTextInput) return DebuggerRequest::None;
    struct Binding {
        SDL_Scancode scancode;
        DebuggerKey key;
    };
    static const Binding bindings[] = {
        {SDL_SCANCODE_TAB, DebuggerKey::Tab},
        {SDL_SCANCODE_G, DebuggerKey::G},
        {SDL_SCANCODE_M, DebuggerKey::M},
        {SDL_SCANCODE_F5, DebuggerKey::F5},
        {SDL_SCANCODE_F6, DebuggerKey::F6},
        {SDL_SCANCODE_F7, DebuggerKey::F7},
        {SDL_SCANCODE_F8, DebuggerKey::F8},
        {SDL_SCANCODE_UP, DebuggerKey::Up},
        {SDL_SCANCODE_DOWN, DebuggerKey::Down},
        {SDL_SCANCODE_LEFT, DebuggerKey::Left},
        {SDL_SCANCODE_RIGHT, DebuggerKey::Right},
        {SDL_SCANCODE_PAGEUP, DebuggerKey::PageUp},
        {SDL_SCANCODE_PAGEDOWN, DebuggerKey::PageDown},
        {SDL_SCANCODE_HOME, DebuggerKey::Home},
        {SDL_SCANCODE_DELETE, DebuggerKey::Delete},
        {SDL_SCANCODE_BACKSPACE, DebuggerKey::Backspace},
    };
    DebuggerRequest request = DebuggerRequest::None;
    for (int scancode : pressed) {
        for (const Binding& binding : bindings) {
            if (scancode != binding.scancode) continue;
            const DebuggerRequest made = DebuggerKeyDown(window, machine, binding.key, io.KeyCtrl);
            if (made != DebuggerRequest::None) request = made;
        }
    }
    static const SDL_Scancode digits[] = {
        SDL_SCANCODE_0, SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3,
        SDL_SCANCODE_4, SDL_SCANCODE_5, SDL_SCANCODE_6, SDL_SCANCODE_7,
        SDL_SCANCODE_8, SDL_SCANCODE_9, SDL_SCANCODE_A, SDL_SCANCODE_B,
        SDL_SCANCODE_C, SDL_SCANCODE_D, SDL_SCANCODE_E, SDL_SCANCODE_F};
    static const SDL_Scancode keypad[] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2,
                                          SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5,
                                          SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8,
                                          SDL_SCANCODE_KP_9};
    for (int scancode : pressed) {
        for (int digit = 0; digit < 16; ++digit) {
            if (scancode == digits[digit] || (digit < 10 && scancode == keypad[digit])) {
                DebuggerKeyDown(window, machine, DebuggerKey::HexDigit, false, digit);
            }
        }
    }
    return request;
}

bool Pressed(const std::vector<int>& pressed, std::initializer_list<SDL_Scancode> keys) {
    for (int scancode : pressed) {
        for (SDL_Scancode key : keys) {
            if (scancode == key) return true;
        }
    }
    return false;
}

void AddressPromptPopup(DebuggerWindow& window, Machine& machine, const std::vector<int>& pressed) {
    if (window.prompt != AddressPrompt::None && !ImGui::IsPopupOpen("Set Memory Address")) {
        ImGui::OpenPopup("Set Memory Address");
    }
    if (!ImGui::BeginPopupModal("Set Memory Address", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%s", window.promptText.c_str());
    ImGui::TextUnformatted("Address ");
    ImGui::SameLine();
    if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
    ImGui::InputText("##address", text, sizeof text, ImGuiInputTextFlags_CharsHexadecimal);
    const bool entered = Pressed(pressed, {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER});
    NoteWidget("debugger.address");
    window.promptText = text;
    const bool ok = ImGui::Button("OK", {80, 0}) || entered;
    NoteWidget("debugger.addressOk");
    ImGui::SameLine();
    const bool cancel = ImGui::Button("Cancel", {80, 0}) || Pressed(pressed, {SDL_SCANCODE_ESCAPE});
    if (ok || cancel) {
        AnswerAddressPrompt(window, machine, ok);
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

ImU32 EventColour(uint32_t kind) {
    if (kind < kLogDisplayPointer) return IM_COL32(255, 220, 0, 255);  // colours
    if (kind == kLogDisplayPointer) return IM_COL32(0, 220, 255, 255);
    if (kind == kLogResolution) return IM_COL32(255, 0, 255, 255);
    return IM_COL32(0, 255, 96, 255);  // border and line tricks
}

// The last frame's writes over its picture, listed beside it; a chosen entry shows where it
// landed and the instruction that made it.
void FrameView(DebuggerWindow& window, Machine& machine, void* picture) {
    const std::vector<FrameEvent> events = RecordedFrameEvents(machine.shifter);
    if (window.selectedEvent >= static_cast<int>(events.size())) window.selectedEvent = -1;
    if (ImGui::Button("Run one frame")) {
        RunFrameForView(machine);
        window.selectedEvent = -1;
    }
    NoteWidget("debugger.runFrame");
    ImGui::SameLine();
    ImGui::Text("%zu writes in the frame", events.size());
    if (events.empty()) {
        ImGui::SameLine();
        ImGui::TextUnformatted(" - Run one frame records the next frame an instruction at a time.");
    }
    ImDrawList& draw = *ImGui::GetWindowDrawList();
    const ImVec2 at = ImGui::GetCursorScreenPos();
    ImGui::Image(reinterpret_cast<ImTextureID>(picture), {800, 600});
    for (size_t index = 0; index < events.size(); ++index) {
        const PicturePoint point = FrameEventPoint(events[index].cycle);
        if (!point.visible) continue;
        const ImVec2 mark{at.x + point.x, at.y + point.y};
        draw.AddRectFilled({mark.x - 1, mark.y - 1}, {mark.x + 2, mark.y + 2},
                           EventColour(events[index].kind));
    }
    if (window.selectedEvent >= 0) {
        const PicturePoint point = FrameEventPoint(events[window.selectedEvent].cycle);
        if (point.visible) {
            const ImVec2 mark{at.x + point.x, at.y + point.y};
            draw.AddLine({at.x, mark.y}, {at.x + 800, mark.y}, IM_COL32(255, 255, 255, 160));
            draw.AddLine({mark.x, at.y}, {mark.x, at.y + 600}, IM_COL32(255, 255, 255, 160));
            draw.AddCircle(mark, 7, IM_COL32(255, 255, 255, 255), 16, 2);
        }
    }

    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::BeginChild("events", {0, 600 - kRow * 4}, true);
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(events.size()));
    while (clipper.Step()) {
        for (int index = clipper.DisplayStart; index < clipper.DisplayEnd; ++index) {
            const FrameEvent& event = events[static_cast<size_t>(index)];
            char label[96];
            std::snprintf(label, sizeof label, "%6d  %3d:%3d  %s##%d", event.cycle,
                          event.cycle / 512, event.cycle % 512, DescribeFrameEvent(event).c_str(),
                          index);
            ImGui::PushStyleColor(ImGuiCol_Text, EventColour(event.kind));
            if (ImGui::Selectable(label, window.selectedEvent == index)) {
                window.selectedEvent = index;
            }
            ImGui::PopStyleColor();
            NoteWidget(("debugger.event." + std::to_string(index)).c_str());
        }
    }
    ImGui::EndChild();
    if (window.selectedEvent >= 0) {
        const FrameEvent& event = events[static_cast<size_t>(window.selectedEvent)];
        Disassembler dis = MachineDisassembler(machine.cpu);
        SetDisassemblyAddress(dis, event.writer);
        ImGui::Text("Cycle %d: line %d, position %d", event.cycle, event.cycle / 512,
                    event.cycle % 512);
        ImGui::Text("Written by the instruction at $%06X:", event.writer & 0xFFFFFF);
        ImGui::Text("  %s", DisassembleOne(dis).c_str());
        char writer[32];
        std::snprintf(writer, sizeof writer, "debugger.writer=%06X", event.writer & 0xFFFFFF);
        NoteWidget(writer);
    } else {
        ImGui::TextUnformatted("Choose a write to see the instruction that made it.");
    }
    ImGui::EndGroup();
}

}  // namespace

DebuggerRequest DrawDebugger(DebuggerWindow& window, Machine& machine,
                             const std::vector<int>& pressedKeys, void* picture) {
    ImGui::PushStyleColor(ImGuiCol_Text, kText);
    ImGui::Checkbox("Frame view", &window.frameView);
    NoteWidget("debugger.frameView");
    if (window.frameView) {
        FrameView(window, machine, picture);
        ImGui::PopStyleColor();
        return DebuggerRequest::None;
    }
    ImDrawList& draw = *ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetCursorScreenPos();

    const ImVec2 registers{origin.x + 8, origin.y + 24};
    const ImVec2 disassembly{origin.x + 480, origin.y + 24};
    const ImVec2 memory{origin.x + 480, origin.y + 24 + kRow * 17 + 24};
    Title(draw, {registers.x, registers.y - 20},
          "  Registers :  ", window.focusedPane == DebuggerPane::Registers);
    Title(draw, {disassembly.x, disassembly.y - 20},
          "  Disassemlbly :  ", window.focusedPane == DebuggerPane::Disassembly);
    Title(draw, {memory.x, memory.y - 20},
          "  Memory Dump :  ", window.focusedPane == DebuggerPane::Memory);
    RegistersPane(draw, registers, machine);
    char pc[32];  // for the window tests, which follow the program counter through the map
    std::snprintf(pc, sizeof pc, "debugger.pc=%06X", machine.cpu.pc & 0xFFFFFF);
    NoteWidget(pc);
    DisassemblyPane(draw, disassembly, window, machine);
    MemoryPane(draw, memory, window, machine);

    // Below the registers: the breakpoints, the interrupts that stop a run, the floppy panel.
    ImGui::SetCursorScreenPos({registers.x, registers.y + kRow * 11 + 16});
    ImGui::TextUnformatted("  Breakpoints :  ");
    ImGui::BeginChild("breakpoints", {120, kRow * 8}, true);
    for (uint32_t address : machine.debugger.breakpoints) ImGui::Text("%06X", address);
    ImGui::EndChild();
    ImGui::SameLine(0, 24);
    ImGui::BeginGroup();
    ImGui::TextUnformatted("Break on Irq :");
    static const struct {
        const char* label;
        EventKind kind;
    } boxes[] = {{"Timer A", EventKind::TimerA},    {"Timer B", EventKind::LineOrTimerB},
                 {"Timer C", EventKind::TimerC},    {"Timer D", EventKind::TimerD},
                 {"VBL", EventKind::Vbl},           {"HBL", EventKind::Hbl},
                 {"ACIA", EventKind::KeyboardLink}, {"FDC", EventKind::Floppy}};
    for (size_t box = 0; box < std::size(boxes); ++box) {
        const auto kind = static_cast<size_t>(boxes[box].kind);
        bool on = machine.debugger.breakOnEvent[kind];
        if (box % 2 == 1) ImGui::SameLine(110);
        if (ImGui::Checkbox(boxes[box].label, &on)) {
            SetBreakOnEvent(machine, static_cast<int>(kind), on);
        }
        NoteWidget((std::string("debugger.irq.") + boxes[box].label).c_str());
    }
    ImGui::EndGroup();

    const FloppyPanel floppy = FloppyState(machine);
    ImGui::SetCursorScreenPos({registers.x, registers.y + kRow * 11 + 16 + kRow * 9 + 16});
    ImGui::BeginGroup();
    ImGui::TextUnformatted("WD1772 :");
    ImGui::Text("Track :      %s", floppy.track.c_str());
    ImGui::Text("Sector :     %s", floppy.sector.c_str());
    ImGui::Text("Data :       %s", floppy.data.c_str());
    ImGui::Text("Command :    %s", floppy.command.c_str());
    ImGui::EndGroup();
    ImGui::SameLine(220);
    ImGui::BeginGroup();
    ImGui::TextUnformatted("DMA :");
    ImGui::Text("Direction :  %s", floppy.direction.c_str());
    ImGui::Text("Address :    %s", floppy.address.c_str());
    ImGui::Text("Enabled :    %s", floppy.enabled.c_str());
    ImGui::Text("Block Size : %s", floppy.blockSize.c_str());
    ImGui::Text("DMA Device : %s", floppy.device.c_str());
    ImGui::EndGroup();
    ImGui::TextUnformatted("F5 run  F6 step  F7 run to next  F8 skip  G/M address  Ctrl+Tab pane");

    const DebuggerRequest request = Keys(window, machine, pressedKeys);
    AddressPromptPopup(window, machine, pressedKeys);
    ImGui::PopStyleColor();
    return request;
}

}  // namespace orvet
