// The whole machine under 68000 programs (tests/programs/*.s): the programs install vectors,
// program the MFP and the ACIA, and keep counters and buffers in RAM that these tests read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "program_machine.h"

namespace orvet {
namespace {

// interrupts.s
constexpr uint32_t kVblCount = 0x600, kHblCount = 0x604, kTimerBCount = 0x608;
constexpr uint32_t kTimerCCount = 0x60C, kHblsMasked = 0x610, kHoldTimerB = 0x612;
constexpr uint32_t kReleaseTimerB = 0x614;

TEST(Program, VblIsPostedAtCycle80OfEveryFrame) {
    ProgramMachine program("interrupts");
    program.setWord(kHblsMasked, 1);  // an HBL handler running at 80 would delay the post
    program.runFrames(1);
    for (int frame = 1; frame <= 5; ++frame) {
        std::vector<int32_t> vblCycles;
        for (const auto& post : program.runFrameNotingPosts()) {
            if (post.kind == EventKind::Vbl) vblCycles.push_back(post.cycle);
        }
        EXPECT_EQ(vblCycles, std::vector<int32_t>{80}) << "frame " << frame;
    }
    EXPECT_EQ(program.longWord(kVblCount), 6u) << "each VBL reached its handler";
    EXPECT_EQ(program.longWord(kHblCount), 0u);
}

TEST(Program, EveryLineHasItsHblAndEveryDisplayLineItsTimerB) {
    ProgramMachine program("interrupts");
    program.runFrames(1);  // the start-up runs with the mask shut
    uint32_t hbls = program.longWord(kHblCount), timerB = program.longWord(kTimerBCount);
    for (int frame = 1; frame <= 3; ++frame) {
        std::vector<int32_t> hblCycles, timerBCycles;
        for (const auto& post : program.runFrameNotingPosts()) {
            if (post.kind == EventKind::Hbl) hblCycles.push_back(post.cycle);
            if (post.kind == EventKind::LineOrTimerB) timerBCycles.push_back(post.cycle);
        }
        ASSERT_EQ(hblCycles.size(), 313u) << "frame " << frame;
        for (int line = 0; line < 313; ++line) {
            // Posted at 16 + 512k, or as soon after as the instruction in progress ends.
            EXPECT_GE(hblCycles[line], 16 + 512 * line);
            EXPECT_LT(hblCycles[line], 16 + 512 * line + 64);
        }
        ASSERT_EQ(timerBCycles.size(), 200u) << "frame " << frame;
        EXPECT_GE(timerBCycles.front(), kFirstLineTime + 63 * kLineCycles - 4) << "line 64";
        for (size_t line = 1; line < timerBCycles.size(); ++line) {
            EXPECT_NEAR(timerBCycles[line] - timerBCycles[line - 1], kLineCycles, 64) << line;
        }
        EXPECT_EQ(program.longWord(kHblCount) - hbls, 313u);
        EXPECT_EQ(program.longWord(kTimerBCount) - timerB, 200u);
        hbls = program.longWord(kHblCount), timerB = program.longWord(kTimerBCount);
    }
    EXPECT_EQ(program.longWord(kVblCount), 4u);
}

TEST(Program, TimerCTicksAt200Hz) {
    ProgramMachine program("interrupts");
    program.runFrames(50);
    // 50 frames are 8,012,800 cycles; a period is 192 x 64 MFP clocks, 40,106 cycles.
    EXPECT_NEAR(program.longWord(kTimerCCount), 8012800 / 40106, 1);
}

TEST(Program, ChannelInServiceBlocksLowerChannelsUntilItsBitIsCleared) {
    ProgramMachine program("interrupts");
    program.setWord(kHoldTimerB, 1);
    program.runFrames(10);
    EXPECT_EQ(program.longWord(kTimerBCount), 1u) << "nor does its own channel come again";
    EXPECT_EQ(program.longWord(kTimerCCount), 0u) << "Timer C is below Timer B";
    EXPECT_EQ(program.longWord(kVblCount), 10u) << "the processor's own levels are not held";

    program.setWord(kHoldTimerB, 0);
    program.setWord(kReleaseTimerB, 1);
    program.runFrames(1);  // what waited is delivered
    EXPECT_EQ(program.word(kReleaseTimerB), 0);
    uint32_t timerB = program.longWord(kTimerBCount), timerC = program.longWord(kTimerCCount);
    program.runFrames(10);
    EXPECT_EQ(program.longWord(kTimerBCount) - timerB, 2000u);
    EXPECT_NEAR(program.longWord(kTimerCCount) - timerC, 40, 1);
}

// keyboard.s
constexpr uint32_t kReceivedCount = 0x600, kCommandRequest = 0x602, kReceivedBytes = 0x800;

struct KeyboardProgram : ProgramMachine {
    size_t seen = 0;
    KeyboardProgram() : ProgramMachine("keyboard") {}
    // The bytes the program's channel 6 handler filed since the last call.
    std::vector<uint8_t> newBytes() {
        std::vector<uint8_t> bytes;
        for (; seen < word(kReceivedCount); ++seen) bytes.push_back(byte(kReceivedBytes + seen));
        return bytes;
    }
};
using Bytes = std::vector<uint8_t>;

TEST(Program, KeyboardReportsReachTheProgramThroughTheAciaAndChannel6) {
    KeyboardProgram program;
    program.runFrames(3);
    EXPECT_EQ(program.newBytes(), Bytes{0xF0}) << "the answer to the reset command";

    HostInput& host = program.machine.host;
    host.keyState['A'] |= 0x80;
    program.runFrames(1);
    EXPECT_EQ(program.newBytes(), Bytes{0x1E}) << "make code";
    host.keyState['A'] = 0;
    program.runFrames(1);
    EXPECT_EQ(program.newBytes(), Bytes{0x9E}) << "break code";

    host.mouseMovementX = 5;
    host.mouseMovementY = -3;
    program.runFrames(1);
    EXPECT_EQ(program.newBytes(), (Bytes{0xF8, 0x05, 0xFD})) << "relative mouse packet";
    host.mouseLeftButton = true;
    program.runFrames(1);
    EXPECT_EQ(program.newBytes(), (Bytes{0xFA, 0x00, 0x00})) << "left button, no movement";

    host.readUtcClock = [] { return UtcDateTime{2024, 3, 15, 13, 45, 59}; };
    program.setWord(kCommandRequest, 0x1C);
    program.runFrames(2);
    EXPECT_EQ(program.newBytes(), (Bytes{0xFC, 0x24, 0x03, 0x15, 0x13, 0x45, 0x59}))
        << "time of day in BCD";
}

// dma_sound.s
constexpr uint32_t kSoundMode = 0x600, kSoundControl = 0x602, kFrameLength = 0x604;
constexpr uint32_t kFrameEnds = 0x610, kPlayingEnds = 0x614, kGpipBefore = 0x618;
constexpr uint32_t kGpipPlaying = 0x61A, kGpipAtEnd = 0x61C, kControlAtEnd = 0x61E;
constexpr uint32_t kNoDmaSound = 0x620;

struct SamplePlayer : ProgramMachine {
    SamplePlayer(bool ste, uint8_t mode, uint8_t control, uint32_t frameBytes)
        : ProgramMachine("dma_sound") {
        SetMachineModel(machine, ste);
        setWord(kSoundMode, mode);
        setWord(kSoundControl, control);
        setWord(kFrameLength, static_cast<uint16_t>(frameBytes >> 16));
        setWord(kFrameLength + 2, static_cast<uint16_t>(frameBytes));
    }
    // The cycles, counted from the first frame's start, at which the MFP's Timer A and GPIP 7
    // interrupts were posted over `frames` frames.
    std::vector<int64_t> postsOverFrames(int frames) {
        std::vector<int64_t> times;
        for (int frame = 0; frame < frames; ++frame) {
            for (const Post& post : runFrameNotingPosts()) {
                if (post.kind == EventKind::TimerA) {
                    times.push_back(int64_t(frame) * kFrameCycles + post.cycle);
                }
            }
        }
        return times;
    }
};

// A repeating frame of L sample frames ends every L periods of the rate's clock (50,066 Hz
// divided by 8, 4, 2, 1), mono or stereo, and each end reaches the program as one Timer A
// interrupt, posted as soon as the instruction in progress ends.
TEST(Program, AnSteSamplePlayerGetsOneTimerAInterruptPerPlayedFrame) {
    struct Case {
        uint8_t mode;
        uint32_t bytes;
        int64_t divider;
    };
    const Case cases[] = {{0x80, 100, 8}, {0x01, 400, 4}, {0x82, 1500, 2}, {0x03, 1000, 1}};
    constexpr int kFrames = 20;
    // Cycles a post may wait: the VBL being taken and its handler's instruction.
    constexpr double kLatency = 64;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << int(c.mode));
        SamplePlayer player(true, c.mode, 3, c.bytes);
        const std::vector<int64_t> posts = player.postsOverFrames(kFrames);
        ASSERT_FALSE(posts.empty());
        const int64_t samples = c.bytes / ((c.mode & 0x80) ? 1 : 2);
        const double interval =
            double(samples * c.divider * kDmaSoundMachineClockHz) / double(kDmaSoundClockHz);
        for (size_t end = 1; end < posts.size(); ++end) {
            ASSERT_NEAR(double(posts[end] - posts[0]), end * interval, kLatency) << "end " << end;
        }
        const double span = double(kFrames) * kFrameCycles - double(posts[0]);
        EXPECT_GE(double(posts.size()), std::floor((span - kLatency) / interval));
        EXPECT_LE(double(posts.size()), std::floor(span / interval) + 1);
        EXPECT_NEAR(double(player.longWord(kFrameEnds)), double(posts.size()), 1);
        EXPECT_EQ(player.longWord(kPlayingEnds), 0u) << "repeating, it never stops";
        EXPECT_EQ(player.word(kGpipPlaying) & 0x80, 0) << "GPIP 7 is 0 while playing";
    }
}

