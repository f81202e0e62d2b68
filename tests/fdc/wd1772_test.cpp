#include "fdc/wd1772.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "disk/disk_image.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/status_messages.h"
#include "sound/drive_sounds.h"
#include "sound/ym2149.h"

namespace orvet {
namespace {

constexpr uint32_t kDataAccess = 0xFF8604, kDmaMode = 0xFF8606;
constexpr uint16_t kCommand = 0x80, kTrack = 0x82, kSector = 0x84, kData = 0x86, kCount = 0x90;
constexpr int32_t kStart = 1000;  // the fake 'now' of most commands
constexpr int32_t kNever = -1;
// Port A, select lines active low: bit 0 side 0, bit 1 drive A, bit 2 drive B.
constexpr uint8_t kDriveASide0 = 0x05, kDriveASide1 = 0x04, kDriveB = 0x03, kNoDrive = 0x07;

// Each sector starts with its own track, side and number, then a pattern of its own.
uint8_t SectorByte(int track, int side, int sector, int index) {
    const int head[3] = {track, side, sector};
    return uint8_t(index < 3 ? head[index] : index * 3 + track * 7 + side * 5 + sector);
}

// An image in the machine's word-swapped layout.
DiskImage MakeDisk(int tracks, int sides, int sectors) {
    DiskImage disk;
    disk.tracks = tracks;
    disk.sides = sides;
    disk.sectors = sectors;
    for (int track = 0; track < tracks; ++track) {
        for (int side = 0; side < sides; ++side) {
            for (int sector = 1; sector <= sectors; ++sector) {
                const size_t start = disk.data.size();
                disk.data.resize(start + 512);
                for (int i = 0; i < 512; ++i) {
                    disk.data[(start + i) ^ 1] = SectorByte(track, side, sector, i);
                }
            }
        }
    }
    return disk;
}

struct FdcTest : ::testing::Test {
    MachineMemory memory;
    Mfp mfp;
    Ym2149 ym;
    DiskImage disk = MakeDisk(10, 2, 9);
    StatusMessages messages;
    DriveSoundPlayer sounds;
    CpuState cpu;
    Fdc fdc;

