// The options window drawn with Dear ImGui from the OptionsWindow model.
#pragma once

#include "frontend/options.h"

namespace orvet {

struct Machine;

// Each opening shows the settings and the ROM list as they are now.
void OpenOptions(OptionsWindow& window, Settings& settings, Machine& machine);
// Fills the current ImGui window with the options' controls; each click acts at once.
void DrawOptions(OptionsWindow& window, Settings& settings, Machine& machine, OptionsHost& host);

}  // namespace orvet
