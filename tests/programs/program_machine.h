// A machine running one of the 68000 test programs of tests/programs as its ROM.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine/machine.h"

namespace orvet {

struct ProgramMachine {
    Machine machine;

    explicit ProgramMachine(const std::string& program) {
        EXPECT_TRUE(CreateMachine(machine));
        std::string error;
        EXPECT_TRUE(LoadTosRom(
            machine.memory, std::string(ORVET_TEST_PROGRAMS_DIR) + "/" + program + ".rom", &error))
            << error;
        ResetMachine(machine, true);
    }
    uint16_t word(uint32_t address) { return CpuPeekWord(machine.cpu, address); }
    uint32_t longWord(uint32_t address) {
        return static_cast<uint32_t>(word(address)) << 16 | word(address + 2);
    }
    uint8_t byte(uint32_t address) {
        uint16_t pair = word(address & ~1u);
        return static_cast<uint8_t>((address & 1) ? pair : pair >> 8);
    }
    // The programs' settings words; set between frames, as the program only reads them.
    void setWord(uint32_t address, uint16_t value) {
        std::memcpy(machine.memory.ramBase + address, &value, 2);
    }
    void runFrames(int count) {
        for (int frame = 0; frame < count; ++frame) ASSERT_TRUE(RunFrame(machine)) << frame;
    }

    struct Post {
        EventKind kind;
        int32_t cycle;
    };
    // One frame as RunFrame runs it, noting the frame-relative cycle of every interrupt posted.
    std::vector<Post> runFrameNotingPosts() {
        std::vector<Post> posts;
        for (;;) {
            int32_t granted = FrameStep(machine);
            if (granted < 0) return posts;
            if (granted == 0) {
                posts.push_back({machine.frame.eventKind, machine.cpu.cycleCounter});
            } else if (CpuExecute(machine.cpu, granted) != kCpuRunEnded) {
                ADD_FAILURE() << "the program crashed";
                return posts;
            }
        }
    }
};

}  // namespace orvet
