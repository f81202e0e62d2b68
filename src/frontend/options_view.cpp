#include "frontend/options_view.h"

#include <imgui.h>

#include <algorithm>
#include <string>

#include "frontend/file_picker_view.h"
#include "frontend/widget_map_view.h"
#include "machine/machine.h"
#include "platform/display_modes.h"
#include "platform/keymap.h"

namespace orvet {
namespace {

// The window's texts are light blue on black, as the options have always been drawn.
const ImVec4 kTextColour{200 / 255.0f, 200 / 255.0f, 1.0f, 1.0f};
const ImVec4 kMessageColour{1.0f, 0.62f, 0.47f, 1.0f};
constexpr ImU32 kFrameColour = IM_COL32(96, 96, 140, 255);
constexpr float kGroupPadding = 8;

// Names controls for the window tests: one word, so blanks in a file name become underscores;
// a chosen, checked or selected control is also named with ".on" after, so a test can wait for
// a click to have been taken before it moves the pointer on.
void NoteControl(std::string name, bool on = false) {
    std::replace(name.begin(), name.end(), ' ', '_');
    NoteWidget(name.c_str());
    if (on) NoteWidget((name + ".on").c_str());
}

// A framed group with its label set into the top edge, as a dialog's group box: width wide, as
// tall as what draw puts in it.
template <typename Draw>
void GroupBox(const char* label, Draw draw) {
    ImGui::PushID(label);
    const float width = ImGui::GetContentRegionAvail().x;
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float textHeight = ImGui::GetTextLineHeight();
    ImGui::SetCursorScreenPos({origin.x + kGroupPadding + 4, origin.y});
    ImGui::TextUnformatted(label);
    const float labelLeft = ImGui::GetItemRectMin().x - 3,
                labelRight = ImGui::GetItemRectMax().x + 3;
    ImGui::SetCursorScreenPos({origin.x + kGroupPadding, ImGui::GetCursorScreenPos().y});
    ImGui::BeginGroup();
    ImGui::PushItemWidth(width - 2 * kGroupPadding);
    draw();
    ImGui::PopItemWidth();
    ImGui::EndGroup();
    const float top = origin.y + textHeight / 2;
    const float bottom = ImGui::GetItemRectMax().y + kGroupPadding / 2;
    const float right = origin.x + width - 1;
    ImDrawList& lines = *ImGui::GetWindowDrawList();
    lines.AddLine({origin.x, top}, {labelLeft, top}, kFrameColour);
    lines.AddLine({labelRight, top}, {right, top}, kFrameColour);
    lines.AddLine({origin.x, top}, {origin.x, bottom}, kFrameColour);
    lines.AddLine({right, top}, {right, bottom}, kFrameColour);
    lines.AddLine({origin.x, bottom}, {right, bottom}, kFrameColour);
    ImGui::SetCursorScreenPos({origin.x, bottom + ImGui::GetStyle().ItemSpacing.y});
    ImGui::Dummy({width, 0});
    ImGui::PopID();
}

// A radio button whose choice is fixed (16-bit, 44 kHz, mono sound; double-sided drives): shown
// with its group, never changed here.
void FixedRadio(const char* label, bool selected, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    ImGui::RadioButton(label, selected);
    ImGui::EndDisabled();
}

void DrawGraphics(OptionsWindow& window, Settings& settings, OptionsHost& host) {
    ImGui::TextUnformatted("Graphic Options :");
    ImGui::TextUnformatted("Graphics Card");
    ImGui::BeginDisabled();
    ImGui::SetNextItemWidth(-1);
    if (ImGui::BeginCombo("##card", "")) ImGui::EndCombo();
    ImGui::EndDisabled();

    ImGui::TextUnformatted("Refresh Rate");
    if (window.refreshRates.empty()) {
        window.refreshRates = host.refreshRates ? host.refreshRates() : std::vector<int>{};
        if (window.refreshRates.empty()) window.refreshRates.push_back(60);
    }
    const int chosen = ChosenRefreshRate(window, settings);
    const std::string preview =
        chosen >= 0 ? DisplayModeLabel(window.refreshRates[static_cast<size_t>(chosen)]) : "";
    ImGui::SetNextItemWidth(-1);
    if (ImGui::BeginCombo("##refresh", preview.c_str())) {
        for (size_t index = 0; index < window.refreshRates.size(); ++index) {
            ImGui::PushID(static_cast<int>(index));
            if (ImGui::Selectable(DisplayModeLabel(window.refreshRates[index]).c_str(),
                                  static_cast<int>(index) == chosen) &&
                ChooseRefreshRate(settings, static_cast<unsigned>(index)) && host.applyDisplay) {
                host.applyDisplay();
            }
            // The list's first frame is laid out before it is placed.
            if (!ImGui::IsWindowAppearing()) {
                NoteWidget(("options.refresh." + std::to_string(index)).c_str());
            }
            ImGui::PopID();
        }
        ImGui::EndCombo();
    } else {
        NoteWidget("options.refresh");
    }
    ImGui::BeginDisabled();
    bool scanLines = false;
    ImGui::Checkbox("Scan Lines", &scanLines);
    ImGui::EndDisabled();

    GroupBox("Sync Mode", [&] {
        const char* const labels[] = {"None", "ST Screen Freq.", "PC Vertical Blank"};
        for (uint32_t mode = 0; mode < 3; ++mode) {
            if (ImGui::RadioButton(labels[mode], settings.SyncMode == mode)) {
                ChooseSyncMode(settings, mode);
            }
            NoteControl("options.sync." + std::to_string(mode), settings.SyncMode == mode);
        }
    });
    GroupBox("Frame Skip", [&] {
        const bool enabled = FrameSkipEnabled(settings);
        ImGui::BeginDisabled(!enabled);
        ImGui::SetNextItemWidth(48);
        if (enabled) {
            uint32_t value = settings.FrameSkip;
            if (ImGui::InputScalar("##frameSkip", ImGuiDataType_U32, &value, nullptr, nullptr, "%u",
                                   ImGuiInputTextFlags_CharsDecimal)) {
                SetFrameSkip(settings, static_cast<int>(std::min<uint32_t>(value, 1000)));
            }
        } else {
            // Outside the host's blank the edit is empty; the value waits for it.
            char empty[2] = "";
            ImGui::InputText("##frameSkip", empty, sizeof empty);
        }
        NoteWidget("options.frameSkip");
        ImGui::SameLine();
        if (ImGui::ArrowButton("down", ImGuiDir_Down)) StepFrameSkip(settings, -1);
        NoteWidget("options.frameSkip.down");
        ImGui::SameLine();
        if (ImGui::ArrowButton("up", ImGuiDir_Up)) StepFrameSkip(settings, 1);
        NoteWidget("options.frameSkip.up");
        ImGui::EndDisabled();
    });
}

void DrawEmulation(Settings& settings, Machine& machine) {
    ImGui::TextUnformatted("Emulation Options :");
    GroupBox("Machine", [&] {
        if (ImGui::RadioButton("STFM", settings.Machine == 0)) {
            ChooseMachineModel(settings, machine, false);
        }
        NoteControl("options.machine.STFM", settings.Machine == 0);
        ImGui::SameLine(0, 24);
        if (ImGui::RadioButton("STE", settings.Machine != 0)) {
            ChooseMachineModel(settings, machine, true);
        }
        NoteControl("options.machine.STE", settings.Machine != 0);
    });
    GroupBox("RAM Size", [&] {
        const char* const labels[] = {"512K", "1MB", "2MB", "4MB"};
        for (unsigned index = 0; index < 4; ++index) {
            if (index % 2) ImGui::SameLine(110);
            if (ImGui::RadioButton(labels[index], (settings.RAMSize & 3) == index)) {
                ChooseRamSize(settings, machine, index);
            }
            NoteControl(std::string("options.ram.") + labels[index],
                        (settings.RAMSize & 3) == index);
        }
    });
    GroupBox("Disk Drive", [&] {
        // The one drive is double sided; single-sided drives are not offered.
        FixedRadio("Single Sided", false, false);
        FixedRadio("Double Sided", true, true);
    });
    GroupBox("Drive Speed", [&] {
        if (ImGui::RadioButton("Real Time", settings.FastDisk == 0)) {
            ChooseDriveSpeed(settings, machine, false);
        }
        NoteControl("options.drive.realTime", settings.FastDisk == 0);
        if (ImGui::RadioButton("Ultra Fast", settings.FastDisk != 0)) {
            ChooseDriveSpeed(settings, machine, true);
        }
        NoteControl("options.drive.ultraFast", settings.FastDisk != 0);
    });
}

void DrawSound(Settings& settings, Machine& machine) {
    ImGui::TextUnformatted("Sound Options :");
    GroupBox("Enable Sound", [&] {
        auto box = [&](const char* label, uint32_t& field, SoundSource source, const char* name) {
            bool on = field != 0;
            if (ImGui::Checkbox(label, &on)) ChooseSound(settings, machine, source, on);
            NoteControl(name, field != 0);
        };
        box("YM2149", settings.YMSound, SoundSource::Ym2149, "options.sound.ym");
        // An STFM has no DMA sound; the choice is kept for when the machine is an STE again.
        ImGui::BeginDisabled(!DacSoundEnabled(settings));
        box("STE DAC Sound", settings.bDacSound, SoundSource::SteDac, "options.sound.dac");
        ImGui::EndDisabled();
        box("Disk Dive", settings.DiskSound, SoundSource::DiskDrive, "options.sound.disk");
    });
    // The sound device always plays 16-bit mono at 44.1 kHz.
    GroupBox("Sound Quality", [&] {
        FixedRadio("8 Bit", false, false);
        ImGui::SameLine(110);
        FixedRadio("16 Bit", true, false);
        FixedRadio("11Khz", false, false);
        ImGui::SameLine(110);
        FixedRadio("22Khz", false, false);
        FixedRadio("44KHz", true, false);
    });
    GroupBox("Sound Channels", [&] {
        FixedRadio("Mono", true, false);
        ImGui::SameLine(110);
        FixedRadio("Stereo", false, false);
    });
}

// Beyond the dialog's controls: how the picture fills the window, and the host's own key.
void DrawWindowChoices(Settings& settings, OptionsHost& host) {
    GroupBox("Window", [&] {
        if (ImGui::RadioButton("Whole-pixel scaling", settings.IntegerScaling != 0)) {
            ChooseIntegerScaling(settings, true);
        }
        NoteControl("options.scaling.integer", settings.IntegerScaling != 0);
        if (ImGui::RadioButton("Smooth scaling", settings.IntegerScaling == 0)) {
            ChooseIntegerScaling(settings, false);
        }
        NoteControl("options.scaling.smooth", settings.IntegerScaling == 0);
        bool fullscreen = settings.Fullscreen != 0;
        if (ImGui::Checkbox("Fullscreen (Alt+Enter)", &fullscreen)) {
            ChooseFullscreen(settings, fullscreen);
            if (host.applyFullscreen) host.applyFullscreen(fullscreen);
        }
        NoteControl("options.fullscreen", settings.Fullscreen != 0);
        ImGui::Text("Fast forward: hold %s", SDL_GetScancodeName(kFastForwardScancode));
    });
}

void DrawRomList(OptionsWindow& window, Settings& settings, Machine& machine, float height) {
    ImGui::TextUnformatted("ROM Images :");
    const ImGuiTableFlags flags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg |
                                  ImGuiTableFlags_ScrollY | ImGuiTableFlags_Resizable;
    // Wide enough for a long file name, not so wide that a row is hard to follow.
    const float width = std::min(ImGui::GetContentRegionAvail().x, 1000.0f);
    if (ImGui::BeginTable("roms", 7, flags, ImVec2(width, height))) {
        const std::pair<const char*, float> columns[] = {
            {"Filename", 180}, {"Type", 80},     {"Base", 70},  {"Ver", 40},
            {"Date", 80},      {"Country", 170}, {"Active", 60}};
        // The file name takes the room the others leave: paths can be long.
        for (const auto& [name, width] : columns) {
            ImGui::TableSetupColumn(name,
                                    name == columns[0].first ? ImGuiTableColumnFlags_WidthStretch
                                                             : ImGuiTableColumnFlags_WidthFixed,
                                    width);
        }
        ImGui::TableSetupScrollFreeze(0, 1);
        ImGui::TableHeadersRow();
        for (const RomRow& row : window.rows) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::PushID(row.id);
            if (ImGui::Selectable(row.fileName.c_str(), row.id == window.selectedId,
                                  ImGuiSelectableFlags_SpanAllColumns)) {
                SelectRom(window, row.id);
            }
            NoteControl("options.rom." + row.fileName, row.id == window.selectedId);
            ImGui::PopID();
            for (const std::string* text :
                 {&row.type, &row.base, &row.version, &row.date, &row.country}) {
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(text->c_str());
            }
            ImGui::TableNextColumn();
            if (row.active) {
                ImGui::TextUnformatted(kRomActiveText);
                NoteControl("options.active." + row.fileName);
            }
        }
        ImGui::EndTable();
    }

