#include "machine/mfp.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cpu/cpu.h"

namespace orvet {
namespace {

constexpr uint32_t kGpip = 0xFFFA01;
constexpr uint32_t kIera = 0xFFFA07;
constexpr uint32_t kIerb = 0xFFFA09;
constexpr uint32_t kIpra = 0xFFFA0B;
constexpr uint32_t kIsrb = 0xFFFA11;
constexpr uint32_t kImra = 0xFFFA13;
constexpr uint32_t kImrb = 0xFFFA15;
constexpr uint32_t kVr = 0xFFFA17;
constexpr uint32_t kTacr = 0xFFFA19;
constexpr uint32_t kTbcr = 0xFFFA1B;
constexpr uint32_t kTcdcr = 0xFFFA1D;
constexpr uint32_t kTadr = 0xFFFA1F;
constexpr uint32_t kTbdr = 0xFFFA21;
constexpr uint32_t kTcdr = 0xFFFA23;
constexpr uint32_t kTddr = 0xFFFA25;
constexpr int32_t kFrameCycles = 160256;
constexpr int32_t kTimerC200HzPeriod = 40106;  // 192 counts of 64 MFP clocks in CPU cycles

struct MfpTest : ::testing::Test {
    Mfp mfp;
    CpuState cpu;

    void SetUp() override { MfpIoReset(mfp); }
    void Write(uint32_t address, uint8_t value, int32_t time = 0) {
        MfpWriteByte(mfp, cpu, address, value, time);
    }
    uint8_t Read(uint32_t address, int32_t time = 0) {
        return MfpReadByte(mfp, cpu, address, time);
    }
    // The processor takes the interrupt, so the next level-6 post is accepted.
    void Acknowledge() { cpu.interruptState = 0; }
    void StartTimerC200Hz(int32_t time) {
        Write(kVr, 0x40);  // automatic end of interrupt
        Write(kImrb, 0xFF);
        Write(kTcdr, 192);
        Write(kTcdcr, 0x50, time);
    }
};

TEST_F(MfpTest, TimerCRunsAt200HzAcrossFrameRebases) {
    StartTimerC200Hz(1000);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::C), 1000 + kTimerC200HzPeriod);
    EXPECT_EQ(mfp.timers[2].tickCycles, 208u);

    EXPECT_FALSE(MfpFireDueTimer(mfp, cpu, MfpTimer::C, 1000 + kTimerC200HzPeriod - 1));
    EXPECT_TRUE(MfpFireDueTimer(mfp, cpu, MfpTimer::C, 1000 + kTimerC200HzPeriod));
    EXPECT_EQ(cpu.interruptVector[6], 0x45);  // VR base 0x40, channel 5
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::C), 1000 + 2 * kTimerC200HzPeriod);

    // One second of machine time, stepped from event to event with the frame-end rebase.
    Mfp clock;
    MfpIoReset(clock);
    MfpWriteByte(clock, cpu, kVr, 0x40, 0);
    MfpWriteByte(clock, cpu, kImrb, 0xFF, 0);
    MfpWriteByte(clock, cpu, kTcdr, 192, 0);
    MfpWriteByte(clock, cpu, kTcdcr, 0x50, 0);
    int timeOuts = 0;
    int64_t elapsed = 0;
    int32_t now = 0;
    for (;;) {
        const int32_t next = std::min(MfpNextEventTime(clock), kFrameCycles);
        if (elapsed + (next - now) > 8021247) break;  // one second of the machine clock
        elapsed += next - now;
        now = next;
        if (now == kFrameCycles) {
            MfpRebase(clock, kFrameCycles);
            now = 0;
            continue;
        }
        Acknowledge();
        timeOuts += MfpFireDueTimer(clock, cpu, MfpTimer::C, now);
    }
    EXPECT_EQ(timeOuts, 200);
}

TEST_F(MfpTest, DataRegisterReadCountsDownFromDataToOne) {
    StartTimerC200Hz(500);
    EXPECT_EQ(Read(kTcdr, 500), 192);
    uint8_t previous = 192;
    for (int32_t t = 500; t < 500 + kTimerC200HzPeriod; ++t) {
        const uint8_t count = Read(kTcdr, t);
        ASSERT_GE(count, 1) << "at cycle " << t;
        ASSERT_LE(count, previous) << "at cycle " << t;
        previous = count;
    }
    EXPECT_EQ(previous, 1);
    EXPECT_EQ(Read(kTcdr, 500 + kTimerC200HzPeriod / 2), 97);
    // A time-out that is due but not yet fired has reloaded on the chip.
    EXPECT_EQ(Read(kTcdr, 500 + kTimerC200HzPeriod + 1), 192);
    // Word read: upper byte floats high.
    EXPECT_EQ(MfpReadWord(mfp, cpu, 0xFFFA22, 500), 0xFFC0);

    // A stopped timer reads its data register; so does one whose prescaler bits are clear,
    // where there is no count to divide by.
    Write(kTddr, 77);
    Write(kTacr, 0x10);
    Write(kTadr, 33);
    EXPECT_EQ(Read(kTddr, 1000), 77);
    EXPECT_EQ(Read(kTadr, 1000), 33);
    Write(kTcdcr, 0x80, 600);
    EXPECT_EQ(Read(kTcdr, 1000), 192);
}

