// The STE DMA sound: its register page in bytes and words, the microwire volumes, when its
// sample frames end and what the counter reads meanwhile, and what it plays at each rate.
#include "sound/dma_sound.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {
namespace {

// The cycle on which `ticks` periods of the sample clock at `divider` after `start` fall.
int32_t TickCycle(int32_t start, int64_t ticks, int64_t divider) {
    const int64_t exact = start * kDmaSoundClockHz + ticks * divider * kDmaSoundMachineClockHz;
    return static_cast<int32_t>((exact + kDmaSoundClockHz - 1) / kDmaSoundClockHz);
}

struct Ste {
    MachineMemory memory;
    DmaSound dma;
    CpuState cpu;

    Ste() {
        memory.block.reset(new uint8_t[kMachineMemorySize]());
        memory.ramBase = memory.block.get();
        memory.ramSize = kRamAreaSize;
        dma.memory = &memory;
    }
    void Poke(uint32_t address, int value) { memory.ramBase[address ^ 1] = uint8_t(value); }
    uint8_t Byte(uint32_t address, int32_t time = 0) {
        return DmaSoundReadByte(dma, cpu, address, time);
    }
    uint16_t Word(uint32_t address, int32_t time = 0) {
        return DmaSoundReadWord(dma, cpu, address, time);
    }
    void SetByte(uint32_t address, uint8_t value, int32_t time = 0) {
        DmaSoundWriteByte(dma, cpu, address, value, time);
    }
    void SetWord(uint32_t address, uint16_t value, int32_t time = 0) {
        DmaSoundWriteWord(dma, cpu, address, value, time);
    }
    void SetAddress(uint32_t highRegister, uint32_t address) {
        for (int byte = 0; byte < 3; ++byte)
            SetByte(highRegister + 2 * byte, uint8_t(address >> (16 - 8 * byte)));
    }
    // Volumes, frame, mode, then the control at `time`, as programs do.
    void Play(uint32_t start, uint32_t end, uint8_t mode, int left, int right, uint8_t control = 1,
              int32_t time = 0) {
        SetWord(kMicrowireData, uint16_t(0x540 | left));
        SetWord(kMicrowireData, uint16_t(0x500 | right));
        SetAddress(kDmaSoundFrameStartHigh, start);
        SetAddress(kDmaSoundFrameEndHigh, end);
        SetByte(kDmaSoundMode + 1, mode);
        SetByte(kDmaSoundControl, control, time);
    }
    std::vector<int32_t> Frame(int count = 881) {
        std::vector<int32_t> mix(count);
        DmaSoundRender(dma, mix.data(), count);
        return mix;
    }
    uint32_t Counter(int32_t time = 0) {
        return Byte(kDmaSoundCounterHigh, time) << 16 | Byte(kDmaSoundCounterMiddle, time) << 8 |
               Byte(kDmaSoundCounterLow, time);
    }
};

// Every register byte, written as a byte or as a word: what the word reads afterwards, and the
// byte reads agree with it. The 8-bit registers sit on the low data lines, the counter is read
// only, the mode byte is 0xFF8921, and only a word sends a microwire command.
TEST(DmaSound, ByteAndWordAccessesReachEachRegisterAsOnTheSte) {
    struct Access {
        uint32_t address;
        bool word;
        uint16_t value;
        uint16_t wordAfter;
        uint8_t leftVolumeAfter = 0;
    };
    const Access accesses[] = {
        {0xFF8900, false, 0x02, 0xFF00},  {0xFF8901, false, 0x02, 0xFF02},
        {0xFF8900, true, 0x1202, 0xFF02}, {0xFF8902, false, 0x3A, 0xFF00},
        {0xFF8903, false, 0x3A, 0xFF3A},  {0xFF8904, true, 0xAB12, 0xFF12},
        {0xFF8907, false, 0x7E, 0xFF7E},  {0xFF8909, false, 0x12, 0xFF00},
        {0xFF890C, true, 0x0034, 0xFF00}, {0xFF890F, false, 0x21, 0xFF21},
        {0xFF8910, true, 0x5556, 0xFF56}, {0xFF8913, false, 0x78, 0xFF78},
        {0xFF8914, true, 0x1234, 0xFFFF}, {0xFF891F, false, 0x12, 0xFFFF},
        {0xFF8920, false, 0x81, 0x0000},  {0xFF8921, false, 0x81, 0x0081},
        {0xFF8920, true, 0x1283, 0x0083}, {0xFF8922, true, 0x0554, 0x0000, 20},
        {0xFF8923, false, 0x54, 0x0000},  {0xFF8922, false, 0x05, 0x0000},
        {0xFF8924, true, 0x07FF, 0x07FF}, {0xFF8924, false, 0x07, 0x0700},
        {0xFF8925, false, 0xF0, 0x00F0},  {0xFF8926, true, 0x1234, 0xFFFF},
        {0xFF8927, false, 0x12, 0xFFFF},
    };
    for (const Access& access : accesses) {
        SCOPED_TRACE(testing::Message() << std::hex << "0x" << access.address
                                        << (access.word ? " word 0x" : " byte 0x") << access.value);
        auto ste = std::make_unique<Ste>();
        if (access.word) {
            ste->SetWord(access.address, access.value);
        } else {
            ste->SetByte(access.address, uint8_t(access.value));
        }
        const uint32_t even = access.address & ~1u;
        EXPECT_EQ(ste->Word(even), access.wordAfter);
        EXPECT_EQ(ste->Byte(even), access.wordAfter >> 8);
        EXPECT_EQ(ste->Byte(even + 1), access.wordAfter & 0xFF);
        EXPECT_EQ(ste->dma.leftVolume, access.leftVolumeAfter);
    }

    auto ste = std::make_unique<Ste>();
    ste->SetWord(kMicrowireData, 0x050B);  // right, 11
    ste->SetWord(kMicrowireData, 0x04E8);  // master: not modelled
    EXPECT_EQ(ste->dma.rightVolume, 11);
    EXPECT_EQ(DmaSoundGain(31), 256);  // beyond 20 counts as 20
}

// A frame of L sample frames ends L ticks of the sample clock after it starts, at each rate in
// mono and stereo; meanwhile the counter reads the next sample frame at the access's cycle. At
// the end a pulse is owed to Timer A; without repeat the control bit clears then, with repeat the
// frame starts again from the start latched at that moment.
TEST(DmaSound, FramesEndOnTheCycleTheRateAndLengthGive) {
    struct Case {
        uint8_t mode;
        uint32_t bytes;
        int64_t divider;
    };
    const Case cases[] = {
        {0x80, 100, 8}, {0x01, 301, 4}, {0x82, 1999, 2}, {0x03, 1000, 1}, {0x83, 7, 1},
    };
    constexpr uint32_t kStart = 0x20000;
    constexpr int32_t kStartTime = 1001;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode 0x" << std::hex << int(c.mode) << std::dec << ", "
                                        << c.bytes << " bytes");
        const uint32_t width = (c.mode & kDmaSoundModeMono) ? 1 : 2;
        const int64_t samples = c.bytes / width;
        auto ste = std::make_unique<Ste>();
        ste->Play(kStart, kStart + c.bytes, c.mode, 20, 20, 1, kStartTime);
        const int32_t end = TickCycle(kStartTime, samples, c.divider);
        ASSERT_EQ(DmaSoundNextEventTime(ste->dma), end);
        EXPECT_EQ(ste->Counter(kStartTime), kStart + width) << "the first sample is out at once";
        const int32_t third = TickCycle(kStartTime, 3, c.divider);
        if (samples > 3) {
            EXPECT_EQ(ste->Counter(third - 1), kStart + 3 * width);
            EXPECT_EQ(ste->Counter(third), kStart + 4 * width);
        }
        DmaSoundAdvance(ste->dma, end - 1);
        EXPECT_FALSE(DmaSoundTakeEndPulse(ste->dma));
        EXPECT_EQ(ste->Byte(kDmaSoundControl, end - 1), 1);
        EXPECT_EQ(ste->Byte(kDmaSoundControl, end), 0) << "played once";
        EXPECT_TRUE(DmaSoundTakeEndPulse(ste->dma));
        EXPECT_FALSE(DmaSoundActive(ste->dma));
        EXPECT_EQ(DmaSoundNextEventTime(ste->dma), kDmaSoundNoEvent);
        EXPECT_EQ(ste->Counter(end + 5000), kStart + samples * width);

