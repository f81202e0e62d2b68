#include "frontend/quick_states.h"

#include <filesystem>

#include "machine/machine.h"
#include "machine/save_state.h"

namespace orvet {

std::string QuickSave(QuickStates& states, const Machine& machine) {
    const std::string number = std::to_string(states.slot);
    if (states.dataFolder.empty()) return "State " + number + " not saved: no data folder";
    std::string error;
    if (!SaveStateFile(machine, SaveStateSlotPath(states.dataFolder, states.slot), &error)) {
        return "State " + number + " not saved: " + error;
    }
    return "State saved to slot " + number;
}

std::string QuickLoad(QuickStates& states, Machine& machine) {
    const std::string number = std::to_string(states.slot);
    const std::string path = SaveStateSlotPath(states.dataFolder, states.slot);
    std::error_code ignored;
    if (states.dataFolder.empty() || !std::filesystem::exists(path, ignored)) {
        return "No state in slot " + number;
    }
    std::string error;
    // The slot's path is known to the person by its number; the reason alone says the rest.
    if (!LoadStateFile(machine, path, &error)) {
        const size_t named = error.rfind(path + ": ", 0) == 0 ? path.size() + 2 : 0;
        return "State " + number + " not loaded: " + error.substr(named);
    }
    return "State " + number + " loaded";
}

std::string NextQuickSlot(QuickStates& states) {
    states.slot = (states.slot + 1) % kSaveStateSlotCount;
    return "State slot " + std::to_string(states.slot);
}

std::string LoadNamedState(Machine& machine, const std::string& path, bool* loaded) {
    std::string error;
    const bool done = LoadStateFile(machine, path, &error);
    if (loaded) *loaded = done;
    return done ? "State loaded from " + path : "State not loaded: " + error;
}

}  // namespace orvet