TEST_F(MfpTest, RearmingRules) {
    Write(kTadr, 100);
    Write(kTacr, 0x01, 0);  // divide by 4: 100 counts
    const uint32_t period = mfp.timers[0].period;
    EXPECT_EQ(period, 100u * 4 * 8021247 / 2457600);

    // A data write alone leaves the running period as it was.
    Write(kTadr, 10, 50);
    EXPECT_EQ(mfp.timers[0].period, period);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::A), static_cast<int32_t>(period));

    // Disabling and enabling in IERA restarts with a full period from the enabling write;
    // an IERA write that keeps the channel enabled does not.
    Write(kIera, 0x00, 100);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::A), kMfpNoEvent);
    Write(kIera, 0x20, 300);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::A), 300 + 130);  // 10 counts now
    Write(kIera, 0x21, 400);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::A), 430);

    // Timer C keeps its time while Timer D is reprogrammed or IERB changes around it.
    StartTimerC200Hz(1000);
    Write(kTcdcr, 0x57, 5000);
    Write(kIerb, 0x6F, 6000);  // D disabled
    Write(kIerb, 0x7F, 7000);  // D enabled again
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::C), 1000 + kTimerC200HzPeriod);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::D), 7000 + 167109);  // 256 counts of 200
    Write(kTcdcr, 0x07, 8000);                                      // C stopped
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::C), kMfpNoEvent);
    EXPECT_EQ(mfp.timers[2].nextTime, -1);

    // Modes without a time base never count time, so they never become due.
    for (uint8_t control : {0x08, 0x09, 0x20, 0x11}) {
        Write(kTacr, control, 9000);
        EXPECT_FALSE(MfpTimerCountsTime(mfp, MfpTimer::A)) << int(control);
        EXPECT_FALSE(MfpFireDueTimer(mfp, cpu, MfpTimer::A, 1 << 30));
    }
}

TEST_F(MfpTest, RebaseMovesOnlyTimersCountingTime) {
    StartTimerC200Hz(kFrameCycles - 100);
    Write(kTbcr, 0x08);  // Timer B counts lines: nothing to rebase
    Write(kTacr, 0x01, 0);
    Write(kIera, 0x01, 0);  // Timer A disabled, left where it was
    const int32_t timerA = mfp.timers[0].nextTime;
    MfpRebase(mfp, kFrameCycles);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::C), kTimerC200HzPeriod - 100);
    EXPECT_EQ(mfp.timers[0].nextTime, timerA);
    EXPECT_EQ(mfp.timers[1].nextTime, 0);
}

TEST_F(MfpTest, SoftwareEndOfInterruptBlocksLowerChannels) {
    Write(kVr, 0x48);
    Write(kImrb, 0xFF);
    EXPECT_TRUE(MfpRequestInterrupt(mfp, cpu, kMfpChannelTimerC));
    EXPECT_EQ(cpu.interruptVector[6], 0x45);
    EXPECT_EQ(Read(kIsrb), 0x20);
    EXPECT_EQ(MfpPriority(mfp), 6);
    Acknowledge();

    // Timer C itself and Timer D wait; the keyboard channel above still interrupts.
    EXPECT_FALSE(MfpRequestInterrupt(mfp, cpu, kMfpChannelTimerC));
    EXPECT_FALSE(MfpRequestInterrupt(mfp, cpu, kMfpChannelTimerD));
    EXPECT_EQ(cpu.interruptState, 0);
    EXPECT_EQ(Read(0xFFFA0D), 0x30);
    EXPECT_FALSE(MfpPostPending(mfp, cpu, kMfpChannelTimerC));
    EXPECT_TRUE(MfpRequestInterrupt(mfp, cpu, kMfpChannelKeyboard));
    EXPECT_EQ(Read(kIsrb), 0x60);
    Acknowledge();

    // The program ends the keyboard interrupt, then Timer C's: the pending ones follow in turn.
    Write(kIsrb, 0xBF);
    EXPECT_FALSE(MfpPostPending(mfp, cpu, kMfpChannelTimerC));
    Write(kIsrb, 0xDF);
    EXPECT_TRUE(MfpPostPending(mfp, cpu, kMfpChannelTimerC));
    EXPECT_EQ(Read(0xFFFA0D), 0x10);
    EXPECT_EQ(Read(kIsrb), 0x20);

    // Leaving software end of interrupt clears every in-service bit and sets none afterwards.
    Write(kVr, 0x40);
    EXPECT_EQ(Read(kIsrb), 0x00);
    Acknowledge();
    EXPECT_TRUE(MfpPostPending(mfp, cpu, kMfpChannelTimerD));
    EXPECT_EQ(Read(kIsrb), 0x00);
}

