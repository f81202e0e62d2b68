// The toolbar strip and the open tool window, drawn with Dear ImGui from the FrontEnd model.
#pragma once

#include <array>
#include <functional>

#include "frontend/toolbar.h"

namespace orvet {

// The tool windows' contents, by tool index. open runs when the tool's window opens (each
// opening: a window rebuilds itself from the settings then); draw fills its window each frame.
struct ToolViews {
    std::array<std::function<void()>, kToolCount> open, draw;
};

// Draws the strip across the top of a window windowWidth pixels wide, with each button's art
// plain or highlighted as the model says, and the open tool's window below it. Mouse movement
// and the left button's release over the window reach the model; the request a release made
// is returned for the program to carry out.
ToolbarRequest DrawFrontEnd(FrontEnd& frontEnd, float windowWidth, float windowHeight,
                            bool tosAvailable, const ToolViews* views = nullptr);

}  // namespace orvet
