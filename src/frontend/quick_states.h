// Quick save and quick load: ten numbered states in the data folder's "states" folder, reached
// by two host keys the ST lacks while the machine runs (the window layer names them). Each action
// returns the line the status area shows, so that a person sees what was saved, loaded or
// refused.
#pragma once

#include <string>

namespace orvet {

struct Machine;

struct QuickStates {
    std::string dataFolder;  // where "states/state_N.ost" are kept; empty: nowhere to keep them
    int slot = 0;            // the slot both keys use, 0-9
};

// Saves the machine to the current slot: "State saved to slot N", or why it was not.
std::string QuickSave(QuickStates& states, const Machine& machine);
// Loads the current slot: "State N loaded", or why the machine goes on as it was.
std::string QuickLoad(QuickStates& states, Machine& machine);
// Moves to the next slot, after 9 back to 0: "State slot N".
std::string NextQuickSlot(QuickStates& states);
// A state named on the command line: "State loaded from FILE", or why it was refused.
std::string LoadNamedState(Machine& machine, const std::string& path, bool* loaded = nullptr);

}  // namespace orvet
