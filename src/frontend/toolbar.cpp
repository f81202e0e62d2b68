#include "frontend/toolbar.h"

namespace orvet {

const char* ToolTitle(int tool) {
    switch (tool) {
        case kToolDebugger:
            return "Debugger";
        case kToolDiskManager:
            return "Disk Manager";
        case kToolOptions:
            return "Options";
        case kToolCapture:
            return "Capture";
        default:
            return "";
    }
}

void LayoutToolbar(FrontEnd& frontEnd, float stripWidth) {
    constexpr float kMargin = (kToolbarHeight - kToolbarButtonSize) / 2;
    constexpr float kStep = kToolbarButtonSize + 8;
    auto place = [&](int button, float left) {
        frontEnd.buttons[button] = {left, kMargin, left + kToolbarButtonSize,
                                    kMargin + kToolbarButtonSize};
    };
    for (int tool = 0; tool < kToolCount; ++tool) place(tool, kMargin + tool * kStep);
    // On a strip too narrow for the gap, Run and Quit follow the tools.
    const float quitLeft = stripWidth - kMargin - kToolbarButtonSize;
    const float afterTools = kMargin + kToolCount * kStep + kStep;
    place(kButtonRun, (quitLeft - kStep > afterTools ? quitLeft : afterTools + kStep) - kStep);
    place(kButtonQuit, frontEnd.buttons[kButtonRun].left + kStep);
}

void ToolbarMouseMove(FrontEnd& frontEnd, float x, float y) {
    frontEnd.hoveredButton = -1;
    for (int button = 0; button < kToolbarButtonCount; ++button) {
        if (frontEnd.buttons[button].contains(x, y)) frontEnd.hoveredButton = button;
    }
}

ToolbarRequest ToolbarRelease(FrontEnd& frontEnd, float x, float y, bool tosAvailable) {
    const int button = frontEnd.hoveredButton;
    if (button >= 0 && button < kToolCount) {
        frontEnd.lastTool = button;
        SwitchTool(frontEnd, button);
    } else if (button == kButtonRun) {
        if (!tosAvailable) return ToolbarRequest::CannotRun;
        frontEnd.hoveredButton = -1;
        SwitchTool(frontEnd, kToolNone);
        return ToolbarRequest::Run;
    } else if (button == kButtonQuit) {
        return ToolbarRequest::AskQuit;
    }
    ToolbarMouseMove(frontEnd, x, y);
    return ToolbarRequest::None;
}

void ToolbarQuitAnswered(FrontEnd& frontEnd) {
    ToolbarMouseMove(frontEnd, 0, 0);
}

bool SwitchTool(FrontEnd& frontEnd, int tool) {
    if (tool < kToolNone || tool >= kToolCount || tool == frontEnd.currentTool) return false;
    frontEnd.currentTool = tool;
    return true;
}

}  // namespace orvet
