// The disk manager's window, drawn with Dear ImGui from the DiskManagerWindow model.
#pragma once

#include "frontend/disk_manager.h"
#include "frontend/settings.h"
#include "machine/machine.h"

namespace orvet {

// Each time the window opens: the tree is built anew and the saved folder reopened.
void OpenDiskManager(DiskManagerWindow& window, Settings& settings, Machine& machine);

// Each frame, inside the tool window already begun below the toolbar.
void DrawDiskManager(DiskManagerWindow& window, Settings& settings, Machine& machine);

}  // namespace orvet