// Played once, the frame's end interrupts through Timer A and, as playing stops, through GPIP 7's
// rising edge: the handler finds the control bit cleared and the monitor detect back at 1. An
// STFM has no DMA sound: its registers fault and GPIP 7 is only the colour monitor's 1.
TEST(Program, PlayingOnceEndsWithGpip7AndAnStfmHasNoDmaSound) {
    SamplePlayer player(true, 0x03, 1, 1000);
    const std::vector<int64_t> posts = player.postsOverFrames(3);
    ASSERT_EQ(posts.size(), 2u) << "GPIP 7, then Timer A after its handler";
    EXPECT_LT(posts[1] - posts[0], 400);
    EXPECT_EQ(player.longWord(kFrameEnds), 1u);
    EXPECT_EQ(player.longWord(kPlayingEnds), 1u);
    EXPECT_EQ(player.word(kGpipBefore) & 0x80, 0x80);
    EXPECT_EQ(player.word(kGpipPlaying) & 0x80, 0);
    EXPECT_EQ(player.word(kGpipAtEnd) & 0x80, 0x80);
    EXPECT_EQ(player.word(kControlAtEnd), 0);

    SamplePlayer stfm(false, 0x03, 3, 1000);
    EXPECT_TRUE(stfm.postsOverFrames(3).empty());
    EXPECT_EQ(stfm.word(kNoDmaSound), 1);
    EXPECT_EQ(stfm.word(kGpipBefore) & 0x80, 0x80);
    EXPECT_EQ(stfm.longWord(kFrameEnds), 0u);
}