    const ImVec2 button(110, 0);
    ImGui::BeginDisabled(window.selectedId == -1);
    if (ImGui::Button("Set Active", button)) SetActiveRom(window, settings, machine);
    ImGui::EndDisabled();
    NoteWidget("options.setActive");
    ImGui::SameLine();
    if (ImGui::Button("Add", button)) BeginAddRoms(window);
    NoteWidget("options.add");
    ImGui::SameLine();
    ImGui::BeginDisabled(!CanDeleteRom(window));
    if (ImGui::Button("Delete", button)) DeleteRom(window, settings);
    ImGui::EndDisabled();
    NoteWidget("options.delete");
    for (const std::string& message : window.messages) {
        ImGui::TextColored(kMessageColour, "%s", message.c_str());
    }
}

}  // namespace

void OpenOptions(OptionsWindow& window, Settings& settings, Machine&) {
    ResetOptions(window, settings);
}

void DrawOptions(OptionsWindow& window, Settings& settings, Machine& machine, OptionsHost& host) {
    // Drawn over the window's own background, under every control.
    const ImVec2 low = ImGui::GetWindowPos();
    const ImVec2 size = ImGui::GetWindowSize();
    ImGui::GetWindowDrawList()->AddRectFilled(low, {low.x + size.x, low.y + size.y},
                                              IM_COL32(0, 0, 0, 255));
    ImGui::PushStyleColor(ImGuiCol_Text, kTextColour);
    // Close enough for every control to fit an 800 x 600 window, as the dialog did.
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, {4, 1});
    if (ImGui::BeginTable("groups", 3, ImGuiTableFlags_SizingStretchSame)) {
        ImGui::TableNextColumn();
        DrawGraphics(window, settings, host);
        ImGui::TableNextColumn();
        DrawEmulation(settings, machine);
        ImGui::TableNextColumn();
        DrawSound(settings, machine);
        DrawWindowChoices(settings, host);
        ImGui::EndTable();
    }
    ImGui::Spacing();
    const float below = ImGui::GetFrameHeightWithSpacing() +
                        ImGui::GetTextLineHeightWithSpacing() *
                            static_cast<float>(std::max<size_t>(window.messages.size(), 1));
    DrawRomList(
        window, settings, machine,
        std::max(6 * ImGui::GetTextLineHeightWithSpacing(),
                 ImGui::GetContentRegionAvail().y - below - ImGui::GetTextLineHeightWithSpacing()));
    ImGui::PopStyleVar();
    if (DrawFilePicker(window.picker, "Add ROM Images")) FinishAddRoms(window, settings);
    ImGui::PopStyleColor();
}

}  // namespace orvet
