// The toolbar strip and the open tool window, drawn with Dear ImGui from the FrontEnd model.
#pragma once

#include "frontend/toolbar.h"

namespace orvet {

// Draws the strip across the top of a window windowWidth pixels wide, with each button's art
// plain or highlighted as the model says, and the open tool's window below it. Mouse movement
// and the left button's release over the window reach the model; the request a release made
// is returned for the program to carry out.
ToolbarRequest DrawFrontEnd(FrontEnd& frontEnd, float windowWidth, float windowHeight,
                            bool tosAvailable);

}  // namespace orvet
