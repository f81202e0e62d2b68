#include "frontend/toolbar_view.h"

#include <imgui.h>

#include <cmath>

#include "frontend/widget_map_view.h"

namespace orvet {
namespace {

constexpr ImU32 kStripTop = IM_COL32(46, 52, 64, 255);
constexpr ImU32 kStripBottom = IM_COL32(28, 32, 40, 255);
constexpr ImU32 kButtonPlain = IM_COL32(58, 66, 80, 255);
constexpr ImU32 kButtonLit = IM_COL32(92, 132, 196, 255);
constexpr ImU32 kEdgePlain = IM_COL32(84, 92, 108, 255);
constexpr ImU32 kEdgeLit = IM_COL32(190, 214, 255, 255);
constexpr ImU32 kInkPlain = IM_COL32(196, 202, 212, 255);
constexpr ImU32 kInkLit = IM_COL32(255, 255, 255, 255);

// The six pictures, drawn in a 52-pixel square from its centre so they scale with the button.
void DrawArt(ImDrawList& draw, int button, ImVec2 centre, ImU32 ink) {
    const float x = centre.x, y = centre.y;
    switch (button) {
        case kToolDebugger: {  // a beetle: body, head, six legs
            draw.AddCircleFilled({x, y + 3}, 10, ink);
            draw.AddCircleFilled({x, y - 10}, 5, ink);
            for (int side = -1; side <= 1; side += 2) {
                for (int leg = -1; leg <= 1; ++leg) {
                    draw.AddLine({x + side * 8.0f, y + 3 + leg * 6.0f},
                                 {x + side * 17.0f, y + leg * 9.0f}, ink, 2);
                }
            }
            break;
        }
        case kToolDiskManager: {  // a 3.5-inch floppy: case, shutter, label
            draw.AddRectFilled({x - 15, y - 15}, {x + 15, y + 15}, ink, 3);
            draw.AddRectFilled({x - 7, y - 15}, {x + 8, y - 5}, kStripBottom);
            draw.AddRectFilled({x + 2, y - 13}, {x + 6, y - 7}, ink);
            draw.AddRectFilled({x - 10, y + 1}, {x + 10, y + 15}, kStripBottom, 2);
            break;
        }
        case kToolOptions: {  // a gear: teeth around a ring
            for (int tooth = 0; tooth < 8; ++tooth) {
                const float angle = tooth * 3.14159265f / 4;
                const float c = std::cos(angle), s = std::sin(angle);
                draw.AddLine({x + c * 8, y + s * 8}, {x + c * 16, y + s * 16}, ink, 6);
            }
            draw.AddCircleFilled({x, y}, 11, ink);
            draw.AddCircleFilled({x, y}, 5, kStripBottom);
            break;
        }
        case kToolCapture: {  // a camera: body, finder, lens
            draw.AddRectFilled({x - 16, y - 8}, {x + 16, y + 12}, ink, 3);
            draw.AddRectFilled({x - 6, y - 13}, {x + 6, y - 8}, ink);
            draw.AddCircleFilled({x, y + 2}, 7, kStripBottom);
            draw.AddCircleFilled({x, y + 2}, 4, ink);
            break;
        }
        case kButtonRun:  // play
            draw.AddTriangleFilled({x - 9, y - 14}, {x - 9, y + 14}, {x + 14, y}, ink);
            break;
        case kButtonQuit:  // power: an open ring and its stroke
            draw.PathArcTo({x, y + 2}, 13, -3.14159265f / 2 + 0.7f, 3 * 3.14159265f / 2 - 0.7f, 24);
            draw.PathStroke(ink, 0, 3.5f);
            draw.AddLine({x, y - 15}, {x, y}, ink, 3.5f);
            break;
        default:
            break;
    }
}

}  // namespace

ToolbarRequest DrawFrontEnd(FrontEnd& frontEnd, float windowWidth, float windowHeight,
                            bool tosAvailable, const ToolViews* views) {
    LayoutToolbar(frontEnd, windowWidth);
    ImGuiIO& io = ImGui::GetIO();
    ToolbarRequest request = ToolbarRequest::None;
    // The model watches the mouse over the whole window, so a highlight never outlives the
    // pointer leaving the strip; a dialog's own clicks stay with the dialog.
    // A move is a change from where the pointer was last seen, the first sighting included.
    const bool overDialog = io.WantCaptureMouse && io.MousePos.y >= kToolbarHeight;
    const bool moved = ImGui::IsMousePosValid() &&
                       (io.MousePos.x != frontEnd.pointerX || io.MousePos.y != frontEnd.pointerY);
    if (moved) frontEnd.pointerX = io.MousePos.x, frontEnd.pointerY = io.MousePos.y;
    if (!overDialog && moved) ToolbarMouseMove(frontEnd, io.MousePos.x, io.MousePos.y);
    if (!overDialog && ImGui::IsMouseReleased(ImGuiMouseButton_Left)) {
        request = ToolbarRelease(frontEnd, io.MousePos.x, io.MousePos.y, tosAvailable);
    }

    ImDrawList& draw = *ImGui::GetBackgroundDrawList();
    draw.AddRectFilledMultiColor({0, 0}, {windowWidth, kToolbarHeight}, kStripTop, kStripTop,
                                 kStripBottom, kStripBottom);
    for (int button = 0; button < kToolbarButtonCount; ++button) {
        const ButtonRect& rect = frontEnd.buttons[button];
        const bool lit = frontEnd.highlighted(button);
        draw.AddRectFilled({rect.left, rect.top}, {rect.right, rect.bottom},
                           lit ? kButtonLit : kButtonPlain, 6);
        draw.AddRect({rect.left, rect.top}, {rect.right, rect.bottom}, lit ? kEdgeLit : kEdgePlain,
                     6, 0, lit ? 2.0f : 1.0f);
        DrawArt(draw, button, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2},
                lit ? kInkLit : kInkPlain);
        static const char* const names[kToolbarButtonCount] = {
            "toolbar.debugger", "toolbar.disks", "toolbar.options",
            "toolbar.capture",  "toolbar.run",   "toolbar.quit"};
        NoteWidgetRect(names[button], rect.left, rect.top, rect.right, rect.bottom,
                       frontEnd.hoveredButton == button);
    }

    if (frontEnd.open()) {
        const int tool = frontEnd.currentTool;
        if (frontEnd.shownTool != tool && views && views->open[tool]) views->open[tool]();
        ImGui::SetNextWindowPos({0, kToolbarHeight});
        ImGui::SetNextWindowSize({windowWidth, windowHeight - kToolbarHeight});
        ImGui::SetNextWindowBgAlpha(1);
        ImGui::PushStyleColor(ImGuiCol_WindowBg, IM_COL32_BLACK);  // the tool windows' black
        ImGui::Begin(ToolTitle(tool), nullptr,
                     ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                         ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings);
        if (views && views->draw[tool]) views->draw[tool]();
        ImGui::End();
        ImGui::PopStyleColor();
    }
    frontEnd.shownTool = frontEnd.currentTool;
    WriteWidgetMap();
    return request;
}

}  // namespace orvet
