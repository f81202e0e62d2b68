// The STE DMA sound: its register page, the microwire volumes, and what it fetches from RAM at
// each rate, in mono and stereo, across frames and at the end of a sound frame.
#include "sound/dma_sound.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {
namespace {

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
    uint8_t Byte(uint32_t address) { return DmaSoundReadByte(dma, cpu, address, 0); }
    uint16_t Word(uint32_t address) { return DmaSoundReadWord(dma, cpu, address, 0); }
    void SetByte(uint32_t address, uint8_t value) {
        DmaSoundWriteByte(dma, cpu, address, value, 0);
    }
    void SetWord(uint32_t address, uint16_t value) {
        DmaSoundWriteWord(dma, cpu, address, value, 0);
    }
    void SetAddress(uint32_t highRegister, uint32_t address) {
        for (int byte = 0; byte < 3; ++byte)
            SetByte(highRegister + 2 * byte, uint8_t(address >> (16 - 8 * byte)));
    }
    // Volumes, frame, mode, then the control, as programs do.
    void Play(uint32_t start, uint32_t end, uint16_t mode, int left, int right,
              uint8_t control = 1) {
        SetWord(kMicrowireData, uint16_t(0x540 | left));
        SetWord(kMicrowireData, uint16_t(0x500 | right));
        SetAddress(kDmaSoundFrameStartHigh, start);
        SetAddress(kDmaSoundFrameEndHigh, end);
        SetWord(kDmaSoundMode, mode);
        SetByte(kDmaSoundControl, control);
    }
    std::vector<int32_t> Frame(int count = 881) {
        std::vector<int32_t> mix(count);
        DmaSoundRender(dma, mix.data(), count);
        return mix;
    }
    uint32_t Counter() {
        return Byte(kDmaSoundCounterHigh) << 16 | Byte(kDmaSoundCounterMiddle) << 8 |
               Byte(kDmaSoundCounterLow);
    }
};

TEST(DmaSound, RegisterPageAndMicrowireVolumes) {
    auto ste = std::make_unique<Ste>();
    EXPECT_EQ(ste->Word(0xFF8900), 0xFF00);  // control 0; even bytes read all ones
    EXPECT_EQ(ste->Word(0xFF891E), 0xFFFF);
    ste->SetByte(0xFF8921, 0x81);  // byte writes to the mode leave it alone
    EXPECT_EQ(ste->Word(kDmaSoundMode), 0x0000);
    ste->SetWord(kDmaSoundMode, 0x0083);
    EXPECT_EQ(ste->Word(kDmaSoundMode), 0x0083);
    ste->SetByte(0xFF8902, 0x12);  // even byte: ignored
    ste->SetByte(kDmaSoundFrameStartHigh, 0x3A);
    EXPECT_EQ(ste->Word(0xFF8902), 0xFF3A);

    ste->SetWord(kMicrowireData, 0x0554);  // left, 20
    ste->SetWord(kMicrowireData, 0x050B);  // right, 11
    ste->SetWord(kMicrowireData, 0x04E8);  // master: not modelled
    ste->SetByte(0xFF8923, 0x41);          // bytes send nothing
    EXPECT_EQ(ste->dma.leftVolume, 20);
    EXPECT_EQ(ste->dma.rightVolume, 11);
    EXPECT_EQ(ste->Word(kMicrowireData), 0x0000);
    EXPECT_EQ(DmaSoundGain(31), 256);  // beyond 20 counts as 20
}

