// The built-in ROM starts the machine as the ST's own system does: what a boot-sector program
// reads of it must be there, at every memory size.
#include "machine/builtin_rom.h"

#include <gtest/gtest.h>

#include <memory>

#include "golden.h"
#include "machine/machine.h"

namespace orvet {
namespace {

uint32_t LongAt(Machine& machine, uint32_t address) {
    return static_cast<uint32_t>(CpuPeekWord(machine.cpu, address)) << 16 |
           CpuPeekWord(machine.cpu, address + 2);
}

TEST(BuiltinRomTest, StartsTheMachineAsTheStsOwnSystemDoes) {
    const auto& rom = BuiltinRom();
    ASSERT_GE(rom.size(), 64u);
    EXPECT_LE(rom.size(), 192u * 1024) << "the ROM must fit the ST's 192 KB ROM space";
    EXPECT_EQ(rom[0], 0x60);  // the branch over the header that marks a TOS image
    EXPECT_EQ(rom[1], 0x2E);

    const uint32_t sizes[] = {0x80000, 0x100000, 0x200000, 0x400000};
    for (unsigned index = 0; index < 4; ++index) {
        SCOPED_TRACE(testing::Message() << "RAM " << (sizes[index] >> 10) << " KB");
        auto owner = std::make_unique<Machine>();  // large: kept off the stack
        Machine& machine = *owner;
        ASSERT_TRUE(CreateMachine(machine, index));
        std::string error;
        ASSERT_TRUE(LoadBuiltinRom(machine.memory, &error)) << error;
        ResetMachine(machine, true);
        SetRunState(machine, RunState::Running);
        constexpr int kFrames = 200;
        for (int frame = 0; frame < kFrames; ++frame) ASSERT_TRUE(RunFrame(machine)) << frame;

        const uint32_t top = sizes[index];
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
        // The start screen: the ROM's name, the memory it found, and the empty drive.
        if (index == 0 || index == 3) {
            EXPECT_TRUE(
                MatchesGolden(index == 0 ? "builtin_rom_start_512k" : "builtin_rom_start_4m",
                              machine.screen.data()));
        }
    }
}

}  // namespace
}  // namespace orvet