TEST_F(MfpTest, RequestsThatCannotBePostedStayPending) {
    Write(kImrb, 0xFF);
    // Level 6 already latched at the processor: the post is refused.
    ASSERT_EQ(CpuPostInterrupt(cpu, 6, 0x40), 0);
    EXPECT_FALSE(MfpRequestInterrupt(mfp, cpu, kMfpChannelFloppy));
    EXPECT_EQ(Read(0xFFFA0D), 0x80);
    // Masked: pending, not posted.
    Acknowledge();
    Write(kImrb, 0x00);
    EXPECT_FALSE(MfpRequestInterrupt(mfp, cpu, kMfpChannelKeyboard));
    EXPECT_FALSE(MfpPostPending(mfp, cpu, kMfpChannelKeyboard));
    EXPECT_EQ(Read(0xFFFA0D), 0xC0);
    // Disabled: nothing at all.
    Write(kIerb, 0x00);
    Write(0xFFFA0D, 0x00);
    EXPECT_FALSE(MfpRequestInterrupt(mfp, cpu, kMfpChannelFloppy));
    EXPECT_EQ(Read(0xFFFA0D), 0x00);
}

TEST_F(MfpTest, TimerBEventCountFiresOnDisplayLines) {
    Write(kVr, 0x40);
    Write(kImra, 0x01);
    Write(kTbdr, 1);
    Write(kTbcr, 0x08);
    EXPECT_TRUE(MfpTimerBCountsLines(mfp));
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::B), kMfpNoEvent);
    int interrupts = 0;
    for (int line = 64; line <= 263; ++line) {
        interrupts += MfpCountDisplayLine(mfp, cpu);
        EXPECT_EQ(cpu.interruptVector[6], 0x48);
        Acknowledge();
    }
    EXPECT_EQ(interrupts, 200);

    // TBDR = 0 counts 256 lines per interrupt; the data register reads the lines left.
    Write(kTbdr, 0);
    Write(kTbcr, 0x00);
    Write(kTbcr, 0x08);
    interrupts = 0;
    for (int line = 0; line < 512; ++line) {
        interrupts += MfpCountDisplayLine(mfp, cpu);
        Acknowledge();
        if (line == 9) {
            EXPECT_EQ(Read(kTbdr), 246);
        }
        if (line == 255) {
            EXPECT_EQ(interrupts, 1);
        }
    }
    EXPECT_EQ(interrupts, 2);
}

// Timer A in event-count mode counts the pulses on its input (the STE's DMA sound frame ends):
// at 0 it reloads from TADR and interrupts; the data register reads the pulses left.
TEST_F(MfpTest, TimerAEventCountCountsInputPulses) {
    Write(kVr, 0x40);
    Write(kImra, 0x20);
    Write(kTadr, 3);
    Write(kTacr, 0x08);
    int interrupts = 0;
    for (int pulse = 1; pulse <= 7; ++pulse) {
        interrupts += MfpTimerAInputPulse(mfp, cpu);
        EXPECT_EQ(cpu.interruptVector[6], pulse >= 3 ? 0x4D : 0) << pulse;
        Acknowledge();
    }
    EXPECT_EQ(interrupts, 2);
    EXPECT_EQ(Read(kTadr), 2);
    EXPECT_EQ(MfpTimerEventTime(mfp, MfpTimer::A), kMfpNoEvent);
    // Delay, pulse-width and stopped modes, or the channel disabled: pulses are not counted.
    for (uint8_t control : {0x01, 0x09, 0x00, 0x18}) {
        Write(kTacr, control);
        EXPECT_FALSE(MfpTimerACountsEvents(mfp)) << int(control);
        EXPECT_FALSE(MfpTimerAInputPulse(mfp, cpu));
    }
    Write(kTacr, 0x08);
    Write(kIera, 0x00);
    EXPECT_FALSE(MfpTimerAInputPulse(mfp, cpu));
    EXPECT_EQ(Read(kIpra), 0x00);
}