// Rate 3 in stereo: 1,001 pairs an emulated frame over 881 samples, step 74,462, the nearest
// earlier pair. Left at 20 and right at 0 plays only the left bytes, at (byte x 256) >> 1.
TEST(DmaSound, FiftyKilohertzStereoReadsAThousandAndOnePairsAFrame) {
    auto ste = std::make_unique<Ste>();
    for (uint32_t pair = 0; pair < 2400; ++pair) {
        ste->Poke(0x10000 + 2 * pair, int(pair % 101) - 50);
        ste->Poke(0x10000 + 2 * pair + 1, 127);  // right bytes: loud, and never heard
    }
    ste->Play(0x10000, 0x10000 + 4800, 0x0003, 20, 0);
    const std::vector<int32_t> first = ste->Frame();
    for (uint32_t sample = 0; sample < 881; ++sample) {
        ASSERT_EQ(first[sample], ((int((sample * 74462 >> 16) % 101) - 50) * 256) >> 1) << sample;
    }
    // The next frame goes on from pair 1,000 and a fraction, where this one ended.
    EXPECT_EQ(ste->Counter(), 0x10000u + 2000);
    EXPECT_EQ(ste->Frame()[0], ((int(1000 % 101) - 50) * 256) >> 1);
}

TEST(DmaSound, MonoIsAsLoudAsStereoAndNothingComesFromBeyondRam) {
    auto ste = std::make_unique<Ste>();
    for (uint32_t index = 0; index < 200; ++index) ste->Poke(0x2000 + index, int(index) - 100);
    ste->Play(0x2000, 0x2000 + 200, 0x0080, 20, 20);  // rate 0: 125 bytes a frame
    const std::vector<int32_t> mono = ste->Frame();
    for (uint32_t sample = 0; sample < 881; ++sample) {
        ASSERT_EQ(mono[sample], (int((sample * ((125u << 16) / 881)) >> 16) - 100) * 256);
    }

    auto small = std::make_unique<Ste>();
    small->memory.ramSize = 0x80000;  // 512 KB fitted
    for (uint32_t address = 0x7FF00; address < 0x81000; ++address) small->Poke(address, 50);
    small->Play(0x7FF00, 0x3FFFFF, 0x0003, 20, 20);
    const std::vector<int32_t> mix = small->Frame(4096);
    EXPECT_EQ(mix[0], 50 * 256);
    EXPECT_EQ(mix[4095], 0);  // past the fitted RAM
}

TEST(DmaSound, AFrameEndsStoppingOrRepeatingFromTheLatchedStart) {
    auto ste = std::make_unique<Ste>();
    for (uint32_t pair = 0; pair < 1500; ++pair) {
        ste->Poke(0x4000 + 2 * pair, 10);
        ste->Poke(0x8000 + 2 * pair, 20);
    }
    // 1,500 pairs without repeat: one frame and a half, then the control bit clears.
    ste->Play(0x4000, 0x4000 + 3000, 0x0003, 20, 0);
    ste->Frame();
    const std::vector<int32_t> ending = ste->Frame();
    EXPECT_EQ(ending[400], 10 * 128);
    EXPECT_EQ(ending[500], 0);
    EXPECT_EQ(ste->Byte(kDmaSoundControl), 0);
    EXPECT_EQ(ste->Counter(), 0x4000u + 3000);
    EXPECT_EQ(ste->Frame(), std::vector<int32_t>(881, 0));

    // With repeat, a frame start written while playing is taken when the frame repeats.
    ste->Play(0x4000, 0x4000 + 3000, 0x0003, 20, 0, 3);
    ste->SetAddress(kDmaSoundFrameStartHigh, 0x8000);
    ste->SetAddress(kDmaSoundFrameEndHigh, 0x8000 + 3000);
    EXPECT_EQ(ste->Frame()[880], 10 * 128);
    const std::vector<int32_t> second = ste->Frame();
    EXPECT_EQ(second[400], 10 * 128);
    EXPECT_EQ(second[500], 20 * 128);
    EXPECT_EQ(ste->Byte(kDmaSoundControl), 3);

    ste->Play(0x1000, 0x1000, 0x0003, 20, 20, 3);  // an empty repeating frame: silence
    ste->SetByte(kDmaSoundControl, 0);
    ste->SetByte(kDmaSoundControl, 3);
    EXPECT_EQ(ste->Frame(), std::vector<int32_t>(881, 0));
}

}  // namespace
}  // namespace orvet
