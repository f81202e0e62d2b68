// The frame's mix: the smoothing filter across frame boundaries, clipping, and the settings that
// switch each source on and off.
#include "sound/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "cpu/cpu.h"
#include "machine/memory.h"

namespace orvet {
namespace {

TEST(SoundMixer, FilterSmoothsAcrossFramesEvenOneSampleLongAndClips) {
    SoundFilter filter;
    std::vector<int16_t> out(4);
    const int32_t impulse[] = {0, 0, 0, 400};
    FilterAndClip(filter, impulse, 4, out.data());
    EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 0, 100}));
    // One-sample frames still get the impulse's tail, from both remembered values.
    for (int16_t expected : {200, 100, 0}) {
        const int32_t zero = 0;
        FilterAndClip(filter, &zero, 1, out.data());
        EXPECT_EQ(out[0], expected);
    }
    const int32_t loud[] = {-3, 200000, 200000, -200000, -200000, -200000};
    out.resize(6);
    FilterAndClip(filter, loud, 6, out.data());
    EXPECT_EQ(out, (std::vector<int16_t>{-1, 32767, 32767, 32767, -32768, -32768}));
}

struct Mixer {
    SoundChips chips;
    DriveSoundPlayer driveSounds;
    Ym2149 ym;
    CpuState cpu;
    MachineMemory memory;
    std::vector<int16_t> out = std::vector<int16_t>(kMaxSamplesPerFrame);

    Mixer() {
        YmReset(ym);
        memory.block.reset(new uint8_t[kMachineMemorySize]());
        memory.ramBase = memory.block.get();
        memory.ramSize = kRamAreaSize;
        chips.dmaSound.memory = &memory;
    }
    void WriteYm(uint8_t registerNumber, uint8_t value) {
        YmWriteByte(ym, cpu, 0xFF8800, registerNumber, 0);
        YmWriteByte(ym, cpu, 0xFF8802, value, 0);
    }
    int Frame(const SoundSettings& settings, int count = 881) {
        SoundLogClose(ym.soundLog);
        const int made = SoundFrame(chips, ym, driveSounds, settings, count, out.data());
        SoundLogRestart(ym.soundLog);
        return made;
    }
    // From the third sample: the first two still carry the last frame's tail through the filter.
    bool Silent(int count = 881) const {
        return std::all_of(out.begin() + 2, out.begin() + count, [](int16_t s) { return s == 0; });
    }
    // 50 kHz stereo bytes of one value, both sides at full volume.
    void StartDmaSound(int8_t value) {
        std::fill_n(memory.ramBase + 0x1000, 0x8000, uint8_t(value));
        DmaSoundWriteWord(chips.dmaSound, cpu, kMicrowireData, 0x0554, 0);
        DmaSoundWriteWord(chips.dmaSound, cpu, kMicrowireData, 0x0514, 0);
        DmaSoundWriteByte(chips.dmaSound, cpu, kDmaSoundFrameStartMiddle, 0x10, 0);
        DmaSoundWriteByte(chips.dmaSound, cpu, kDmaSoundFrameEndMiddle, 0x90, 0);
        DmaSoundWriteWord(chips.dmaSound, cpu, kDmaSoundMode, 0x0003, 0);
        DmaSoundWriteByte(chips.dmaSound, cpu, kDmaSoundControl, 1, 0);
    }
};

TEST(SoundMixer, SourcesSwitchedOffAreSilentButTheirChipsGoOn) {
    auto mixer = std::make_unique<Mixer>();
    // The YM2149 off: silent, yet its writes are taken and heard once it is back on.
    mixer->WriteYm(0, 100);
    mixer->WriteYm(8, 15);
    mixer->WriteYm(7, 0x3E);
    mixer->Frame({.YMSound = false, .DiskSound = false, .bDacSound = false});
    EXPECT_TRUE(mixer->Silent());
    mixer->Frame({.YMSound = true, .DiskSound = false, .bDacSound = false});
    EXPECT_EQ(*std::max_element(mixer->out.begin(), mixer->out.begin() + 881), 10922);

    // Drive noise with ultra-fast floppy timing: silent, and the clip does not move on.
    StartDriveSound(mixer->driveSounds, DriveClip::SpinUp);
    mixer->Frame({.YMSound = false, .DiskSound = true, .bDacSound = false, .FastDisk = true});
    EXPECT_TRUE(mixer->Silent());
    EXPECT_EQ(mixer->driveSounds.positions[size_t(DriveClip::SpinUp)], 0);
    mixer->Frame({.YMSound = false, .DiskSound = true, .bDacSound = false}, 600);
    EXPECT_FALSE(mixer->Silent(600));
    EXPECT_EQ(mixer->driveSounds.positions[size_t(DriveClip::SpinUp)], 600);

    // DMA sound unheard still fetches on.
    mixer->StartDmaSound(40);
    mixer->Frame({.YMSound = false, .DiskSound = false, .bDacSound = false});
    EXPECT_TRUE(mixer->Silent());
    EXPECT_EQ(mixer->chips.dmaSound.fetchAddress, 0x1000u + 2002);  // 1,001 ticks at 50,066 Hz
    mixer->Frame({.YMSound = false, .DiskSound = false, .bDacSound = true});
    EXPECT_EQ(mixer->out[100], 40 * 256);
}

TEST(SoundMixer, AllThreeTogetherClipAndCountsOutOfRangeAreHeld) {
    auto mixer = std::make_unique<Mixer>();
    mixer->WriteYm(0, 50);
    mixer->WriteYm(8, 15);
    mixer->WriteYm(7, 0x3E);
    mixer->StartDmaSound(127);
    StartDriveSound(mixer->driveSounds, DriveClip::LongSeek);
    EXPECT_EQ(mixer->Frame({}, 5000), kMaxSamplesPerFrame);
    // +-10,922 of square wave over 32,512 of DMA sound, with the seek's clicks on top.
    EXPECT_EQ(*std::max_element(mixer->out.begin(), mixer->out.end()), 32767);
    EXPECT_GT(*std::min_element(mixer->out.begin(), mixer->out.end()), 0);
    mixer->WriteYm(0, 77);
    EXPECT_EQ(mixer->Frame({}, 0), 0);
    EXPECT_EQ(mixer->chips.ymSynth.toneFine[0], 77);  // taken though nothing was heard
    EXPECT_EQ(mixer->Frame({}, -5), 0);
}

}  // namespace
}  // namespace orvet
