#include "frontend/disk_manager_view.h"

#include <imgui.h>

#include <algorithm>
#include <string>

#include "frontend/widget_map_view.h"

namespace orvet {
namespace {

constexpr ImU32 kBackground = IM_COL32(0, 0, 0, 255);
const ImVec4 kStaticText{200 / 255.0f, 200 / 255.0f, 1.0f, 1.0f};
const ImVec4 kMessageText{1.0f, 200 / 255.0f, 120 / 255.0f, 1.0f};

constexpr ImU32 kDriveBody = IM_COL32(178, 176, 166, 255);
constexpr ImU32 kDriveEdge = IM_COL32(110, 108, 100, 255);
constexpr ImU32 kDriveSlot = IM_COL32(24, 24, 24, 255);
constexpr ImU32 kDriveButton = IM_COL32(150, 148, 140, 255);
constexpr ImU32 kLedOff = IM_COL32(40, 70, 40, 255);
constexpr ImU32 kLedOn = IM_COL32(90, 230, 90, 255);
constexpr ImU32 kDiskCase = IM_COL32(44, 62, 140, 255);
constexpr ImU32 kDiskShutter = IM_COL32(196, 198, 206, 255);
constexpr ImU32 kDiskHole = IM_COL32(24, 28, 60, 255);
constexpr ImU32 kFolderIcon = IM_COL32(222, 190, 96, 255);
constexpr ImU32 kArchiveBand = IM_COL32(120, 90, 40, 255);

constexpr float kPictureWidth = 100, kPictureHeight = 54;
constexpr float kPanelWidth = 340, kNarrowestPanel = 300;
constexpr float kLabelWidth = 120;
constexpr float kDriveFieldWidth = 96;

void StaticText(const char* text) {
    ImGui::TextColored(kStaticText, "%s", text);
}

// "Label :  value" rows of the right-hand panel, the values lined up.
void LabelledValue(const char* label, const std::string& value) {
    StaticText(label);
    ImGui::SameLine(kLabelWidth);
    StaticText(value.c_str());
}

// A 3.5" drive seen from the front, with a disk half in its slot when withDisk.
void DrawDrivePicture(bool withDisk) {
    ImGui::Dummy({kPictureWidth, kPictureHeight});
    ImDrawList& draw = *ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetItemRectMin();
    const float x = origin.x, y = origin.y;
    const float bodyTop = y + 18, slotY = bodyTop + 10;
    draw.AddRectFilled({x, bodyTop}, {x + kPictureWidth, y + kPictureHeight}, kDriveBody, 4);
    draw.AddRect({x, bodyTop}, {x + kPictureWidth, y + kPictureHeight}, kDriveEdge, 4);
    if (withDisk) {
        // The disk's upper half stands out of the slot, shutter first as it goes in.
        const float left = x + 22, right = x + kPictureWidth - 22;
        draw.AddRectFilled({left, y + 1}, {right, slotY}, kDiskCase, 2);
        draw.AddRectFilled({left + 16, y + 1}, {right - 12, y + 14}, kDiskShutter);
        draw.AddRectFilled({left + 36, y + 3}, {right - 16, y + 12}, kDiskHole);
    }
    draw.AddRectFilled({x + 16, slotY - 3}, {x + kPictureWidth - 16, slotY + 3}, kDriveSlot, 2);
    draw.AddRectFilled({x + kPictureWidth - 28, y + kPictureHeight - 12},
                       {x + kPictureWidth - 12, y + kPictureHeight - 6}, kDriveButton, 2);
    draw.AddCircleFilled({x + 14, y + kPictureHeight - 9}, 3, withDisk ? kLedOn : kLedOff);
}

void DrawFolderIcon(ImVec2 at, bool archive) {
    ImDrawList& draw = *ImGui::GetWindowDrawList();
    draw.AddRectFilled({at.x, at.y}, {at.x + 6, at.y + 3}, kFolderIcon, 1);
    draw.AddRectFilled({at.x, at.y + 2}, {at.x + 14, at.y + 11}, kFolderIcon, 1);
    if (archive) draw.AddRectFilled({at.x + 6, at.y + 2}, {at.x + 8, at.y + 11}, kArchiveBand);
}

void DrawTreeItem(DiskManagerWindow& window, Settings& settings, DiskTreeItem& item) {
    ImGuiTreeNodeFlags flags = ImGuiTreeNodeFlags_OpenOnArrow |
                               ImGuiTreeNodeFlags_OpenOnDoubleClick |
                               ImGuiTreeNodeFlags_SpanAvailWidth;
    if (!item.expandable) flags |= ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen;
    const bool selected = item.path == window.selectedFolder;
    if (selected) flags |= ImGuiTreeNodeFlags_Selected;
    // The model says what is open: the tree is rebuilt at each opening, and ImGui's own memory
    // of open nodes would outlive it.
    ImGui::SetNextItemOpen(item.expandable && item.expanded, ImGuiCond_Always);
    // Room for the icon before the name.
    const bool open = ImGui::TreeNodeEx(item.path.c_str(), flags, "    %s", item.text.c_str());
    // A folder of thousands of subfolders: those out of sight cost their tree node alone.
    if (ImGui::IsItemVisible()) {
        NoteWidget(("disk.tree." + item.path).c_str());
        const ImVec2 low = ImGui::GetItemRectMin();
        const float iconX = low.x + ImGui::GetTreeNodeToLabelSpacing();
        DrawFolderIcon({iconX, low.y + (ImGui::GetItemRectSize().y - 11) / 2}, item.archive);
    }
    if (selected && window.revealSelection) {
        ImGui::SetScrollHereY(0.3f);
        window.revealSelection = false;
    }
    const bool pushed = open && !(flags & ImGuiTreeNodeFlags_NoTreePushOnOpen);
    if (ImGui::IsItemClicked() && !ImGui::IsItemToggledOpen()) {
        DiskManagerSelectFolder(window, settings, item);
    }
    if (item.expandable && open != item.expanded) {
        if (open) {
            DiskManagerExpand(window, item);
        } else {
            item.expanded = false;
        }
    }
    if (pushed) {
        if (item.expanded) {
            for (DiskTreeItem& child : item.children) DrawTreeItem(window, settings, child);
        }
        ImGui::TreePop();
    }
}

void DrawImageList(DiskManagerWindow& window, ImVec2 size) {
    const ImGuiTableFlags flags = ImGuiTableFlags_ScrollY | ImGuiTableFlags_ScrollX |
                                  ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersOuter |
                                  ImGuiTableFlags_BordersInnerV;
    if (!ImGui::BeginTable("disk.images", 2, flags, size)) return;
    ImGui::TableSetupScrollFreeze(0, 1);
    ImGui::TableSetupColumn("Filename", ImGuiTableColumnFlags_WidthFixed, 240);
    ImGui::TableSetupColumn("Format", ImGuiTableColumnFlags_WidthFixed, 100);
    ImGui::TableHeadersRow();
    int clicked = -1;
    // Only the rows in sight are drawn: a folder of thousands of images costs a screenful.
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(window.rows.size()));
    while (clipper.Step()) {
        for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) {
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            ImGui::PushID(row);  // members of an archive may share a name
            if (ImGui::Selectable(window.rows[row].c_str(), row == window.selectedRow,
                                  ImGuiSelectableFlags_SpanAllColumns)) {
                clicked = row;
            }
            NoteWidget(("disk.image." + window.rows[row]).c_str());
            // The test waits for the window to have taken a click before it moves on.
            if (row == window.selectedRow)
                NoteWidget(("disk.selected." + window.rows[row]).c_str());
            ImGui::PopID();
        }
    }
    ImGui::EndTable();
    if (clicked >= 0) DiskManagerSelectRow(window, clicked);
}

