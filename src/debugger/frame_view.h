// The debugger's frame view, for demo coders: the last frame's hardware-write log laid over its
// picture. Each palette, display-pointer, resolution and border event is placed at the line and
// cycle it happened on, listed with its cycle, and tied to the instruction that made it. The view
// runs its frame one instruction at a time to know each writer, so a machine running normally
// pays nothing for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvet {

struct Machine;
struct Shifter;

struct FrameEvent {
    int32_t cycle = 0;  // from the frame's start
    uint32_t kind = 0;  // a LogKind
    uint32_t value = 0;
    uint32_t writer = 0;  // the address of the instruction that made it
};

// Runs the machine to the end of the frame in progress, then through one whole frame an
// instruction at a time, noting the instruction behind each log entry. False when the machine
// crashed on the way (it was then reset).
bool RunFrameForView(Machine& machine);

// The events of the frame RunFrameForView ran; empty until it has run.
std::vector<FrameEvent> RecordedFrameEvents(const Shifter& shifter);

// "Colour 3 = $777", "Display pointer = $78000", "Resolution = 1", "Right border open"...
std::string DescribeFrameEvent(const FrameEvent& event);

// Where an event's cycle lies on the 800 x 600 picture (two pixels a cycle, two rows a line);
// visible false for the lines and cycles a monitor does not show.
struct PicturePoint {
    float x = 0, y = 0;
    bool visible = false;
};
PicturePoint FrameEventPoint(int32_t cycle);

}  // namespace orvet