        // Repeating, with the next frame written while this one plays.
        auto repeating = std::make_unique<Ste>();
        repeating->Play(kStart, kStart + c.bytes, c.mode, 20, 20, 3, kStartTime);
        repeating->SetAddress(kDmaSoundFrameStartHigh, 0x30000);
        repeating->SetAddress(kDmaSoundFrameEndHigh, uint32_t(0x30000 + 2 * samples * width));
        DmaSoundAdvance(repeating->dma, end);
        EXPECT_TRUE(DmaSoundTakeEndPulse(repeating->dma));
        EXPECT_EQ(repeating->Byte(kDmaSoundControl, end), 3);
        EXPECT_EQ(repeating->Counter(end), 0x30000u + width);
        EXPECT_EQ(DmaSoundNextEventTime(repeating->dma),
                  TickCycle(kStartTime, 3 * samples, c.divider));
    }

    // A frame with nothing in it still takes one tick; stopping the sound ends no frame.
    auto ste = std::make_unique<Ste>();
    ste->Play(0x1000, 0x1000, 0x03, 20, 20, 3, 100);
    EXPECT_EQ(DmaSoundNextEventTime(ste->dma), TickCycle(100, 1, 1));
    ste->SetByte(kDmaSoundControl, 0, 120);
    EXPECT_FALSE(DmaSoundTakeEndPulse(ste->dma));
    EXPECT_EQ(DmaSoundNextEventTime(ste->dma), kDmaSoundNoEvent);
}