    void SetUp() override {
        ASSERT_TRUE(CreateMachineMemory(memory, IoHandlers{}));
        std::memset(memory.ramBase, 0xEE, kRamAreaSize);
        OpenStartupStatusSlots(messages);
        Select(kDriveASide0);
        FdcConnect(fdc, &memory, &mfp, &ym, &disk, &messages, &sounds);
    }
    void Select(uint8_t portA) { ym.registers[kYmPortARegister] = portA; }
    void Set(uint16_t mode, uint16_t value, int32_t now = kStart) {
        FdcWriteWord(fdc, cpu, kDmaMode, mode, now);
        FdcWriteWord(fdc, cpu, kDataAccess, value, now);
    }
    uint16_t Get(uint16_t mode, int32_t now = 0) {
        FdcWriteWord(fdc, cpu, kDmaMode, mode, 0);
        return FdcReadWord(fdc, cpu, kDataAccess, now);
    }
    void SetDmaAddress(uint32_t address) {
        for (int shift : {16, 8, 0}) {
            FdcWriteByte(fdc, cpu, 0xFF860D - shift / 4, uint8_t(address >> shift), 0);
        }
    }
    // Inside a processor slice: true when the command ended it.
    bool CommandEndsSlice(uint8_t command, int32_t now = kStart) {
        cpu.runFlags = kRunInProgress;
        cpu.budget = 1000;
        Set(kCommand, command, now);
        cpu.runFlags = 0;
        return cpu.budget == 0;
    }
    bool Fire() { return FdcFireEvent(fdc, cpu, FdcEventTime(fdc)); }
    // Fires the events in their order until one raises the interrupt: its time, or kNever when
    // none does up to `horizon`.
    int32_t RunToInterrupt(int32_t horizon = kStart + 40 * kFdcRevolutionCycles) {
        for (int32_t due = FdcEventTime(fdc); due <= horizon; due = FdcEventTime(fdc)) {
            if (FdcFireEvent(fdc, cpu, due)) return due;
        }
        return kNever;
    }
    bool LineHigh() const { return mfp.registers.generalPurposeIo & (1 << kMfpGpipFloppy); }
    uint8_t RamByte(uint32_t address) const { return memory.ramBase[address ^ 1]; }
    bool RamHoldsSector(uint32_t address, int track, int side, int sector) const {
        for (int i = 0; i < 512; ++i) {
            if (RamByte(address + i) != SectorByte(track, side, sector, i)) return false;
        }
        return true;
    }
    // The motor running on track 0, its stop far off.
    void SpinUp() {
        Set(kCommand, 0x03, 0);
        ASSERT_NE(RunToInterrupt(), kNever);
        mfp.registers.generalPurposeIo |= 1 << kMfpGpipFloppy;
    }
};

TEST_F(FdcTest, RestoreFromTrack40WithTheMotorOffThenTheMotorStops) {
    Set(kTrack, 40);
    EXPECT_TRUE(CommandEndsSlice(0x03));  // 3 ms steps
    const int32_t done = kStart + 9'600'000 + 40 * 24'000 + 120'000;
    EXPECT_EQ(Get(kCommand), 0x85);  // the register shows track 0 at once
    EXPECT_EQ(Get(kTrack), 0);
    EXPECT_TRUE(LineHigh());
    EXPECT_EQ(sounds.current, DriveClip::SpinUp);  // took over from the long seek at once
    EXPECT_FALSE(FdcFireEvent(fdc, cpu, done - 120'001));
    EXPECT_EQ(FdcEventTime(fdc), done - 120'000);  // the head reaches track 0, then settles
    EXPECT_EQ(RunToInterrupt(), done);
    EXPECT_EQ(Get(kCommand), 0xA4);
    EXPECT_FALSE(LineHigh());
    EXPECT_EQ(FdcEventTime(fdc), done + 14'400'000);

    // The motor is up to speed for the next command, which replaces the motor-off event.
    EXPECT_TRUE(CommandEndsSlice(0x13, done + 10));  // Seek to the current track
    EXPECT_EQ(Get(kCommand), 0xA5);
    EXPECT_EQ(FdcEventTime(fdc), done + 10 + 120'000);
    EXPECT_EQ(sounds.current, DriveClip::SpinUp);  // no step, no step sound
    EXPECT_TRUE(Fire());
    EXPECT_FALSE(Fire());
    EXPECT_EQ(Get(kCommand), 0x04);  // the motor is off; the track-0 line still shows
    EXPECT_FALSE(fdc.controller.motorOn);
    EXPECT_EQ(sounds.current, DriveClip::MotorStop);
    EXPECT_EQ(FdcEventTime(fdc), kFdcNoEvent);
    const int32_t idleTime = fdc.controller.eventTime;  // an idle controller is not rebased
    FdcRebase(fdc, 160'256);
    EXPECT_EQ(fdc.controller.eventTime, idleTime);
}

TEST_F(FdcTest, SeekAndStepsMoveTheHeadAndRememberTheDirection) {
    SpinUp();
    Set(kData, 3);
    Set(kCommand, 0x10);
    EXPECT_EQ(FdcEventTime(fdc), kStart + 3 * 48'000 + 120'000);
    EXPECT_EQ(sounds.current, DriveClip::ShortStep);
    FdcRebase(fdc, 160'256);
    EXPECT_EQ(FdcEventTime(fdc), kStart + 3 * 48'000 + 120'000 - 160'256);
    Fire();
    Set(kCommand, 0x22);  // Step: inward, as the Seek went
    EXPECT_EQ(FdcEventTime(fdc), kStart + 16'000);
    Fire();
    EXPECT_EQ(Get(kTrack), 4);
    for (int step = 0; step < 6; ++step) {
        Set(kCommand, step < 5 ? 0x60 : 0x20);  // Step Out past track 0, then Step the same way
        Fire();
    }
    EXPECT_EQ(fdc.controller.track, -2);
    EXPECT_EQ(Get(kCommand), 0xA4);  // the head rests against the stop at track 0
    Set(kCommand, 0x00);             // Restore finds the head at track 0 already
    EXPECT_EQ(RunToInterrupt(), kStart + 120'000);
    Set(kData, 0xFFFF);  // timed as the chip's 255 steps at most
    Set(kCommand, 0x11);
    EXPECT_EQ(FdcEventTime(fdc), kStart + 255 * 96'000 + 120'000);
    EXPECT_EQ(sounds.current, DriveClip::LongSeek);
}

// What each command does on drive A with a disk, on drive A empty, and with no drive answering
// (drive B, which the machine lacks, or none): the interrupt, the status, the index bit, the
// motor and the noises. The commands say the motor is up to speed (bit 3), so they start at once;
// with FastDisk they do not, and what completes still completes 1,024 cycles after the command.
TEST_F(FdcTest, EachCommandAnswersAsTheDriveOnTheSelectLines) {
    enum Drive { kDisk, kEmpty, kNone };
    struct Outcome {
        int32_t cycles;   // from the command to the interrupt, or kNever
        uint16_t status;  // then (the index bit left out), or while the chip waits
    };
    struct Row {
        uint8_t command;
        int32_t track, sector;
        Outcome byDrive[3];
    };
    constexpr int32_t kStep = 24'000, kRestore = 5 * kStep + 120'000, kSeek = 2 * kStep + 120'000;
    constexpr Outcome kHung{kNever, 0x81}, kNotFound{6'400'000, 0x90}, kRefused{1024, 0xC0};
    const Row rows[] = {
        {0x0B, 5, 1, {{kRestore, 0xA4}, {kRestore, 0xE4}, {255 * kStep, 0xB0}}},  // Restore
        {0x1B, 5, 1, {{kSeek, 0xA0}, {kSeek, 0xE0}, {kSeek, 0xA0}}},              // Seek to 7
        {0x6B, 1, 1, {{kStep, 0xA4}, {kStep, 0xE4}, {kStep, 0xA0}}},              // Step Out
        {0x88, 0, 1, {{160'000, 0x80}, kHung, kHung}},                            // Read Sector
        {0x88, 0, 10, {kNotFound, kHung, kHung}},
        {0x88, 0, 0, {kNotFound, kHung, kHung}},
        {0x88, -1, 1, {kNotFound, kHung, kHung}},          // no ID field shows track -1
        {0xC8, 0, 1, {{1024, 0xA0}, kHung, kHung}},        // Read Address
        {0xE8, 0, 1, {{1024, 0xA0}, kHung, kHung}},        // Read Track
        {0xA8, 0, 1, {{160'000, 0x80}, kRefused, kHung}},  // Write Sector (the DMA reads)
        {0xF8, 0, 1, {kRefused, kRefused, kHung}},         // Write Track: no track came
    };
    DiskImage ejected = MakeDisk(10, 2, 9), neverInserted;
    ejected.data.clear();  // the geometry stays, the disk is gone
    const struct {
        uint8_t portA;
        DiskImage* image;
        Drive drive;
    } cases[] = {{kDriveASide0, &disk, kDisk},     {0x01, &disk, kDisk},  // A and B
                 {kDriveASide0, &ejected, kEmpty}, {kDriveASide1, &neverInserted, kEmpty},
                 {kDriveB, &disk, kNone},          {kNoDrive, &disk, kNone}};
    const std::vector<uint8_t> before = disk.data;
    for (bool fast : {false, true}) {
        for (const auto& drive : cases) {
            for (const Row& row : rows) {
                SCOPED_TRACE(testing::Message() << "port A " << int(drive.portA) << ", command "
                                                << std::hex << int(row.command) << ", " << fast);
                fdc = Fdc{};
                fdc.fastDisk = fast;
                FdcConnect(fdc, &memory, &mfp, &ym, drive.image, &messages, &sounds);
                sounds = DriveSoundPlayer{};
                Select(drive.portA);
                Set(kCount, 1);
                SetDmaAddress(0x10000);
                Set(kData, 7);
                Set(kSector, uint16_t(row.sector));
                fdc.controller.track = row.track;
                Set(kCommand, fast ? row.command & ~0x08 : row.command);
                EXPECT_TRUE(LineHigh());
                const Outcome& expected = row.byDrive[drive.drive];
                const int32_t interrupt = RunToInterrupt();
                const int32_t cycles = fast && expected.cycles != kNever ? 1024 : expected.cycles;
                EXPECT_EQ(interrupt, cycles == kNever ? kNever : kStart + cycles);
                const int32_t now = interrupt == kNever ? kStart + 9'600'000 : interrupt;
                EXPECT_EQ(Get(kCommand, now) & ~kFdcStatusIndex, expected.status);
                EXPECT_EQ(LineHigh(), interrupt == kNever);
                uint32_t indexSeen = 0;
                for (int32_t angle = 0; angle < kFdcRevolutionCycles; angle += 8'000) {
                    indexSeen |= Get(kCommand, now + angle) & kFdcStatusIndex;
                }
                EXPECT_EQ(indexSeen != 0, drive.drive == kDisk && row.command < 0x80);
                EXPECT_EQ(sounds.current != DriveClip::None, drive.drive == kDisk);

                // A hung command waits for Force Interrupt, which ends it without an interrupt.
                if (interrupt == kNever) {
                    Set(kCommand, 0x10, now);  // ignored while busy
                    Set(kCommand, 0xD0, now);
                    EXPECT_EQ(Get(kCommand, now), 0x80);
                    EXPECT_EQ(RunToInterrupt(now + 40 * kFdcRevolutionCycles), kNever);
                    EXPECT_TRUE(LineHigh());
                }
                // The motor stops after nine revolutions of index pulses: never without them.
                FdcFireEvent(fdc, cpu, now + 20 * kFdcRevolutionCycles);
                EXPECT_EQ(fdc.controller.motorOn, drive.drive != kDisk);
                const bool read = drive.drive == kDisk && row.command == 0x88 && row.sector == 1;
                EXPECT_EQ(RamByte(0x10000) != 0xEE, read && row.track == 0);
                std::memset(memory.ramBase + 0x10000, 0xEE, 512);
            }
        }
    }
    EXPECT_EQ(disk.data, before);
    Select(kDriveASide0);
    for (uint8_t command : {0xA8, 0xE8, 0xF8}) {
        Set(kCommand, command);
        RunToInterrupt();
        EXPECT_EQ(messages.slots[0].text, command == 0xA8   ? "FDC WRITE SECTOR"
                                          : command == 0xE8 ? "FDC READ TRACK"
                                                            : "FDC WRITE TRACK");
    }
}

// Bit 3 says the motor is up to speed: the chip does not wait for it, but the motor line still
// rises, and the next command without the bit finds the motor on.
TEST_F(FdcTest, ASpinUpFlaggedCommandStillTurnsTheMotorOn) {
    Set(kCommand, 0x18);  // Seek
    EXPECT_TRUE(fdc.controller.motorOn);
    EXPECT_EQ(RunToInterrupt(), kStart + 120'000);
    Set(kCommand, 0x10);
    EXPECT_EQ(RunToInterrupt(), kStart + 120'000);
}

// A Type I status shows the index pulse for 4 ms of every 200 ms revolution, wherever the frames
// begin.
TEST_F(FdcTest, TheIndexBitKeepsTheDisksCadenceAcrossFrames) {
    Set(kCommand, 0x08, 0);  // Restore: the motor starts, the disk turns from angle 0
    RunToInterrupt();
    for (int32_t frames = 0; frames < 3; ++frames, FdcRebase(fdc, 160'256)) {
        for (int32_t time = 0; time < 2 * kFdcRevolutionCycles; time += 8'000) {
            const bool pulse = time % kFdcRevolutionCycles < kFdcIndexPulseCycles;
            EXPECT_EQ(Get(kCommand, time - frames * 160'256) & kFdcStatusIndex,
                      pulse ? kFdcStatusIndex : 0)
                << time;
        }
    }
}

TEST_F(FdcTest, ForceInterruptStopsTheChipWithOrWithoutAnInterrupt) {
    Set(kCommand, 0x03);
    EXPECT_FALSE(CommandEndsSlice(0x10, kStart + 4));  // busy: only Force Interrupt gets in
    EXPECT_EQ(fdc.controller.command, 0x03);
    EXPECT_FALSE(CommandEndsSlice(0xD0, kStart + 8));  // plain: stops, no interrupt
    EXPECT_TRUE(LineHigh());
    EXPECT_EQ(Get(kCommand), 0x84);  // the Restore's status, without busy
    EXPECT_EQ(RunToInterrupt(), kNever);
    EXPECT_FALSE(fdc.controller.motorOn);  // nine revolutions later
    Set(kCommand, 0xD0);                   // found idle: a Type I status
    EXPECT_EQ(Get(kCommand), 0x04);
    fdc.controller.track = 3;
    EXPECT_EQ(Get(kCommand), 0x00);

    Set(kCommand, 0x03);
    EXPECT_TRUE(CommandEndsSlice(0xD8, kStart + 12));  // immediate
    EXPECT_EQ(RunToInterrupt(), kStart + 12);
    EXPECT_EQ(Get(kCommand), 0x84);

    // At the next index pulse; with no drive answering, once one does.
    Set(kCommand, 0xD4, kStart + 100'000);
    EXPECT_EQ(RunToInterrupt(), kStart + kFdcRevolutionCycles);  // the motor started at kStart
    Select(kDriveB);
    Set(kCommand, 0xD4, kStart + 100'000);
    EXPECT_EQ(RunToInterrupt(), kNever);
    Select(kDriveASide0);
    EXPECT_NE(RunToInterrupt(kStart + 50 * kFdcRevolutionCycles), kNever);
}

// The select is looked at where the chip depends on the drive: at each step of a Restore, at
// each sector of a read, and once a revolution while the chip waits for a drive.
TEST_F(FdcTest, ASelectChangedMidCommandIsSeenAtTheNextStepOrRevolution) {
    Select(kNoDrive);
    Set(kTrack, 2);
    Set(kCommand, 0x0B);  // Restore, 3 ms steps
    FdcFireEvent(fdc, cpu, kStart + 9 * 24'000);
    Select(kDriveASide0);
    EXPECT_EQ(RunToInterrupt(), kStart + 10 * 24'000 + 120'000);
    EXPECT_EQ(Get(kCommand), 0xA4);

    Set(kCount, 9);
    Set(kSector, 1);
    SetDmaAddress(0x20000);
    Set(kCommand, 0x98);  // Read Sector, multiple
    Fire();               // the first sector is done, the second read
    Select(kDriveB);
    Fire();  // the third is not found: no index pulse
    EXPECT_EQ(Get(kSector), 3);
    Select(kDriveASide0);
    EXPECT_EQ(RunToInterrupt(), FdcEventTime(fdc) + 7 * 160'000);
    EXPECT_TRUE(RamHoldsSector(0x20000 + 8 * 512, 0, 0, 9));

    DiskImage later;
    fdc.connections.disk = &later;  // a read on the empty drive, then a disk goes in
    Set(kSector, 2);
    Set(kCommand, 0x88);
    const int32_t search = FdcEventTime(fdc);
    later = MakeDisk(10, 2, 9);
    EXPECT_EQ(RunToInterrupt(), search + 160'000);
    EXPECT_EQ(Get(kCommand), 0x80);
    // Taken out while the motor hums: the motor has no index pulses to stop by, and falls silent.
    Set(kData, 1);
    Set(kCommand, 0x1B);
    RunToInterrupt();
    EXPECT_EQ(sounds.current, DriveClip::ShortStep);
    later.data.clear();
    EXPECT_EQ(RunToInterrupt(), kNever);
    EXPECT_TRUE(fdc.controller.motorOn);
    EXPECT_EQ(sounds.current, DriveClip::MotorStop);
}

TEST_F(FdcTest, MultiSectorReadDeliversOneSectorPer160000CyclesAndAdvancesTheDmaAddress) {
    SpinUp();
    Set(kTrack, 2);
    Select(kDriveASide1);
    SetDmaAddress(0x20000);
    Set(kCount, 9);
    Set(kSector, 1);
    EXPECT_TRUE(CommandEndsSlice(0x90));
    int32_t due = kStart + 160'000;
    for (int sector = 1; sector <= 9; ++sector, due += 160'000) {
        const uint32_t address = 0x20000 + (sector - 1) * 512;
        EXPECT_TRUE(RamHoldsSector(address, 2, 1, sector)) << sector;
        EXPECT_EQ(fdc.dma.address, address);  // moves when the sector is due
        EXPECT_EQ(Get(kCommand), 0x81);
        EXPECT_EQ(FdcEventTime(fdc), due);
        EXPECT_TRUE(LineHigh());
        EXPECT_EQ(FdcFireEvent(fdc, cpu, due + 500), sector == 9);  // late: cadence kept
        EXPECT_EQ(fdc.dma.address, address + 512);
    }
    EXPECT_EQ(Get(kCommand), 0x80);
    EXPECT_EQ(Get(kSector), 10);
    EXPECT_EQ(RamByte(0x20000 + 9 * 512), 0xEE);

    Set(kCount, 2);  // the count caps the sectors
    Set(kSector, 5);
    Set(kCommand, 0x94);  // with the settle delay
    EXPECT_EQ(FdcEventTime(fdc), kStart + 120'000 + 160'000);
    EXPECT_FALSE(Fire());
    EXPECT_TRUE(Fire());
    EXPECT_EQ(Get(kSector), 7);
    EXPECT_EQ(fdc.dma.address, 0x20000 + 11 * 512u);
    Set(kCount, 0);  // no count, no transfer
    Set(kCommand, 0x80);
    EXPECT_TRUE(Fire());
    EXPECT_EQ(fdc.dma.address, 0x20000 + 11 * 512u);
    EXPECT_EQ(RamByte(0x20000 + 11 * 512), 0xEE);
}

// A formatter's raw track: the sectors' ID and data fields amid gaps, as TOS lays them down.
std::vector<uint8_t> RawTrack(int track, int side, const std::vector<int>& sectors,
                              int sizeCode = 2) {
    std::vector<uint8_t> raw(60, 0x4E);
    auto append = [&raw](size_t count, uint8_t value) { raw.insert(raw.end(), count, value); };
    for (int sector : sectors) {
        append(12, 0x00);
        append(3, 0xF5);
        raw.insert(raw.end(),
                   {0xFE, uint8_t(track), uint8_t(side), uint8_t(sector), uint8_t(sizeCode), 0xF7});
        append(22, 0x4E);
        append(12, 0x00);
        append(3, 0xF5);
        raw.push_back(0xFB);
        for (int i = 0; i < (128 << sizeCode); ++i) raw.push_back(uint8_t((i + sector) & 0x7F));
        raw.push_back(0xF7);
        append(40, 0x4E);
    }
    if (raw.size() < kFdcTrackBytes) append(kFdcTrackBytes - raw.size(), 0x4E);
    return raw;
}

// Write Track keeps a track only when it is the layout the image has: the image's nine sectors,
// numbered 1 to 9, of 512 bytes, their ID fields naming the track and side under the head. It
// then ends one revolution after the next index pulse; anything else is refused as protected at
// once, the image untouched and a status line saying why.
TEST_F(FdcTest, WriteTrackTakesAStandardLayoutAndRefusesAnyOther) {
    const std::vector<int> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<uint8_t> markInData = RawTrack(2, 1, nine);
    markInData[200] = 0xF7;  // inside sector 1's data
    struct Row {
        const char* name;
        std::vector<uint8_t> raw;
        int32_t headTrack;
        const char* refusal;  // nullptr: written
    } rows[] = {
        {"a standard track", RawTrack(2, 1, nine), 2, nullptr},
        {"ten sectors", RawTrack(2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), 2,
         "sectors are not numbered 1 to 9"},
        {"eight sectors", RawTrack(2, 1, {1, 2, 3, 4, 5, 6, 7, 8}), 2, "holds 8 sectors"},
        {"a sector twice", RawTrack(2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 8}), 2, "numbered 1 to 9"},
        {"1024-byte sectors", RawTrack(2, 1, {1, 2, 3, 4, 5}, 3), 2, "sector size"},
        {"another track's IDs", RawTrack(5, 1, nine), 2, "another track"},
        {"a mark in the data", markInData, 2, "bytes the chip writes as marks"},
        {"beyond the image", RawTrack(12, 1, nine), 12, "beyond the image"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        disk = MakeDisk(10, 2, 9);
        messages = StatusMessages{};
        OpenStartupStatusSlots(messages);
        fdc = Fdc{};
        FdcConnect(fdc, &memory, &mfp, &ym, &disk, &messages, &sounds);
        SpinUp();
        Select(kDriveASide1);
        fdc.controller.track = row.headTrack;
        for (size_t i = 0; i < row.raw.size(); ++i) memory.ramBase[(0x40000 + i) ^ 1] = row.raw[i];
        SetDmaAddress(0x40000);
        Set(0x190, 13);  // 6,656 bytes: more than a revolution holds
        const DiskImage before = disk;
        Set(0x180, 0xF8);
        const int32_t interrupt = RunToInterrupt();
        EXPECT_EQ(Get(kCommand) & ~kFdcStatusIndex, row.refusal ? 0xC0 : 0x80);
        bool told = false;
        for (const StatusSlot& slot : messages.slots) {
            told |= slot.active && row.refusal && slot.text.find(row.refusal) != std::string::npos;
        }
        EXPECT_EQ(told, row.refusal != nullptr) << messages.slots[0].text;
        if (row.refusal) {
            EXPECT_EQ(interrupt, kStart + 1024);
            EXPECT_EQ(disk.data, before.data);
            EXPECT_FALSE(disk.dirty);
            continue;
        }
        EXPECT_EQ(interrupt, 2 * kFdcRevolutionCycles) << "from the next index pulse, once round";
        EXPECT_EQ(fdc.dma.address, 0x40000u + kFdcTrackBytes);
        EXPECT_TRUE(disk.dirty);
        for (int sector = 1; sector <= 9; ++sector) {
            const size_t start = ((2 * 2 + 1) * 9 + sector - 1) * 512;
            for (int i = 0; i < 512; ++i) {
                ASSERT_EQ(disk.data[(start + i) ^ 1], uint8_t((i + sector) & 0x7F)) << sector;
            }
        }
        EXPECT_TRUE(std::equal(disk.data.begin(), disk.data.begin() + (2 * 2 + 1) * 9 * 512,
                               before.data.begin()))
            << "the tracks before it are untouched";
    }
}

// The file follows a write once the drive has rested 50 frames (a second), counted from the
// last write and never while a command runs; then not again until the next write.
TEST_F(FdcTest, TheIdleDriveSavesTheDiskOnceASecondAfterTheLastWrite) {
    char folder[] = "/tmp/orvet_fdc_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/disk.st";
    const DiskImage made = MakeDisk(10, 2, 9);
    std::vector<uint8_t> file(made.data.size());
    for (size_t i = 0; i < file.size(); ++i) file[i] = made.data[i ^ 1];
    auto readFile = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    ASSERT_TRUE(LoadDiskImage(path, disk));
    SpinUp();
    SetDmaAddress(0x30000);
    Set(0x190, 1);
    Set(0x184, 1);
    auto writeSector = [&] {
        Set(0x180, 0xA8);
        RunToInterrupt();
    };
    writeSector();
    for (int frame = 1; frame < kFdcIdleSaveFrames; ++frame) {
        if (frame == 30) writeSector();  // the count starts again
        FdcSaveIdleDisk(fdc);
    }
    for (int frame = 0; frame < 20; ++frame) FdcSaveIdleDisk(fdc);
    EXPECT_EQ(readFile(), file) << "not before a second has passed";
    fdc.controller.status |= kFdcStatusBusy;  // a command under way
    for (int frame = 0; frame < 30; ++frame) FdcSaveIdleDisk(fdc);
    EXPECT_TRUE(disk.dirty);
    fdc.controller.status &= ~kFdcStatusBusy;
    FdcSaveIdleDisk(fdc);
    EXPECT_FALSE(disk.dirty);
    EXPECT_EQ(readFile()[0], 0xEE) << "RAM's byte, where the boot sector was";
    std::filesystem::remove(path);
    for (int frame = 0; frame < 200; ++frame) FdcSaveIdleDisk(fdc);
    EXPECT_FALSE(std::filesystem::exists(path)) << "saved once, not once a second";
    std::filesystem::remove_all(folder);
}

TEST_F(FdcTest, RegisterBlockReadsAndWrites) {
    Set(kTrack, 0x1234);  // the chip's own registers take the byte
    Set(kSector, 0x0305);
    Set(kData, 0xBEEF);
    Set(kCount, 0x0102);
    EXPECT_EQ(Get(kTrack), 0x34);
    EXPECT_EQ(Get(kSector), 0x05);
    EXPECT_EQ(Get(kData), 0xBEEF);
    EXPECT_EQ(Get(0x92), 0x0102);  // mode bit 4 wins over bits 1-2
    EXPECT_EQ(FdcReadWord(fdc, cpu, kDmaMode, 0), 0xFFFF);
    for (uint16_t hardDiskMode : {0x02, 0x8A}) {  // reads reach the register, writes do not
        EXPECT_EQ(Get(hardDiskMode), 0x34);
        FdcWriteWord(fdc, cpu, kDataAccess, 9, 0);
        EXPECT_EQ(Get(hardDiskMode), 0x34);
    }
    SetDmaAddress(0x123456);  // bytes at odd addresses: the low half of a word
    EXPECT_EQ(FdcReadByte(fdc, cpu, 0xFF8609, 0), 0x12);
    EXPECT_EQ(FdcReadWord(fdc, cpu, 0xFF860A, 0), 0xFF34);
    FdcWriteWord(fdc, cpu, 0xFF860C, 0xAB78, 0);
    EXPECT_EQ(fdc.dma.address, 0x123478u);
    for (uint32_t address = kFdcBlockFirst; address <= kFdcBlockLast; ++address) {
        if (address == 0xFF8609 || address == 0xFF860B || address == 0xFF860D) continue;
        EXPECT_EQ(FdcReadByte(fdc, cpu, address, 0), 0xFF) << std::hex << address;
        FdcWriteByte(fdc, cpu, address, 0, 0);
    }
    for (uint32_t address : {0xFF8600, 0xFF8602, 0xFF860E}) {
        EXPECT_EQ(FdcReadWord(fdc, cpu, address, 0), 0xFFFF);
        FdcWriteWord(fdc, cpu, address, 0, 0);
    }
    EXPECT_EQ(fdc.dma.address, 0x123478u);
    EXPECT_EQ(fdc.controller.track, 0x34);
    EXPECT_EQ(fdc.controller.state, FdcState::Idle);
}

TEST_F(FdcTest, TransfersStayInsideRamAndTheImage) {
    SpinUp();
    Set(kCount, 1);
    Set(kSector, 2);
    const auto readTo = [&](uint32_t address, uint16_t mode = kCommand) {
        SetDmaAddress(address);
        Set(mode, 0x80);
        Fire();
    };
    readTo(memory.ramSize - 100);  // cut at the end of RAM
    EXPECT_EQ(RamByte(memory.ramSize - 1), SectorByte(0, 0, 2, 99));
    EXPECT_EQ(memory.ramBase[memory.ramSize], 0xEE);
    EXPECT_EQ(fdc.dma.address, memory.ramSize);
    readTo(0xFFFFFE);  // beyond RAM: nothing moves, the address stays
    EXPECT_EQ(fdc.dma.address, 0xFFFFFEu);
    readTo(0);  // the reset vectors at 0-7 are write-protected
    EXPECT_EQ(RamByte(7), 0xEE);
    EXPECT_EQ(RamByte(8), SectorByte(0, 0, 2, 8));
    readTo(0x5001);  // each byte where the program asked
    EXPECT_TRUE(RamHoldsSector(0x5001, 0, 0, 2));
    EXPECT_EQ(RamByte(0x5000), 0xEE);
    EXPECT_EQ(RamByte(0x5201), 0xEE);
    readTo(0x6000, 0xC0);   // DMA off
    readTo(0x6000, 0x180);  // towards the disk
    EXPECT_EQ(RamByte(0x6000), 0xEE);
    Set(kTrack, 200);  // past the image: its last track
    readTo(0x1000);
    EXPECT_TRUE(RamHoldsSector(0x1000, 9, 0, 2));
    DiskImage singleSided = MakeDisk(10, 1, 9);
    fdc.connections.disk = &singleSided;
    Select(kDriveASide1);  // which a one-sided disk lacks
    Set(kTrack, 3);
    readTo(0x1000);
    EXPECT_TRUE(RamHoldsSector(0x1000, 3, 0, 2));
    // An image cut short of its geometry: the read completes and brings nothing.
    DiskImage shortImage = MakeDisk(10, 2, 9);
    shortImage.data.resize(700);
    fdc.connections.disk = &shortImage;
    readTo(0x7000);
    EXPECT_EQ(Get(kCommand), 0x80);
    EXPECT_EQ(RamByte(0x7000), 0xEE);
    EXPECT_EQ(fdc.dma.address, 0x7000u);
}

TEST_F(FdcTest, HardDiskSideClearStaysInsideRamAboveTheVectors) {
    Set(kCount, 0xFFFF);  // 32 MB asked for
    SetDmaAddress(memory.ramSize - 1023);
    Set(0x88, 0);
    EXPECT_EQ(RamByte(memory.ramSize - 1024), 0xEE);
    EXPECT_EQ(RamByte(memory.ramSize - 1023), 0);
    EXPECT_EQ(RamByte(memory.ramSize - 1), 0);
    EXPECT_EQ(memory.ramBase[memory.ramSize], 0xEE);
    Set(kCount, 1);
    SetDmaAddress(3);
    Set(0x88, 0);
    EXPECT_EQ(RamByte(7), 0xEE);
    EXPECT_EQ(RamByte(8), 0);
    EXPECT_EQ(RamByte(514), 0);
    EXPECT_EQ(RamByte(515), 0xEE);
}

// Whatever a program writes, memory outside RAM and the reset vectors stay as they were, and no
// byte is read from outside the image (a sanitizer build sees that).
TEST_F(FdcTest, RandomRegisterTrafficNeverReachesOutsideRamOrTheImage) {
    std::mt19937 random(1772);
    SetRamSize(memory, 0);  // 512 KB: the rest of the 4 MB area is outside
    DiskImage truncated = MakeDisk(10, 2, 9);
    truncated.data = std::vector<uint8_t>(truncated.data.begin(), truncated.data.begin() + 9000);
    const std::vector<uint8_t> outside(memory.block.get() + memory.ramSize,
                                       memory.block.get() + kMachineMemorySize);
    const std::vector<uint8_t> vectors(memory.ramBase, memory.ramBase + 8);
    int32_t now = 0;
    for (int access = 0; access < 40'000; ++access) {
        const uint32_t address = kFdcBlockFirst + random() % 16;
        const uint16_t value = uint16_t(random());
        switch (random() % 5) {
            case 0:
                FdcWriteByte(fdc, cpu, address, uint8_t(value), now);
                break;
            case 1:
                Set(value & 0x1DE, uint16_t(random()), now);
                break;
            case 2:
                ym.registers[kYmPortARegister] = uint8_t(value);
                fdc.connections.disk = (value & 0x100) ? &truncated : &disk;
                fdc.fastDisk = value & 0x200;
                Fire();
                now = std::min(FdcEventTime(fdc), 160'000);
                break;
            default:
                FdcReadWord(fdc, cpu, address & ~1u, now);
                FdcWriteWord(fdc, cpu, address & ~1u, value, now);
                break;
        }
        if (now >= 160'000) {
            FdcRebase(fdc, 160'000);
            now -= 160'000;
        }
    }
    EXPECT_TRUE(std::equal(outside.begin(), outside.end(), memory.block.get() + memory.ramSize));
    EXPECT_TRUE(std::equal(vectors.begin(), vectors.end(), memory.ramBase));
}

}  // namespace
}  // namespace orvet
