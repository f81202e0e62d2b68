#include "frontend/widget_map_view.h"

#include <imgui.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvet {
namespace {

struct WidgetMap {
    const char* path = std::getenv("ORVET_WIDGET_MAP");
    std::string frame, written;
};

WidgetMap& Map() {
    static WidgetMap map;
    return map;
}

}  // namespace

void NoteWidgetRect(const char* name, float left, float top, float right, float bottom,
                    bool hovered) {
    WidgetMap& map = Map();
    if (!map.path) return;
    char line[64];
    std::snprintf(line, sizeof line, " %.0f %.0f %.0f %.0f\n", left, top, right, bottom);
    map.frame += name;
    map.frame += line;
    if (hovered) {
        map.frame += "hovered ";
        map.frame += name;
        map.frame += '\n';
    }
}

void NoteWidget(const char* name) {
    if (!Map().path) return;
    const ImVec2 low = ImGui::GetItemRectMin(), high = ImGui::GetItemRectMax();
    NoteWidgetRect(name, low.x, low.y, high.x, high.y,
                   ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem));
}

void WriteWidgetMap() {
    WidgetMap& map = Map();
    if (!map.path) return;
    if (map.frame != map.written) {
        // Written whole under another name, then renamed: a test never reads half a map.
        const std::string temporary = std::string(map.path) + ".new";
        if (FILE* file = std::fopen(temporary.c_str(), "w")) {
            std::fwrite(map.frame.data(), 1, map.frame.size(), file);
            if (std::fclose(file) == 0 && std::rename(temporary.c_str(), map.path) == 0) {
                map.written = map.frame;
            }
        }
    }
    map.frame.clear();
}

}  // namespace orvet