void DrawDriveControls(DiskManagerWindow& window, Settings& settings, DiskImage* drive,
                       Fdc* fdc) {
    const bool driveA = drive != nullptr;
    const bool withDisk = driveA && drive->inserted();
    DrawDrivePicture(withDisk);
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::BeginDisabled(!driveA);
    if (ImGui::Button(driveA ? "Insert##A" : "Insert##B", {64, 0}) && driveA) {
        DiskManagerInsert(window, settings, *drive);
    }
    NoteWidget(driveA ? "disk.insertA" : "disk.insertB");
    if (ImGui::Button(driveA ? "Eject##A" : "Eject##B", {64, 0}) && driveA) {
        DiskManagerEject(window, settings, *drive);
    }
    NoteWidget(driveA ? "disk.ejectA" : "disk.ejectB");
    ImGui::EndDisabled();
    ImGui::EndGroup();
    ImGui::SameLine();
    ImGui::BeginDisabled(!withDisk);
    bool writeProtect = driveA && settings.WriteProtect != 0;
    if (ImGui::Checkbox(driveA ? "##checkA" : "##checkB", &writeProtect) && driveA && fdc) {
        DiskManagerSetWriteProtect(settings, *fdc, writeProtect);
    }
    if (driveA && ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled)) {
        ImGui::SetTooltip("Write-protect every disk");
    }
    ImGui::EndDisabled();
    const std::string& inDrive =
        window.unsavedDriveAPath.empty() ? settings.DriveA : window.unsavedDriveAPath;
    LabelledValue("Image :", withDisk ? FileNamePart(inDrive) : std::string());
    if (withDisk) NoteWidget(("disk.driveA." + FileNamePart(inDrive)).c_str());
    // The drives' own geometry fields stand as labels only: the disk panel below tells it.
    StaticText("Tracks :");
    ImGui::SameLine(kDriveFieldWidth);
    StaticText("Sectors :");
    ImGui::SameLine(2 * kDriveFieldWidth);
    StaticText("Sides :");
}

