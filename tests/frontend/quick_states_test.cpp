// Quick save and load through the ten slots, on a machine running the built-in ROM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "frontend/quick_states.h"
#include "machine/machine.h"
#include "machine/save_state.h"

namespace orvet {
namespace {

TEST(QuickStates, SlotsSaveLoadAndReportWhatHappened) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvet_quick_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    auto machine = std::make_unique<Machine>();
    std::string error;
    ASSERT_TRUE(StartMachine(*machine, MachineSettings{}, error)) << error;
    QuickStates states{folder.string(), 9};

    EXPECT_EQ(QuickLoad(states, *machine), "No state in slot 9");
    EXPECT_EQ(QuickSave(states, *machine), "State saved to slot 9");
    EXPECT_TRUE(std::filesystem::exists(folder / "states" / "state_9.ost"));
    const uint32_t pc = machine->cpu.pc;
    for (int frame = 0; frame < 3; ++frame) RunFrame(*machine);
    EXPECT_EQ(QuickLoad(states, *machine), "State 9 loaded");
    EXPECT_EQ(machine->cpu.pc, pc);

    EXPECT_EQ(NextQuickSlot(states), "State slot 0");
    std::ofstream(folder / "states" / "state_0.ost") << "not a state";
    EXPECT_EQ(QuickLoad(states, *machine), "State 0 not loaded: not an Orvet save state");
    bool loaded = true;
    const std::string named = (folder / "states" / "state_0.ost").string();
    EXPECT_EQ(LoadNamedState(*machine, named, &loaded),
              "State not loaded: " + named + ": not an Orvet save state");
    EXPECT_FALSE(loaded);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvet
