#include "sound/ym2149.h"

#include <gtest/gtest.h>

#include <memory>

#include "cpu/cpu.h"

namespace orvet {
namespace {

struct Chip {
    Ym2149 ym;
    CpuState cpu;

    void Write(uint32_t address, uint8_t value, int32_t cycle = 0) {
        YmWriteByte(ym, cpu, address, value, cycle);
    }
    uint8_t Read(uint32_t address) { return YmReadByte(ym, cpu, address, 0); }
};

TEST(Ym2149Registers, SelectWriteAndReadBackMirroredEveryFourBytes) {
    auto chip = std::make_unique<Chip>();
    chip->Write(0xFF8800, 3);
    chip->Write(0xFF8802, 0xAB);
    EXPECT_EQ(chip->ym.registers[3], 0xAB);  // stored unmasked
    EXPECT_EQ(chip->Read(0xFF8800), 0xAB);
    EXPECT_EQ(chip->Read(0xFF8802), 3);  // the select latch
    // The same chip at the far end of the page.
    chip->Write(0xFF88FC, 7);
    chip->Write(0xFF88FE, 0x3F);
    EXPECT_EQ(chip->ym.registers[7], 0x3F);
    EXPECT_EQ(chip->Read(0xFF8804), 0x3F);
    // Odd bytes are not driven and take nothing.
    chip->Write(0xFF8801, 1);
    chip->Write(0xFF8803, 0x55);
    EXPECT_EQ(chip->ym.select, 7);
    EXPECT_EQ(chip->ym.registers[7], 0x3F);
    EXPECT_EQ(chip->Read(0xFF8801), 0xFF);
    EXPECT_EQ(chip->Read(0xFF88FF), 0xFF);
    EXPECT_TRUE(YmHasRegister(0xFF8800));
    EXPECT_TRUE(YmHasRegister(0xFFFF88FF));
    EXPECT_FALSE(YmHasRegister(0xFF8900));
    EXPECT_FALSE(YmHasRegister(0xFF87FF));
}

TEST(Ym2149Registers, WordAccessesGoThroughTheHighByte) {
    auto chip = std::make_unique<Chip>();
    YmWriteWord(chip->ym, chip->cpu, 0xFF8800, 0x0912, 0);  // select 9
    YmWriteWord(chip->ym, chip->cpu, 0xFF8806, 0x0E34, 0);  // data 0x0E
    EXPECT_EQ(chip->ym.registers[9], 0x0E);
    EXPECT_EQ(YmReadWord(chip->ym, chip->cpu, 0xFF8800, 0), 0x0EFF);
    EXPECT_EQ(YmReadWord(chip->ym, chip->cpu, 0xFF8802, 0), 0x09FF);
    chip->Write(0xFF8800, 0x10);
    EXPECT_EQ(YmReadWord(chip->ym, chip->cpu, 0xFF8800, 0), 0xFFFF);
    EXPECT_EQ(YmReadWord(chip->ym, chip->cpu, 0xFF8802, 0), 0x10FF);
}

TEST(Ym2149Registers, SelectBeyondFifteenStoresAndLogsNothing) {
    auto chip = std::make_unique<Chip>();
    chip->ym.registers.fill(0x11);
    for (uint8_t select : {uint8_t{16}, uint8_t{0x1E}, uint8_t{0xFF}}) {
        chip->Write(0xFF8800, select);
        EXPECT_EQ(chip->ym.select, select);  // the whole byte is latched
        chip->Write(0xFF8802, 0x77);
        EXPECT_EQ(chip->Read(0xFF8800), 0xFF);
    }
    for (uint8_t value : chip->ym.registers) EXPECT_EQ(value, 0x11);
    EXPECT_EQ(chip->ym.soundLog.count, 0u);
}

TEST(SoundRegisterLog, DeltasAcrossAFrameAndItsRestart) {
    auto chip = std::make_unique<Chip>();
    chip->Write(0xFF8800, 8);
    chip->Write(0xFF8802, 15, 1000);
    chip->Write(0xFF8802, 7, 1400);
    chip->Write(0xFF8800, 14);
    chip->Write(0xFF8802, 0x25, 80000);
    SoundLogClose(chip->ym.soundLog);
    auto entries = SoundLogEntries(chip->ym.soundLog);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].cyclesSincePrevious, 1000u);
    EXPECT_EQ(entries[0].registerNumber, 8u);
    EXPECT_EQ(entries[0].value, 15u);
    EXPECT_EQ(entries[1].cyclesSincePrevious, 400u);
    EXPECT_EQ(entries[2].cyclesSincePrevious, 78600u);
    EXPECT_EQ(entries[2].registerNumber, 14u);
    EXPECT_EQ(chip->ym.soundLog.entries[3].cyclesSincePrevious, kSoundLogEndMark);