// Rate 3 in stereo: each output sample takes the pair the DAC held at its time, about 1,000.26
// pairs an emulated frame over 881 samples. Left at 20 and right at 0 plays only the left bytes,
// at (byte x 256) >> 1; mono plays its byte on both sides; started mid-frame, the frame is silent
// up to the start.
TEST(DmaSound, EachOutputSampleTakesTheSampleFramePlayingAtItsTime) {
    auto ste = std::make_unique<Ste>();
    for (uint32_t pair = 0; pair < 2400; ++pair) {
        ste->Poke(0x10000 + 2 * pair, int(pair % 101) - 50);
        ste->Poke(0x10000 + 2 * pair + 1, 127);  // right bytes: loud, and never heard
    }
    ste->Play(0x10000, 0x10000 + 4800, 0x03, 20, 0);
    auto pairAt = [](int64_t time) { return time * kDmaSoundClockHz / kDmaSoundMachineClockHz; };
    const std::vector<int32_t> first = ste->Frame();
    for (int sample = 0; sample < 881; ++sample) {
        const int64_t pair = pairAt(sample * int64_t(kDmaSoundFrameCycles) / 881);
        ASSERT_EQ(first[sample], ((int(pair % 101) - 50) * 256) >> 1) << sample;
    }
    EXPECT_EQ(ste->Frame()[0], ((int(pairAt(kDmaSoundFrameCycles) % 101) - 50) * 256) >> 1)
        << "the next frame goes on where this one ended";

    auto mono = std::make_unique<Ste>();
    for (uint32_t index = 0; index < 200; ++index) mono->Poke(0x2000 + index, int(index) - 100);
    constexpr int32_t kMidFrame = kDmaSoundFrameCycles / 2;
    mono->Play(0x2000, 0x2000 + 200, 0x80, 20, 20, 1, kMidFrame);  // rate 0: a byte every 8 ticks
    const std::vector<int32_t> half = mono->Frame();
    EXPECT_EQ(half[440], 0);
    EXPECT_EQ(half[441], -100 * 256);
    const int32_t lastSampleTime = 880 * kDmaSoundFrameCycles / 881;
    EXPECT_EQ(half[880], (int(pairAt(lastSampleTime - kMidFrame) / 8) - 100) * 256);

    // Past the fitted RAM there is nothing to fetch.
    auto small = std::make_unique<Ste>();
    small->memory.ramSize = 0x80000;  // 512 KB fitted
    for (uint32_t address = 0x7FF00; address < 0x81000; ++address) small->Poke(address, 50);
    small->Play(0x7FF00, 0x3FFFFF, 0x03, 20, 20);
    const std::vector<int32_t> mix = small->Frame(4096);
    EXPECT_EQ(mix[0], 50 * 256);
    EXPECT_EQ(mix[4095], 0);
}

TEST(DmaSound, PlayingOnceEndsInSilenceRepeatingTakesTheLatchedStart) {
    auto ste = std::make_unique<Ste>();
    for (uint32_t pair = 0; pair < 1500; ++pair) {
        ste->Poke(0x4000 + 2 * pair, 10);
        ste->Poke(0x8000 + 2 * pair, 20);
    }
    // 1,500 pairs without repeat: one frame and a half, then silence.
    ste->Play(0x4000, 0x4000 + 3000, 0x03, 20, 0);
    ste->Frame();
    const std::vector<int32_t> ending = ste->Frame();
    EXPECT_EQ(ending[400], 10 * 128);
    EXPECT_EQ(ending[500], 0);
    EXPECT_EQ(ste->Frame(), std::vector<int32_t>(881, 0));

    // With repeat, a frame start written while playing is taken when the frame repeats.
    ste->Play(0x4000, 0x4000 + 3000, 0x03, 20, 0, 3);
    ste->SetAddress(kDmaSoundFrameStartHigh, 0x8000);
    ste->SetAddress(kDmaSoundFrameEndHigh, 0x8000 + 3000);
    EXPECT_EQ(ste->Frame()[880], 10 * 128);
    const std::vector<int32_t> second = ste->Frame();
    EXPECT_EQ(second[400], 10 * 128);
    EXPECT_EQ(second[500], 20 * 128);
    EXPECT_EQ(ste->Byte(kDmaSoundControl), 3);
}

}  // namespace
}  // namespace orvet
