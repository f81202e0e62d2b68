// Where the front end's controls lie on the screen, for the window tests: with ORVET_WIDGET_MAP
// naming a file, each frame's named controls are written there ("name left top right bottom" in
// window pixels, a line each) whenever they change, so a test clicks a control by its name
// instead of by a position that moves with the layout. Without it nothing is noted.
#pragma once

namespace orvet {

// Notes the last ImGui item under name (one word), and a "hovered NAME" line while the pointer
// is over it.
void NoteWidget(const char* name);

// Notes a control drawn without an ImGui item, by its rectangle and whether the pointer is over it.
void NoteWidgetRect(const char* name, float left, float top, float right, float bottom,
                    bool hovered);

// Ends the frame's notes: writes the map when it differs from the last one written.
void WriteWidgetMap();

}  // namespace orvet