    // The next frame counts from its own start; a time earlier than the last entry never wraps.
    SoundLogRestart(chip->ym.soundLog);
    chip->Write(0xFF8802, 1, 500);
    chip->Write(0xFF8802, 2, 300);
    entries = SoundLogEntries(chip->ym.soundLog);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].cyclesSincePrevious, 500u);
    EXPECT_EQ(entries[1].cyclesSincePrevious, 0u);
}

TEST(SoundRegisterLog, FullLogDropsWritesButKeepsTheRegisterAndRoomForTheEndMark) {
    auto chip = std::make_unique<Chip>();
    SoundRegisterLog& log = chip->ym.soundLog;
    chip->Write(0xFF8800, 10);
    for (uint32_t i = 0; i < kSoundLogCapacity; ++i) {
        chip->Write(0xFF8802, static_cast<uint8_t>(i), static_cast<int32_t>(i));
    }
    EXPECT_EQ(log.count, kSoundLogCapacity);
    EXPECT_EQ(log.droppedWrites, 0u);
    chip->Write(0xFF8802, 0xEE, 200000);
    EXPECT_EQ(log.count, kSoundLogCapacity);
    EXPECT_EQ(log.droppedWrites, 1u);
    EXPECT_EQ(chip->ym.registers[10], 0xEE);
    SoundLogClose(log);
    EXPECT_EQ(log.entries.size(), kSoundLogCapacity + 1);
    EXPECT_EQ(log.entries[kSoundLogCapacity].cyclesSincePrevious, kSoundLogEndMark);
}

TEST(Ym2149Reset, SilencesTheSynthesiserAndKeepsTheRegisterFile) {
    EXPECT_EQ(kYmVolumeTable[0], 41);
    EXPECT_EQ(kYmVolumeTable[7], 1050);
    EXPECT_EQ(kYmVolumeTable[15], 21844);
    EXPECT_LE(3 * kYmVolumeTable[15], 65532);

    auto chip = std::make_unique<Chip>();
    chip->Write(0xFF8800, 14);
    chip->Write(0xFF8802, 0x05);
    chip->ym.synth.mixer = 0;
    chip->ym.synth.mixerMasks.fill(0);
    chip->ym.synth.volumes = {15, 16, 3};
    chip->ym.synth.fixedLevels = {1, 2, 3};
    chip->ym.synth.noiseLevel = 0;
    chip->ym.synth.noiseShiftRegister = 0x1234;
    YmReset(chip->ym);
    const YmSynthResetState fresh;
    EXPECT_EQ(chip->ym.synth.mixer, 127);
    EXPECT_EQ(chip->ym.synth.mixerMasks, fresh.mixerMasks);
    EXPECT_EQ(chip->ym.synth.volumes, fresh.volumes);
    EXPECT_EQ(chip->ym.synth.fixedLevels, fresh.fixedLevels);
    EXPECT_EQ(chip->ym.synth.noiseLevel, 0xFFFF);
    EXPECT_EQ(chip->ym.synth.noiseShiftRegister, 1u);
    EXPECT_EQ(chip->ym.registers[14], 0x05);
    EXPECT_EQ(chip->ym.select, 14);
}

TEST(Ym2149PortA, FloppyLinesAreActiveLow) {
    auto chip = std::make_unique<Chip>();
    chip->Write(0xFF8800, kYmPortARegister);
    chip->Write(0xFF8802, 0x05);  // bit 0 high: side 0; bit 1 low: drive A; bit 2 high
    EXPECT_EQ(YmPortA(chip->ym), 0x05);
    EXPECT_EQ(YmFloppySide(chip->ym), 0);
    EXPECT_TRUE(YmFloppyDriveSelected(chip->ym, 0));
    EXPECT_FALSE(YmFloppyDriveSelected(chip->ym, 1));
    EXPECT_FALSE(YmFloppyDriveSelected(chip->ym, 2));
    chip->Write(0xFF8802, 0x02);
    EXPECT_EQ(YmFloppySide(chip->ym), 1);
    EXPECT_FALSE(YmFloppyDriveSelected(chip->ym, 0));
    EXPECT_TRUE(YmFloppyDriveSelected(chip->ym, 1));
}

}  // namespace
}  // namespace orvet