// probe.s
constexpr uint32_t kProbes = 0x800, kProbeResults = 0xC00, kProbeValues = 0xD00;
constexpr uint32_t kProbesFinished = 0xE04;

enum ProbeKind : uint16_t { kReadByte, kReadWord, kWriteByte, kWriteWord };

struct Probe {
    uint32_t address;
    ProbeKind kind;
    bool faults;
};

// Writes the probe list for probe.s, runs it and checks which probes faulted.
template <size_t Count>
void runProbes(ProgramMachine& program, const Probe (&probes)[Count]) {
    uint32_t at = kProbes;
    for (const Probe& probe : probes) {
        program.setWord(at, static_cast<uint16_t>(probe.address >> 16));
        program.setWord(at + 2, static_cast<uint16_t>(probe.address));
        program.setWord(at + 4, probe.kind);
        at += 6;
    }
    program.setWord(at + 4, 0xFFFF);
    program.runFrames(2);
    ASSERT_EQ(program.word(kProbesFinished), 1) << "the program went through its list";
    for (size_t i = 0; i < Count; ++i) {
        EXPECT_EQ(program.byte(kProbeResults + i), probes[i].faults ? 1 : 0)
            << std::hex << "probe of 0x" << probes[i].address << " kind " << probes[i].kind;
    }
}