void DrawPanel(DiskManagerWindow& window, Settings& settings, Machine& machine) {
    StaticText("Drive A :");
    ImGui::Indent();
    DrawDriveControls(window, settings, &machine.driveA, &machine.fdc);
    ImGui::Unindent();
    StaticText("Drive B :");
    ImGui::Indent();
    DrawDriveControls(window, settings, nullptr, nullptr);
    ImGui::Unindent();
    ImGui::Separator();

    StaticText("Selected Disk :");
    ImGui::Indent();
    const bool recognised = window.selectedInfo.format != DiskImageFormat::NotRecognised;
    DrawDrivePicture(recognised);
    ImGui::Unindent();
    StaticText("Disk Information :");
    ImGui::Indent();
    const DiskInfoTexts texts =
        window.selectedPath.empty() ? DiskInfoTexts{} : DescribeDiskImage(window.selectedInfo);
    const std::string name = window.selectedRow >= 0 ? window.rows[window.selectedRow] : "";
    LabelledValue("Filename :", name);
    LabelledValue("File Size :", texts.fileSize);
    LabelledValue("File Format :", texts.format);
    LabelledValue("Tracks :", texts.tracks);
    LabelledValue("Sectors :", texts.sectors);
    LabelledValue("Sides :", texts.sides);
    LabelledValue("Capacity :", texts.capacity);
    LabelledValue("Compression :", texts.compression);
    StaticText("Boot Sector :");
    ImGui::Unindent();
}

}  // namespace

void OpenDiskManager(DiskManagerWindow& window, Settings& settings, Machine&) {
    DiskManagerOpen(window, settings, HomeFolder());
}

void DrawDiskManager(DiskManagerWindow& window, Settings& settings, Machine& machine) {
    // Black behind everything below the title, as behind every tool window.
    const ImVec2 windowPos = ImGui::GetWindowPos(), windowSize = ImGui::GetWindowSize();
    ImGui::GetWindowDrawList()->AddRectFilled(
        {windowPos.x, windowPos.y + ImGui::GetFrameHeight()},
        {windowPos.x + windowSize.x, windowPos.y + windowSize.y}, kBackground);

    const ImGuiStyle& style = ImGui::GetStyle();
    const ImVec2 space = ImGui::GetContentRegionAvail();
    const float lineHeight = ImGui::GetTextLineHeightWithSpacing();
    // Below the boxes, room for a message of two lines.
    const float boxHeight =
        std::max(space.y - lineHeight - style.ItemSpacing.y - 2 * ImGui::GetFontSize(), 80.0f);
    const float panelWidth = std::clamp(space.x / 3, kNarrowestPanel, kPanelWidth);
    const float browsing = space.x - panelWidth - 2 * style.ItemSpacing.x;
    const float listWidth = std::min(browsing / 2, 360.0f);
    const float treeWidth = browsing - listWidth;

    ImGui::BeginGroup();
    StaticText("Directories :");
    ImGui::BeginChild("disk.directories", {treeWidth, boxHeight}, true,
                      ImGuiWindowFlags_HorizontalScrollbar);
    for (DiskTreeItem& root : window.roots) DrawTreeItem(window, settings, root);
    ImGui::EndChild();
    ImGui::EndGroup();

    ImGui::SameLine();
    ImGui::BeginGroup();
    StaticText("Disk Images :");
    DrawImageList(window, {listWidth, boxHeight});
    ImGui::EndGroup();

    ImGui::SameLine();
    ImGui::BeginChild("disk.panel", {0, boxHeight + lineHeight}, false);
    DrawPanel(window, settings, machine);
    ImGui::EndChild();

    if (!window.message.empty()) {
        ImGui::PushTextWrapPos(0);
        ImGui::TextColored(kMessageText, "%s", window.message.c_str());
        NoteWidget("disk.message");
        ImGui::PopTextWrapPos();
    }
}

}  // namespace orvet
