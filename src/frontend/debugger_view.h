// The debugger window drawn with Dear ImGui from its model: the registers, disassembly and
// memory panes, the breakpoint list, the break-on-interrupt boxes and the floppy panel, with the
// debugger's keys and clicks passed to the model.
#pragma once

#include <vector>

#include "debugger/debugger.h"

namespace orvet {

struct Machine;

// Fills the open tool window. pressedKeys are the SDL scancodes of the keys pressed since the last
// frame, repeats included: a tap shorter than a frame still counts. picture is the texture
// showing the machine's last picture, for the frame view. Run: the machine now runs under the
// debugger and the front end is to close.
DebuggerRequest DrawDebugger(DebuggerWindow& window, Machine& machine,
                             const std::vector<int>& pressedKeys, void* picture);

}  // namespace orvet