// An operating system that finds a device by touching it must meet a bus error wherever the ST
// has nothing, reads included, or it takes the machine for one with more hardware.
TEST(Program, ProbesUnderABusErrorHandlerFaultWhereNothingAnswers) {
    const Probe probes[] = {
        // What the ST lacks and systems look for: TT video, the blitter's neighbourhood, a second
        // MFP, ACIA mirrors, IDE, the STE sound page on an STFM.
        {0xFF8282, kReadWord, true},
        {0xFF8400, kReadWord, true},
        {0xFF8A00, kReadWord, true},
        {0xFFFA81, kReadByte, true},
        {0xFFFC21, kReadByte, true},
        {0xF00000, kReadByte, true},
        {0xFF8900, kReadWord, true},
        {0xFF8901, kWriteByte, true},
        // Nothing in the address space: above 4 MB, below the I/O area, between ROM and I/O.
        {0x400000, kReadWord, true},
        {0xFF0000, kReadByte, true},
        {0xFF7FFE, kWriteWord, true},
        {0xFE0000, kReadWord, true},
        {0xF9FFFE, kReadWord, true},
        // Each device answers in its register block and nowhere else on its page.
        {0xFF8001, kReadByte, false},
        {0xFF8002, kReadByte, true},
        {0xFF80FE, kWriteWord, true},
        {0xFFFA01, kReadByte, false},
        {0xFFFA3E, kReadWord, false},
        {0xFFFA40, kReadWord, true},
        {0xFFFC00, kReadByte, false},
        {0xFFFC06, kWriteByte, false},
        {0xFFFC08, kReadByte, true},
        {0xFF8800, kReadByte, false},
        {0xFF88FE, kReadWord, false},  // the sound chip mirrors
        // Memory: the RAM missing above 2 MB reads all ones and swallows writes; ROM, the
        // cartridge and the reset vectors refuse writes.
        {0x300000, kReadWord, false},
        {0x300000, kWriteWord, false},
        {0x3FFFFF, kReadByte, false},
        {0xFC0000, kReadWord, false},
        {0xFC0000, kWriteWord, true},
        {0xFA0000, kReadByte, false},
        {0xFA0000, kWriteByte, true},
        {0x000004, kWriteWord, true},
        {0x000008, kWriteWord, false},
    };
    ProgramMachine program("probe");
    runProbes(program, probes);
    // What the answering reads returned: unassigned MFP and ACIA registers and missing RAM read
    // all ones; the memory configuration register holds the 2 MB setting.
    auto value = [&](size_t i) { return program.word(kProbeValues + 2 * i); };
    EXPECT_EQ(value(17), 0xFFFF) << "0xFFFA3E";
    EXPECT_EQ(value(24), 0xFFFF) << "missing RAM";
    EXPECT_EQ(value(27), 0x0000) << "the ROM's header";
}

TEST(Program, TheSteAddsTheDmaSoundRegistersAndNothingAroundThem) {
    const Probe probes[] = {
        {0xFF8900, kReadWord, false}, {0xFF8921, kReadByte, false}, {0xFF8926, kWriteWord, false},
        {0xFF8928, kReadWord, true},  {0xFF89FE, kReadByte, true},  {0xFF8A00, kReadWord, true},
    };
    ProgramMachine program("probe");
    SetMachineModel(program.machine, true);
    runProbes(program, probes);
}

}  // namespace
}  // namespace orvet