// A machine-driven GPIP line raises its channel on the edge the active-edge register selects:
// high to low with the bit clear, low to high with it set; a level held is no edge.
TEST_F(MfpTest, GpipLinesRaiseTheirChannelOnTheActiveEdge) {
    struct Change {
        uint8_t activeEdge;
        bool high;
        bool edge;
    };
    const Change changes[] = {
        {0x00, true, false},  {0x00, false, true}, {0x00, false, false}, {0x00, true, false},
        {0x80, false, false}, {0x80, true, true},  {0x80, true, false},
    };
    for (const Change& change : changes) {
        Write(0xFFFA03, change.activeEdge);
        EXPECT_EQ(MfpDriveGpipLine(mfp, kMfpGpipMonochromeDetect, change.high), change.edge)
            << int(change.activeEdge) << " to " << change.high;
        EXPECT_EQ(Read(kGpip) >> 7, change.high ? 1 : 0);
    }
    EXPECT_EQ(MfpGpipChannel(kMfpGpipKeyboardAcia), kMfpChannelKeyboard);
    EXPECT_EQ(MfpGpipChannel(kMfpGpipMonochromeDetect), kMfpChannelMonitorDetect);
    // Raised inside a slice, an enabled channel is left pending; a disabled one ignores it.
    MfpLatchRequest(mfp, kMfpChannelMonitorDetect);
    EXPECT_EQ(Read(kIpra), 0x80);
    Write(kIera, 0x00);
    Write(kIpra, 0x00);
    MfpLatchRequest(mfp, kMfpChannelMonitorDetect);
    EXPECT_EQ(Read(kIpra), 0x00);
}

TEST_F(MfpTest, RegisterFace) {
    // GPIP: the monitor detect always reads 1; the machine's request lines ignore the program.
    Write(kGpip, 0x00);
    EXPECT_EQ(Read(kGpip), 0xB0);
    MfpSetGpipLine(mfp, kMfpGpipKeyboardAcia, false);
    MfpSetGpipLine(mfp, kMfpGpipFloppy, false);
    Write(kGpip, 0xFF);
    EXPECT_EQ(Read(kGpip), 0xCF);
    EXPECT_EQ(MfpReadWord(mfp, cpu, 0xFFFA00, 0), 0xFFCF);

    // Words act on the odd register; even bytes and the block's tail read ones, take nothing.
    MfpWriteWord(mfp, cpu, 0xFFFA12, 0x0021, 0);
    EXPECT_EQ(Read(kImra), 0x21);
    EXPECT_EQ(Read(0xFFFA12), 0xFF);
    Write(0xFFFA12, 0x00);
    Write(0xFFFA31, 0x12);
    EXPECT_EQ(Read(kImra), 0x21);
    EXPECT_EQ(Read(0xFFFA31), 0xFF);
    EXPECT_EQ(MfpReadWord(mfp, cpu, 0xFFFA30, 0), 0xFFFF);
    Write(0xFFFA2F, 0x5A);  // USART data: stored only
    EXPECT_EQ(MfpReadWord(mfp, cpu, 0xFFFA2E, 0), 0xFF5A);

    EXPECT_TRUE(MfpHasRegister(0xFFFA00));
    EXPECT_TRUE(MfpHasRegister(0xFFFA3F));
    EXPECT_FALSE(MfpHasRegister(0xFFFA40));
    EXPECT_FALSE(MfpHasRegister(0xFFF9FF));

    // Pending bits are only cleared by the program.
    mfp.registers.interruptPending = 0x2100;
    Write(kIpra, 0xFF & ~0x20);
    EXPECT_EQ(Read(kIpra), 0x01);

    // Writes that change timing or interrupt conditions end the processor's slice.
    cpu.runFlags = kRunInProgress;
    cpu.budget = 1000;
    Write(kImrb, 0x12);
    EXPECT_EQ(cpu.budget, 1000);
    Write(kIerb, 0x12);
    EXPECT_EQ(cpu.budget, 0);
    cpu.budget = 1000;
    Write(kTbcr, 0x00);
    EXPECT_EQ(cpu.budget, 0);
    cpu.runFlags = 0;

    // The I/O reset.
    mfp.registers.interruptInService = 0x1234;
    mfp.timers[2].nextTime = 999;
    MfpIoReset(mfp);
    EXPECT_EQ(Read(kIera), 0xFF);
    EXPECT_EQ(Read(kIerb), 0xFF);
    EXPECT_EQ(Read(kImra), 0x00);
    EXPECT_EQ(Read(kIsrb), 0x00);
    EXPECT_EQ(Read(kVr), 0x08);
    EXPECT_EQ(Read(kTcdcr), 0x00);
    EXPECT_EQ(mfp.timers[2].nextTime, -1);
    EXPECT_EQ(MfpNextEventTime(mfp), kMfpNoEvent);
}

}  // namespace
}  // namespace orvet
