// The front end's toolbar and tool-window choice, as plain state the window draws: which tool is
// open, which button the mouse is over, which tool comes back when the machine stops, and what a
// click asks of the program. The window feeds it mouse positions in toolbar coordinates.
#pragma once

#include <array>

namespace orvet {

// Tool windows by index; only one is open at a time, and none while the machine runs.
constexpr int kToolNone = -1;
constexpr int kToolDebugger = 0;
constexpr int kToolDiskManager = 1;
constexpr int kToolOptions = 2;
constexpr int kToolCapture = 3;
constexpr int kToolCount = 4;

// Buttons 0-3 open the tool of the same index.
constexpr int kButtonRun = 4;
constexpr int kButtonQuit = 5;
constexpr int kToolbarButtonCount = 6;

// The toolbar strip's height in pixels; the tool window fills the window below it.
constexpr float kToolbarHeight = 64;
constexpr float kToolbarButtonSize = 52;

const char* ToolTitle(int tool);  // "Debugger", "Disk Manager", "Options", "Capture"

struct ButtonRect {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool contains(float x, float y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
};

// What a click on the toolbar asks of the program beyond the model's own change.
enum class ToolbarRequest {
    None,
    Run,        // the machine is to run; the front end has closed
    CannotRun,  // no TOS image: "Can't run..." is to be shown
    AskQuit,    // "Quit..." is to be asked; answer with ToolbarQuitAnswered
};

struct FrontEnd {
    int currentTool = kToolNone;
    int hoveredButton = -1;
    int lastTool = kToolDiskManager;  // what comes back when the machine stops
    int shownTool = kToolNone;        // the tool whose window was drawn last: a change opens one
    std::array<ButtonRect, kToolbarButtonCount> buttons{};
    // Where the window last saw the pointer; a move is a change from it.
    float pointerX = -1, pointerY = -1;

    // A button is drawn highlighted for the open tool and under the mouse.
    bool highlighted(int button) const { return button == currentTool || button == hoveredButton; }
    bool open() const { return currentTool != kToolNone; }
};

// Places the buttons on a strip stripWidth pixels wide: the four tools from the left, Run and
// Quit at the right end, so the two that change the program's state stand apart.
void LayoutToolbar(FrontEnd& frontEnd, float stripWidth);

// The mouse moved to (x, y) in toolbar coordinates: the button under it becomes the hovered one
// (a later button wins where rectangles meet); none outside every button.
void ToolbarMouseMove(FrontEnd& frontEnd, float x, float y);

// The left button was released at (x, y): acts on the hovered button. A tool button opens its
// tool and makes it the one that comes back; Run closes the front end when a TOS image can run,
// else leaves everything as it is and asks for the message.
ToolbarRequest ToolbarRelease(FrontEnd& frontEnd, float x, float y, bool tosAvailable);

// After the quit question the mouse position is taken as (0, 0), where no button lies, so the
// box's click does not leave a button lit.
void ToolbarQuitAnswered(FrontEnd& frontEnd);

// Opens tool 0-3, or closes the front end with kToolNone. Choosing the open tool changes nothing.
// True when the open tool changed.
bool SwitchTool(FrontEnd& frontEnd, int tool);

}  // namespace orvet
