// The built-in ROM starts the machine as the ST's own system does: what a boot-sector program
// reads of it must be there, on both models and at every memory size; and its start screen shows
// the input a person gives it.
#include "machine/builtin_rom.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "golden.h"
#include "machine/machine.h"

namespace orvet {
namespace {

uint32_t LongAt(Machine& machine, uint32_t address) {
    return static_cast<uint32_t>(CpuPeekWord(machine.cpu, address)) << 16 |
           CpuPeekWord(machine.cpu, address + 2);
}

std::unique_ptr<Machine> StartedMachine(unsigned ramSizeIndex, bool ste) {
    auto machine = std::make_unique<Machine>();  // large: kept off the stack
    EXPECT_TRUE(CreateMachine(*machine, ramSizeIndex));
    SetMachineModel(*machine, ste);
    std::string error;
    EXPECT_TRUE(LoadBuiltinRom(machine->memory, &error)) << error;
    ResetMachine(*machine, true);
    SetRunState(*machine, RunState::Running);
    return machine;
}

void RunFrames(Machine& machine, int count) {
    for (int frame = 0; frame < count; ++frame) ASSERT_TRUE(RunFrame(machine)) << frame;
}

TEST(BuiltinRomTest, StartsTheMachineAsTheStsOwnSystemDoes) {
    const auto& rom = BuiltinRom();
    ASSERT_GE(rom.size(), 64u);
    EXPECT_LE(rom.size(), 192u * 1024) << "the ROM must fit the ST's 192 KB ROM space";
    EXPECT_EQ(rom[0], 0x60);  // the branch over the header that marks a TOS image
    EXPECT_EQ(rom[1], 0x2E);

    struct Case {
        unsigned ramSizeIndex;
        bool ste;
        const char* golden;  // null: no picture kept
    };
    const Case cases[] = {{0, false, "builtin_rom_start_512k"},
                          {0, true, "builtin_rom_start_512k_ste"},
                          {1, false, nullptr},
                          {2, true, nullptr},
                          {3, false, "builtin_rom_start_4m"},
                          {3, true, "builtin_rom_start_4m_ste"}};
    for (const Case& c : cases) {
        const uint32_t top = 0x80000u << c.ramSizeIndex;
        SCOPED_TRACE(testing::Message() << (c.ste ? "STE " : "STFM ") << (top >> 10) << " KB");
        auto owner = StartedMachine(c.ramSizeIndex, c.ste);
        Machine& machine = *owner;
        constexpr int kFrames = 200;
        RunFrames(machine, kFrames);

        EXPECT_EQ(LongAt(machine, 0x42E), top) << "phystop";
        EXPECT_EQ(LongAt(machine, 0x44E), top - 0x8000) << "_v_bas_ad: the screen at the top";
        EXPECT_EQ(machine.shifter.videoBase, top - 0x8000) << "and the shifter shows it";
        EXPECT_EQ(LongAt(machine, 0x420), 0x752019F3u) << "memvalid";
        EXPECT_EQ(LongAt(machine, 0x4F2), 0xFC0000u) << "_sysbase: the ROM header";
        EXPECT_EQ(CpuPeekWord(machine.cpu, 0x4A6), 1) << "_nflops";
        EXPECT_NE(LongAt(machine, 0x4C6), 0u) << "_dskbufp";
        // Four seconds of the machine: the 200 Hz clock and the frame counter kept time.
        EXPECT_NEAR(static_cast<double>(LongAt(machine, 0x4BA)), 200.0 * kFrames / 50.06, 4)
            << "_hz_200";
        EXPECT_NEAR(static_cast<double>(LongAt(machine, 0x466)), kFrames, 1) << "_frclock";
        EXPECT_EQ(machine.ikbd.queue.count, 0) << "the keyboard's reset reply was taken";
        EXPECT_EQ(CpuPeekWord(machine.cpu, 0x6F0), 3) << "the empty drive was given up on";
        // The cookie jar's _MCH cookie tells the models apart.
        const uint32_t jar = LongAt(machine, 0x5A0);
        ASSERT_NE(jar, 0u);
        EXPECT_EQ(LongAt(machine, jar + 16), 0x5F4D4348u);
        EXPECT_EQ(LongAt(machine, jar + 20), c.ste ? 0x10000u : 0u) << "_MCH";
        if (c.golden) {
            EXPECT_TRUE(MatchesGolden(c.golden, machine.screen.data()));
        }
    }
}

// Keys typed on the start screen appear on it as the console reads them (with Shift, Backspace
// and Caps Lock), and the mouse and joystick 1 show where they are.
TEST(BuiltinRomTest, TheStartScreenShowsTheInputAsItArrives) {
    auto owner = StartedMachine(0, false);
    Machine& machine = *owner;
    RunFrames(machine, 100);  // past the empty drive's time-out
    auto tap = [&](std::initializer_list<uint8_t> keys) {  // pressed in order, as a person does
        for (uint8_t key : keys) {
            machine.host.keyState[key] = 0x80;
            RunFrames(machine, 2);
        }
        for (uint8_t key : keys) machine.host.keyState[key] = 0;
        RunFrames(machine, 3);
    };
    tap({vk::kLeftShift, 'H'});
    const uint8_t keys[] = {'I', 'X', vk::kBack, vk::kSpace, '2', vk::kCapital, 'S', 'T'};
    for (uint8_t key : keys) tap({key});
    machine.host.mouseMovementX = 30;
    machine.host.mouseMovementY = -20;
    machine.host.mouseLeftButton = true;
    machine.host.keyState[vk::kUp] = machine.host.keyState[vk::kRight] = 0x80;
    RunFrames(machine, 5);

    std::string typed;  // the ROM's own copy of the line, zero-ended
    for (uint32_t address = 0xC80; address < 0xCA1; ++address) {
        const uint16_t pair = CpuPeekWord(machine.cpu, address & ~1u);
        const char c = static_cast<char>((address & 1) ? pair : pair >> 8);
        if (c == 0) break;
        typed += c;
    }
    EXPECT_EQ(typed, "Hi 2ST");
    EXPECT_TRUE(MatchesGolden("builtin_rom_input", machine.screen.data()));
}

}  // namespace
}  // namespace orvet
