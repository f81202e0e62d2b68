#include "frontend/file_picker_view.h"

#include <imgui.h>

#include <algorithm>
#include <string>

#include "frontend/widget_map_view.h"

namespace orvet {
namespace {

const ImVec4 kErrorColour{1.0f, 0.62f, 0.47f, 1.0f};
const ImVec4 kFolderColour{0.78f, 0.78f, 1.0f, 1.0f};
const ImVec4 kPanelColour{0.09f, 0.09f, 0.12f, 1.0f};

// Names controls for the window tests: one word, so blanks in a file name become underscores;
// a chosen, checked or selected control is also named with ".on" after, so a test can wait for
// a click to have been taken before it moves the pointer on.
void NoteControl(std::string name, bool on = false) {
    std::replace(name.begin(), name.end(), ' ', '_');
    NoteWidget(name.c_str());
    if (on) NoteWidget((name + ".on").c_str());
}

void DrawPlaces(FilePicker& picker) {
    ImGui::TextUnformatted("Look in:");
    ImGui::SameLine();
    const std::vector<std::string> roots = PickerRoots();
    for (size_t index = 0; index < roots.size(); ++index) {
        const char* label = index == 0 ? "/" : "Home";
        if (ImGui::Button(label)) PickerGoTo(picker, roots[index]);
        NoteWidget(index == 0 ? "picker.root" : "picker.home");
        ImGui::SameLine();
    }
    if (ImGui::ArrowButton("up", ImGuiDir_Up)) PickerUp(picker);
    NoteWidget("picker.up");
    ImGui::SameLine();
    char buffer[1024];
    const size_t length = std::min(picker.pathText.size(), sizeof buffer - 1);
    std::copy_n(picker.pathText.data(), length, buffer);
    buffer[length] = 0;
    ImGui::SetNextItemWidth(-1);
    // Clicking the field selects its text, so a typed path replaces the one shown.
    const bool entered =
        ImGui::InputText("##path", buffer, sizeof buffer,
                         ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    NoteWidget("picker.path");
    picker.pathText = buffer;
    if (entered) PickerGoTo(picker, picker.pathText);
}

void DrawEntries(FilePicker& picker, float height) {
    ImGui::BeginChild("entries", ImVec2(0, height), true);
    const ImGuiIO& io = ImGui::GetIO();
    // Every entry is drawn before a click acts: entering a folder replaces the list.
    size_t clicked = picker.entries.size();
    bool doubleClicked = false;
    for (size_t index = 0; index < picker.entries.size(); ++index) {
        const FolderEntry& entry = picker.entries[index];
        ImGui::PushID(static_cast<int>(index));
        const std::string label = entry.folder ? entry.name + "/" : entry.name;
        if (entry.folder) ImGui::PushStyleColor(ImGuiCol_Text, kFolderColour);
        if (ImGui::Selectable(label.c_str(), PickerIsSelected(picker, index),
                              ImGuiSelectableFlags_AllowDoubleClick)) {
            clicked = index;
            doubleClicked = ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left);
        }
        if (entry.folder) ImGui::PopStyleColor();
        NoteControl("picker.entry." + entry.name, PickerIsSelected(picker, index));
        ImGui::PopID();
    }
    if (clicked < picker.entries.size()) {
        if (doubleClicked) {
            PickerActivate(picker, clicked);
        } else {
            PickerClick(picker, clicked, io.KeyCtrl, io.KeyShift);
        }
    }
    if (picker.entries.empty() && picker.error.empty()) {
        ImGui::TextDisabled("(nothing here)");
    }
    ImGui::EndChild();
}

}  // namespace

bool DrawFilePicker(FilePicker& picker, const char* title) {
    if (!picker.open) {
        // Closed by its owner while hidden (the machine ran, the window was rebuilt): a modal
        // panel left open would keep every click from the window under it.
        if (ImGui::IsPopupOpen(title) && ImGui::BeginPopupModal(title)) {
            ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
        return false;
    }
    if (!ImGui::IsPopupOpen(title)) ImGui::OpenPopup(title);
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowSize(
        ImVec2(std::min(720.0f, display.x - 40), std::min(480.0f, display.y - 40)),
        ImGuiCond_Appearing);
    ImGui::SetNextWindowPos(ImVec2(display.x / 2, display.y / 2), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    // Opaque: the controls of the window below must not show through the list.
    ImGui::PushStyleColor(ImGuiCol_PopupBg, kPanelColour);
    const bool visible = ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_NoSavedSettings);
    ImGui::PopStyleColor();
    if (!visible) {
        // Closed from outside (the window went away): nothing was chosen.
        PickerCancel(picker);
        return true;
    }
    // A popup's first frame lays it out before it is placed: its controls are drawn, and their
    // places told, from the next frame on.
    if (ImGui::IsWindowAppearing()) {
        ImGui::EndPopup();
        return false;
    }
    DrawPlaces(picker);
    if (!picker.error.empty()) ImGui::TextColored(kErrorColour, "%s", picker.error.c_str());
    const float footer = ImGui::GetFrameHeightWithSpacing() * 2 + ImGui::GetStyle().ItemSpacing.y;
    DrawEntries(picker, std::max(80.0f, ImGui::GetContentRegionAvail().y - footer));

    ImGui::TextUnformatted("Files of type:");
    ImGui::SameLine();
    std::string preview;
    if (picker.filter >= 0 && static_cast<size_t>(picker.filter) < picker.filters.size()) {
        const FileFilter& chosen = picker.filters[static_cast<size_t>(picker.filter)];
        preview = chosen.label + " (" + chosen.pattern + ")";
    }
    ImGui::SetNextItemWidth(240);
    if (ImGui::BeginCombo("##filter", preview.c_str())) {
        for (size_t index = 0; index < picker.filters.size(); ++index) {
            const FileFilter& filter = picker.filters[index];
            const std::string label = filter.label + " (" + filter.pattern + ")";
            if (ImGui::Selectable(label.c_str(), static_cast<int>(index) == picker.filter) &&
                static_cast<int>(index) != picker.filter) {
                picker.filter = static_cast<int>(index);
                PickerGoTo(picker, picker.folder);
            }
        }
        ImGui::EndCombo();
    }
    NoteWidget("picker.filter");

    const float buttonWidth = 96;
    ImGui::SetCursorPosX(ImGui::GetWindowContentRegionMax().x - 2 * buttonWidth -
                         ImGui::GetStyle().ItemSpacing.x);
    const bool canOpen = !picker.selected.empty() || picker.pathText != picker.folder;
    ImGui::BeginDisabled(!canOpen);
    if (ImGui::Button("Open", ImVec2(buttonWidth, 0))) PickerAccept(picker);
    ImGui::EndDisabled();
    NoteWidget("picker.open");
    ImGui::SameLine();
    if (ImGui::Button("Cancel", ImVec2(buttonWidth, 0)) ||
        (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape)) && !ImGui::IsAnyItemActive())) {
        PickerCancel(picker);
    }
    NoteWidget("picker.cancel");
    if (!picker.open) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return !picker.open;
}

}  // namespace orvet
