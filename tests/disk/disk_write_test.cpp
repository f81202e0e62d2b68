// Floppy writes reaching the image files: a 68000 program (tests/programs/floppy_write.s) writes
// two sectors and reads them back; the file follows in its own format once the drive has rested,
// the original kept once as NAME.orig; disks whose file cannot take the writes are protected and
// say why; and a save that fails leaves the old file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "image_files.h"
#include "program_machine.h"

namespace orvet {
namespace {

using testing::Bytes;
using testing::Geometry;

constexpr Geometry kGeometry{80, 2, 9};
constexpr uint32_t kWriteStatus = 0x608, kReadStatus = 0x60A, kResult = 0x60E;
constexpr size_t kTrack3Side0 = 3 * 2 * 9 * 512;  // where the program writes its two sectors

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A disk with something of every kind MSA packs: runs of the formatter's 0xE5, runs of other
// bytes, and bytes that change every time.
Bytes SampleDisk() {
    Bytes disk(kGeometry.ImageSize(), 0xE5);
    testing::PutBootGeometry(disk, 9, 2, 1440);
    for (size_t offset = 4096; offset < disk.size(); offset += 7919) {
        for (size_t index = 0; index < 300 && offset + index < disk.size(); ++index) {
            disk[offset + index] = uint8_t(index < 100 ? 0x4E : index * 13);
        }
    }
    return disk;
}

// The same disk after the program's write: sectors 1 and 2 of track 3, side 0 hold i * 3 + 1.
Bytes AfterTheProgram(Bytes disk) {
    for (size_t index = 0; index < 1024; ++index)
        disk[kTrack3Side0 + index] = uint8_t(index * 3 + 1);
    return disk;
}

struct DiskWrites : testing::ScratchFolder {
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(DiskWrites, AProgramReadsBackWhatItWroteAndTheFileFollowsInItsOwnFormat) {
    const Bytes disk = SampleDisk(), written = AfterTheProgram(disk);
    struct Case {
        std::string name;
        Bytes file, expected;  // expected: the file after the save; empty when protected
        const char* notice;    // what the status line says of a protected disk
    } cases[] = {
        {"disk.st", disk, written, nullptr},
        {"disk.msa", testing::MsaFile(disk, kGeometry, true),
         testing::MsaFile(written, kGeometry, true), nullptr},
        {"disk.dim", testing::DimFile(disk, kGeometry, 2), testing::DimFile(written, kGeometry, 2),
         nullptr},
        {"pack.zip",
         testing::ZipArchive({{"DISK.ST", disk, true}}),
         {},
         "Drive A is write-protected: a disk inside a zip archive is not written back"},
        {"setting.st", disk, {}, nullptr},  // the WriteProtect setting protects every disk
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string file = write(test.name, test.file);
        const bool zip = test.name == "pack.zip", refused = test.expected.empty();
        const std::string path = zip ? file + "/disk.st" : file;
        ProgramMachine program("floppy_write");
        OpenStartupStatusSlots(program.machine.statusMessages);
        program.machine.fdc.writeProtect = test.name == "setting.st";
        ASSERT_TRUE(LoadDiskImage(path, program.machine.driveA));
        // The spin-up alone takes a second and a fifth.
        for (int frame = 0; frame < 200 && program.word(kResult) == 0; ++frame) {
            program.runFrames(1);
        }
        DiskImage& drive = program.machine.driveA;
        if (refused) {
            EXPECT_EQ(program.word(kWriteStatus) & kFdcStatusWriteProtect, kFdcStatusWriteProtect);
            EXPECT_EQ(program.word(kResult), 2) << "nothing was written";
            EXPECT_EQ(drive.data, testing::Swapped(disk));
            int told = 0;
            for (const StatusSlot& slot : program.machine.statusMessages.slots) {
                told += slot.active && test.notice && slot.text == test.notice;
            }
            EXPECT_EQ(told, test.notice ? 1 : 0);
        } else {
            EXPECT_EQ(program.word(kWriteStatus), 0x80);
            EXPECT_EQ(program.word(kReadStatus), 0x80);
            EXPECT_EQ(program.word(kResult), 1) << "read back what it wrote";
            EXPECT_EQ(drive.data, testing::Swapped(written));
            EXPECT_EQ(ReadFile(file), test.file) << "the file waits for the drive to rest";
        }
        for (int frame = 0; frame < 60 && drive.dirty; ++frame) program.runFrames(1);
        EXPECT_FALSE(drive.dirty) << drive.saveError;
        EXPECT_EQ(ReadFile(file), refused ? test.file : test.expected);
        EXPECT_EQ(std::filesystem::exists(file + ".orig"), !refused);
        if (!refused) {
            EXPECT_EQ(ReadFile(file + ".orig"), test.file);
            DiskImage reloaded;
            ASSERT_TRUE(LoadDiskImage(file, reloaded));
            EXPECT_EQ(reloaded.data, drive.data);
            EXPECT_FALSE(reloaded.writeProtected) << reloaded.protectReason;
        }
    }
    EXPECT_EQ(names(),
              (std::vector<std::string>{"disk.dim", "disk.dim.orig", "disk.msa", "disk.msa.orig",
                                        "disk.st", "disk.st.orig", "pack.zip", "setting.st"}))
        << "no temporary file is left";
}

// The original is kept once: the first save copies it, later saves and later runs leave NAME.orig
// as it is. A disk loaded over a dirty one saves that one first.
TEST_F(DiskWrites, TheOriginalIsKeptOnceAndADirtyDiskIsSavedBeforeItIsReplaced) {
    const Bytes disk = SampleDisk();
    const std::string path = write("game.st", disk);
    const std::string other = write("other.st", disk);
    DiskImage drive;
    for (uint8_t value : {1, 2, 3}) {
        ASSERT_TRUE(LoadDiskImage(path, drive));  // each load is a new run's insert
        drive.data[1] = value;                    // the boot sector's first byte
        drive.dirty = true;
        ASSERT_TRUE(LoadDiskImage(other, drive)) << "the dirty disk is saved first";
        EXPECT_EQ(ReadFile(path)[0], value);
        EXPECT_EQ(ReadFile(path + ".orig"), disk);
    }
    EXPECT_FALSE(std::filesystem::exists(other + ".orig")) << "a disk never written keeps no copy";

    // Through a link the file it names is written, and the link stays a link.
    const std::string link = (folder / "link.st").string();
    std::filesystem::create_symlink(path, link);
    ASSERT_TRUE(LoadDiskImage(link, drive));
    drive.data[1] = 9;
    drive.dirty = true;
    ASSERT_TRUE(SaveDiskImage(drive));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(path)[0], 9);
    EXPECT_FALSE(std::filesystem::exists(link + ".orig"));
}

// What cannot take the writes back is protected from the start, for the controller, with the
// reason the status line gives; a save of it fails and leaves the file alone.
TEST_F(DiskWrites, DisksWhoseFileCannotTakeTheWritesAreProtectedAndSayWhy) {
    const Bytes disk = SampleDisk();
    Bytes longDim = testing::DimFile(disk, kGeometry, 2);
    longDim.resize(longDim.size() + 100, 0x42);
    const bool root = geteuid() == 0;
    struct Case {
        std::string file, member;
        Bytes bytes;
        mode_t mode;
        std::string reason;
    } cases[] = {
        {"pack.zip", "/disk.st", testing::ZipArchive({{"disk.st", disk, false}}), 0644,
         "a disk inside a zip archive is not written back"},
        {"long.dim", "", longDim, 0644,
         "the file holds more than the disk, which writing would cut off"},
        {"locked.st", "", disk, 0444, "the image file is read-only"},
        {"open.st", "", disk, 0644, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file);
        // chmod does not stop root, which writes any file: the case needs an ordinary user.
        if (root && test.mode == 0444) {
            std::printf("skipped %s: running as root, whom a read-only file does not stop\n",
                        test.file.c_str());
            continue;
        }
        const std::string file = write(test.file, test.bytes);
        ASSERT_EQ(chmod(file.c_str(), test.mode), 0);
        DiskImage drive;
        ASSERT_TRUE(LoadDiskImage(file + test.member, drive));
        EXPECT_EQ(drive.protectReason, test.reason);
        EXPECT_EQ(drive.writeProtected, !test.reason.empty());
        drive.dirty = true;
        std::string error;
        EXPECT_EQ(SaveDiskImage(drive, &error), test.reason.empty());
        EXPECT_EQ(error, test.reason);
        EXPECT_EQ(ReadFile(file), test.bytes);
    }
}

// A save that fails part way (here the file system refuses more than 64 KB, as a full disk
// would) leaves the old file whole under its name and no temporary file beside it; so does a
// folder that vanished. The disk stays dirty, to be saved when the host lets it.
TEST_F(DiskWrites, AFailedSaveLeavesTheOldFileWholeAndSaysWhy) {
    const Bytes disk = SampleDisk();
    const std::string path = write("disk.st", disk);
    write("disk.st.orig", disk);
    DiskImage drive;
    ASSERT_TRUE(LoadDiskImage(path, drive));
    drive.data[1] = 0x77;
    drive.dirty = true;

    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the process
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool saved = SaveDiskImage(drive, &error);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    EXPECT_FALSE(saved);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(drive.saveError, error);
    EXPECT_TRUE(drive.dirty);
    EXPECT_EQ(ReadFile(path), disk);
    EXPECT_EQ(names(), (std::vector<std::string>{"disk.st", "disk.st.orig"}));

    ASSERT_TRUE(SaveDiskImage(drive, &error)) << error;
    EXPECT_EQ(ReadFile(path)[0], 0x77);
    EXPECT_TRUE(drive.saveError.empty());

    drive.dirty = true;
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(SaveDiskImage(drive, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_TRUE(drive.dirty);
    EXPECT_FALSE(std::filesystem::exists(folder));
    std::filesystem::create_directory(folder);  // for TearDown
}

}  // namespace
}  // namespace orvet
