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

// A 720 KB FAT12 disk with a file on it, its boot sector carrying the boot program and the
// checksum that makes the ST run it.
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
    Bytes program = ReadFile(std::string(ORVET_TEST_PROGRAMS_DIR) + "/boot_sector.bin");
    EXPECT_EQ(disk.size(), 737280u);
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
    return disk;
}

struct FloppyBoot : ::testing::Test {
    std::filesystem::path folder;
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvet_boot_XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string write(const std::string& name, const Bytes& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return (folder / name).string();
    }
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
    crashing[0x1E] = 0x4A;  // ILLEGAL where the program starts, the checksum mended
    crashing[0x1F] = 0xFC;
    uint16_t sum = 0;
    for (size_t offset = 0; offset < 510; offset += 2)
        sum += crashing[offset] << 8 | crashing[offset + 1];
    crashing[510] = static_cast<uint8_t>((0x1234 - sum) >> 8);
    crashing[511] = static_cast<uint8_t>(0x1234 - sum);

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

}  // namespace
}  // namespace orvet
