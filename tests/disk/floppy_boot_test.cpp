// Booting from a floppy as an operating system does: a test ROM (tests/programs/floppy_boot.s)
// restores, seeks and reads the first two sectors through the WD1772 and the DMA, checks the boot
// sector's checksum and jumps to it; the boot sector's program (tests/programs/boot) shows it
// ran. The disk is a FAT12 image made by mtools, and the same disk as .st, .msa, .dim and inside
// a zip archive, stored and deflated, must boot to the same memory.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "golden.h"
#include "image_files.h"
#include "machine/builtin_rom.h"
#include "machine/machine.h"
#include "program_machine.h"

namespace orvet {
namespace {

using testing::Bytes;

constexpr uint32_t kBootMarker = 0x600, kSecondSector = 0x604, kBootResult = 0x60E;
constexpr uint32_t kBootBuffer = 0x2000;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Puts a program after the boot sector's 30-byte header, behind a branch over that header, and
// mends the checksum that makes the ST run it.
void SetBootProgram(Bytes& disk, const Bytes& program) {
    EXPECT_FALSE(program.empty());
    EXPECT_LE(program.size(), 510u - 0x1E);
    disk[0] = 0x60;  // BRA.S over the parameter block, to the program at 0x1E
    disk[1] = 0x1C;
    std::copy(program.begin(), program.end(), disk.begin() + 0x1E);
    uint16_t sum = 0;
    for (size_t offset = 0; offset < 510; offset += 2) sum += disk[offset] << 8 | disk[offset + 1];
    const uint16_t checksum = static_cast<uint16_t>(0x1234 - sum);
    disk[510] = static_cast<uint8_t>(checksum >> 8);
    disk[511] = static_cast<uint8_t>(checksum);
}

Bytes TestProgram(const std::string& name) {
    return ReadFile(std::string(ORVET_TEST_PROGRAMS_DIR) + "/" + name + ".bin");
}

// A 720 KB FAT12 disk with a file on it, its boot sector carrying the boot program.
Bytes BootableDisk(const std::filesystem::path& folder) {
    const std::string image = (folder / "made.st").string();
    const std::string file = (folder / "README.TXT").string();
    std::ofstream(file) << "A disk the test ROM boots from.\n";
    const std::string commands = "MTOOLS_SKIP_CHECK=1 mformat -i '" + image +
                                 "' -C -f 720 -v ORVET :: && MTOOLS_SKIP_CHECK=1 mcopy -i '" +
                                 image + "' '" + file + "' ::";
    if (std::system(commands.c_str()) != 0) {
        ADD_FAILURE() << "mtools could not make the disk: " << commands;
        return {};
    }
    Bytes disk = ReadFile(image);
    EXPECT_EQ(disk.size(), 737280u);
    SetBootProgram(disk, TestProgram("boot_sector"));
    return disk;
}

struct FloppyBoot : testing::ScratchFolder {
    // Boots the machine from `path` and returns the two sectors the ROM read, in 68000 order.
    Bytes boot(const std::string& path) {
        ProgramMachine program("floppy_boot");
        EXPECT_TRUE(LoadDiskImage(path, program.machine.driveA)) << path;
        // The motor's spin-up alone takes a second and a fifth.
        for (int frame = 0; frame < 150 && program.longWord(kBootMarker) == 0; ++frame) {
            program.runFrames(1);
        }
        EXPECT_EQ(program.longWord(kBootMarker), 0x424F4F54u) << "the boot sector ran: " << path;
        EXPECT_EQ(program.word(kBootResult), 0) << path;
        Bytes read;
        for (uint32_t address = kBootBuffer; address < kBootBuffer + 1024; ++address) {
            read.push_back(program.byte(address));
        }
        EXPECT_EQ(program.longWord(kSecondSector),
                  uint32_t(read[512]) << 24 | read[513] << 16 | read[514] << 8 | read[515]);
        return read;
    }
};

TEST_F(FloppyBoot, TheSameDiskBootsFromEveryFormat) {
    const Bytes disk = BootableDisk(folder);
    ASSERT_FALSE(disk.empty());
    const testing::Geometry geometry{80, 2, 9};
    const Bytes expected(disk.begin(), disk.begin() + 1024);
    const std::string paths[] = {
        write("disk.st", disk),
        write("disk.msa", testing::MsaFile(disk, geometry, true)),
        write("disk.dim", testing::DimFile(disk, geometry, 1)),
        write("stored.zip", testing::ZipArchive({{"DISK.ST", disk, false}})) + "/disk.st",
        write("packed.zip",
              testing::ZipArchive({{"README", {}, true},
                                   {"DISK.MSA", testing::MsaFile(disk, geometry, true), true}})) +
            "/disk.msa",
    };
    for (const std::string& path : paths) EXPECT_EQ(boot(path), expected) << path;
}

TEST_F(FloppyBoot, ABadChecksumIsNotRun) {
    Bytes disk = BootableDisk(folder);
    ASSERT_FALSE(disk.empty());
    disk[511] ^= 1;
    ProgramMachine program("floppy_boot");
    ASSERT_TRUE(LoadDiskImage(write("bad.st", disk), program.machine.driveA));
    program.runFrames(100);
    EXPECT_EQ(program.longWord(kBootMarker), 0u);
    EXPECT_EQ(program.word(kBootResult), 2);
}

// No disk turns in the drive, so no index pulse comes: the read never finds its sector and never
// ends, and the ROM, which has no time-out, still waits for it.
TEST_F(FloppyBoot, AnEmptyDriveNeverFindsTheBootSector) {
    ProgramMachine program("floppy_boot");
    program.runFrames(150);
    EXPECT_EQ(program.word(kBootResult), 0);
    EXPECT_EQ(program.machine.fdc.controller.command, 0x90);
    EXPECT_EQ(FdcStatus(program.machine.fdc, 0) & kFdcStatusBusy, kFdcStatusBusy);
}

// The built-in ROM boots the same disk; it leaves one whose checksum is wrong alone; and a boot
// program that crashes (an illegal instruction: 4 bombs) brings back the start screen showing the
// bombs, without booting the disk again until reset.
TEST_F(FloppyBoot, TheBuiltInRomRunsABootSectorRefusesABadOneAndSurvivesACrash) {
    const Bytes good = BootableDisk(folder);
    ASSERT_FALSE(good.empty());
    Bytes bad = good;
    bad[511] ^= 1;
    Bytes crashing = good;
    SetBootProgram(crashing, {0x4A, 0xFC});  // ILLEGAL where the program starts

    constexpr uint32_t kRomBootResult = 0x6F0, kRomCrashBombs = 0x6F2;  // the ROM's own
    struct Case {
        const char* name;
        const Bytes& disk;
        uint32_t marker;
        uint16_t result;  // 2 ran, 4 not bootable, 5 crashed
    };
    const Case cases[] = {
        {"good", good, 0x424F4F54u, 2}, {"bad", bad, 0, 4}, {"crashing", crashing, 0, 5}};
    for (const Case& c : cases) {
        auto machine = std::make_unique<Machine>();
        ASSERT_TRUE(CreateMachine(*machine));
        ASSERT_TRUE(LoadBuiltinRom(machine->memory));
        ASSERT_TRUE(LoadDiskImage(write(std::string(c.name) + ".st", c.disk), machine->driveA));
        ResetMachine(*machine, true);
        for (int frame = 0; frame < 150; ++frame) ASSERT_TRUE(RunFrame(*machine));
        const uint32_t marker = static_cast<uint32_t>(CpuPeekWord(machine->cpu, kBootMarker))
                                    << 16 |
                                CpuPeekWord(machine->cpu, kBootMarker + 2);
        EXPECT_EQ(marker, c.marker) << c.name;
        EXPECT_EQ(CpuPeekWord(machine->cpu, kRomBootResult), c.result) << c.name;
        if (c.result == 5) {
            EXPECT_EQ(CpuPeekWord(machine->cpu, kRomCrashBombs), 4) << "an illegal instruction";
            EXPECT_TRUE(MatchesGolden("builtin_rom_crash", machine->screen.data()));
        }
    }
}

// A boot loader as games have: its boot sector loads nine more sectors from track 1 with XBIOS
// Floprd and runs them; that program calls the BIOS and XBIOS, notes what each returned, and
// draws through the console and the palette calls.
TEST_F(FloppyBoot, TheBuiltInRomServesABootLoadersSystemCalls) {
    Bytes disk = BootableDisk(folder);
    ASSERT_FALSE(disk.empty());
    SetBootProgram(disk, TestProgram("loader"));
    const Bytes program = TestProgram("system_calls");
    ASSERT_LE(program.size(), 9u * 512);
    constexpr size_t kTrack1Side0 = 2 * 9 * 512, kTrack1Side1 = 3 * 9 * 512;
    std::copy(program.begin(), program.end(), disk.begin() + kTrack1Side0);
    for (size_t offset = 0; offset < 1024; ++offset) {
        disk[kTrack1Side1 + offset] = static_cast<uint8_t>(offset * 7 + 3);
    }

    auto owner = std::make_unique<Machine>();
    Machine& machine = *owner;
    ASSERT_TRUE(CreateMachine(machine));
    ASSERT_TRUE(LoadBuiltinRom(machine.memory));
    ASSERT_TRUE(LoadDiskImage(write("loader.st", disk), machine.driveA));
    ResetMachine(machine, true);
    auto longAt = [&](uint32_t address) {
        return static_cast<uint32_t>(CpuPeekWord(machine.cpu, address)) << 16 |
               CpuPeekWord(machine.cpu, address + 2);
    };
    constexpr uint32_t kMarker = 0x600, kLoadResult = 0x608, kTimerCount = 0x60C,
                       kEtvCount = 0x610, kResults = 0x20000, kRwabsBuffer = 0x30000;
    for (int frame = 0; frame < 300 && longAt(kMarker) != 0x444F4E45u; ++frame) {
        ASSERT_TRUE(RunFrame(machine));
    }
    ASSERT_EQ(longAt(kLoadResult), 0u) << "Floprd loading the program";
    ASSERT_EQ(longAt(kMarker), 0x444F4E45u) << "the program ran to its end";
    for (int frame = 0; frame < 10; ++frame) ASSERT_TRUE(RunFrame(machine));

    const uint32_t screen = longAt(0x42E) - 0x8000;
    const uint32_t kEinvfn = static_cast<uint32_t>(-32);
    struct Call {
        const char* name;
        uint32_t expected;
    };
    const Call calls[] = {
        {"Floprd of sector 10: sector not found", static_cast<uint32_t>(-8)},
        {"Floprd from drive B: unknown device", static_cast<uint32_t>(-15)},
        {"Rwabs", 0},
        {"Tickcal", 20},
        {"Setexc: the old vector", 0},  // checked below
        {"Kbshift", 0x10},
        {"Random", 0},  // checked below
        {"Random again", 0},
        {"Supexec", 0},
        {"Getrez", 0},
        {"Physbase", screen},
        {"Logbase", screen},
        {"Setcolor: the old colour", 0x700},
        {"Setcolor: the new colour", 0x123},
        {"Giaccess", 0x55},
        {"Xbtimer", 0},
        {"BIOS Getmpb", kEinvfn},
        {"XBIOS 99", kEinvfn},
        {"XBIOS -1", kEinvfn},
        {"GEMDOS", kEinvfn},
        {"Kbdvbase", 0},
        {"Iorec", 0},
        {"Dosound: idle after the tune", 0},
        {"the tune's register", 0x77},
        {"Jdisint", 0},  // checked below
        {"Flopwr", 0},
    };
    for (uint32_t index = 0; index < std::size(calls); ++index) {
        const uint32_t result = longAt(kResults + 4 * index);
        switch (index) {
            case 4:
                EXPECT_GE(result, 0xFC0000u) << calls[index].name << ": the ROM's own";
                break;
            case 6:
            case 7:
                EXPECT_LT(result, 1u << 24) << calls[index].name;
                break;
            case 8:
                EXPECT_NE(result & 0x2000, 0u) << "Supexec runs in supervisor mode";
                break;
            case 24:
                break;
            case 20:
            case 21:
                EXPECT_TRUE(result >= 0x400 && result < 0x2000) << calls[index].name;
                break;
            default:
                EXPECT_EQ(result, calls[index].expected) << calls[index].name;
        }
    }
    EXPECT_NE(longAt(kResults + 24), longAt(kResults + 28)) << "two random numbers differ";
    for (uint32_t offset = 0; offset < 1024; ++offset) {
        const uint16_t pair = CpuPeekWord(machine.cpu, (kRwabsBuffer + offset) & ~1u);
        const uint8_t byte = static_cast<uint8_t>((offset & 1) ? pair : pair >> 8);
        ASSERT_EQ(byte, static_cast<uint8_t>(offset * 7 + 3)) << "Rwabs byte " << offset;
    }
    EXPECT_GT(longAt(kEtvCount), 0u) << "the hooked etv_timer is called";
    const uint32_t timerTicks = longAt(kResults + 4 * 24);
    EXPECT_GT(timerTicks, 0u) << "Timer A ran under Xbtimer";
    EXPECT_EQ(longAt(kTimerCount), timerTicks) << "and stopped after Jdisint";
    EXPECT_TRUE(MatchesGolden("builtin_rom_system_calls", machine.screen.data()));

    // Flopwr wrote the sector Rwabs read (track 1, side 1) over sector 1 of track 1, side 0: in
    // the drive at once, in the file once the drive has rested a second.
    const std::string path = (folder / "loader.st").string();
    for (int frame = 0; frame < 60 && machine.driveA.dirty; ++frame) RunFrame(machine);
    EXPECT_FALSE(machine.driveA.dirty) << machine.driveA.saveError;
    Bytes written = disk;
    std::copy(disk.begin() + kTrack1Side1, disk.begin() + kTrack1Side1 + 512,
              written.begin() + kTrack1Side0);
    EXPECT_EQ(ReadFile(path), written);
    EXPECT_EQ(ReadFile(path + ".orig"), disk);
}

}  // namespace
}  // namespace orvet
