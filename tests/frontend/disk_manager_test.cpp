// The disk manager without a window: browsing real folders and zip archives made in a temporary
// home folder, inspecting and inserting their images, and reopening at the saved folder.
#include "frontend/disk_manager.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "image_files.h"

namespace orvet {

// Failures show the panel's texts.
void PrintTo(const DiskInfoTexts& texts, std::ostream* out) {
    *out << texts.fileSize << " | " << texts.format << " | " << texts.tracks << " | "
         << texts.sectors << " | " << texts.sides << " | " << texts.capacity << " | "
         << texts.compression;
}

namespace {

using testing::Bytes;
using testing::Geometry;
using Names = std::vector<std::string>;

constexpr Geometry kSingleSided{80, 1, 9};

Bytes BlankDisk() {
    Bytes image(kSingleSided.ImageSize());
    testing::PutBootGeometry(image, 9, 1, 720);
    return image;
}

class DiskManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvet_dm_XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        top_ = pattern;
        home_ = top_ + "/home";
        const Bytes disk = BlankDisk();
        Write("home/disks/b.st", disk);
        Write("home/disks/a.MSA", testing::MsaFile(disk, kSingleSided, false));
        Write("home/disks/c.dim", testing::DimFile(disk, kSingleSided, 1));
        Write("home/disks/x.img", disk);
        Write("home/disks/bad.st", Bytes(700, 'x'));
        Write("home/disks/pack.zip",
              testing::ZipArchive({{"disk1.ST", disk, true}, {"readme.txt", {'h', 'i'}, false}}));
        Write("home/disks/broken.zip", testing::ZipArchive({{"torn.st", disk, true, true}}));
        Write("home/disks/damaged.zip", {'P', 'K', 3, 4, 20, 0});
        Write("home/disks/x.zip/d.st", disk);  // a folder, whatever its name says
        Write("home/disks/sub/e.st", disk);
        Write("outside/f.st", disk);
        std::filesystem::create_directories(home_ + "/disks/locked");
        chmod((home_ + "/disks/locked").c_str(), 0);
        // Permission bits do not stop the superuser, so the locked folder is then readable.
        lockedReadable_ = access((home_ + "/disks/locked").c_str(), R_OK) == 0;
    }
    void TearDown() override {
        chmod((home_ + "/disks/locked").c_str(), 0700);
        std::filesystem::remove_all(top_);
    }

    void Write(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path = top_ + "/" + name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // Opens the window on folder (under home) as a click in the tree would, walking from home.
    void Browse(const std::string& folder) {
        settings_.Directory = home_ + "/" + folder;
        DiskManagerOpen(window_, settings_, home_);
        ASSERT_EQ(window_.selectedFolder, home_ + "/" + folder) << window_.message;
    }

    void SelectRow(const std::string& name) {
        for (size_t row = 0; row < window_.rows.size(); ++row) {
            if (window_.rows[row] == name) return DiskManagerSelectRow(window_, int(row));
        }
        FAIL() << name << " is not listed";
    }

    static Names ChildNames(const DiskTreeItem& item) {
        Names names;
        for (const DiskTreeItem& child : item.children) names.push_back(child.text);
        return names;
    }

    std::string top_, home_;
    bool lockedReadable_ = false;
    Settings settings_;
    DiskManagerWindow window_;
};

// Each folder as the tree shows it, its list, and the first row inspected.
TEST_F(DiskManagerTest, FoldersListTheirFoldersArchivesAndImagesAndTheFirstIsInspected) {
    const DiskInfoTexts raw{"360KB", "Standard ST Disk Image.", "80", "9", "1", "360KB", "0%"};
    struct Case {
        std::string folder;
        Names children, rows;
        DiskInfoTexts firstRow;
        bool failure;
    } cases[] = {
        {"disks",
         {"broken.zip", "damaged.zip", "locked", "pack.zip", "sub", "x.zip"},
         {"a.MSA", "b.st", "bad.st", "c.dim"},
         {"360KB", "MSA Disk Image.", "80", "9", "1", "360KB", "0%"},
         false},
        {"disks/pack.zip", {}, {"disk1.ST"}, raw, false},
        {"disks/x.zip", {}, {"d.st"}, raw, false},
        {"disks/damaged.zip", {}, {}, {}, true},
        {"disks/locked", {}, {}, {}, true},
    };
    DiskManagerOpen(window_, settings_, home_);
    ASSERT_EQ(window_.roots.size(), 2u);
    DiskManagerExpand(window_, window_.roots[1]);
    DiskManagerExpand(window_, *FindTreeItem(window_, home_ + "/disks"));
    for (const Case& test : cases) {
        if (test.folder == "disks/locked" && lockedReadable_) continue;
        DiskTreeItem* item = FindTreeItem(window_, home_ + "/" + test.folder);
        ASSERT_NE(item, nullptr) << test.folder;
        DiskManagerSelectFolder(window_, settings_, *item);
        EXPECT_EQ(ChildNames(*item), test.children) << test.folder;
        EXPECT_EQ(item->expandable, !test.children.empty()) << test.folder;
        EXPECT_EQ(window_.rows, test.rows) << test.folder;
        EXPECT_EQ(!window_.message.empty(), test.failure) << test.folder << window_.message;
        EXPECT_EQ(settings_.Directory, home_ + "/" + test.folder + "/");
        EXPECT_EQ(window_.selectedPath, "") << "a new folder forgets the file chosen before";
        if (test.rows.empty()) continue;
        DiskManagerSelectRow(window_, 0);
        EXPECT_EQ(window_.selectedPath, home_ + "/" + test.folder + "/" + test.rows[0]);
        EXPECT_EQ(DescribeDiskImage(window_.selectedInfo), test.firstRow) << test.folder;
    }

    // Sizes round down; the compression is what packing saved.
    DiskImageInfo packed{DiskImageFormat::Msa, 0, 409600, 819200, 2, 9, 80, 0.5f};
    EXPECT_EQ(DescribeDiskImage(packed),
              (DiskInfoTexts{"400KB", "MSA Disk Image.", "80", "9", "2", "800KB", "50%"}));
    packed = {DiskImageFormat::Dim, 0, 2047, 7040, 1, 11, 1, 0.291f};
    EXPECT_EQ(DescribeDiskImage(packed),
              (DiskInfoTexts{"1KB", "FCopy Disk Image.", "1", "11", "1", "6KB", "71%"}));
    EXPECT_EQ(DescribeDiskImage({}),
              (DiskInfoTexts{"", "Unknown image format.", "", "", "", "", ""}));
    packed = {DiskImageFormat::Dim, 0, 32, 0, 0, 9, 80, 0.0f};  // a header with no sides
    EXPECT_EQ(DescribeDiskImage(packed),
              (DiskInfoTexts{"0KB", "FCopy Disk Image.", "80", "9", "0", "0KB", ""}));
}

TEST_F(DiskManagerTest, InsertTakesOnlyUsableImagesAndEjectEmptiesTheDrive) {
    DiskImage drive;
    Browse("disks/pack.zip");
    DiskManagerInsert(window_, settings_, drive);  // nothing selected
    EXPECT_FALSE(drive.inserted());
    EXPECT_EQ(settings_.DriveA, "");

    SelectRow("disk1.ST");
    DiskManagerInsert(window_, settings_, drive);
    const std::string member = home_ + "/disks/pack.zip/disk1.ST";
    EXPECT_EQ(settings_.DriveA, member);
    EXPECT_EQ(window_.message, "");
    ASSERT_TRUE(drive.inserted());
    const DiskImage inserted = drive;

    struct Case {
        std::string folder, row;
    } unusable[] = {{"disks", "bad.st"}, {"disks/broken.zip", "torn.st"}};
    for (const Case& test : unusable) {
        Browse(test.folder);
        SelectRow(test.row);
        DiskManagerInsert(window_, settings_, drive);
        EXPECT_NE(window_.message, "") << test.row;
        EXPECT_EQ(settings_.DriveA, member) << test.row;
        EXPECT_EQ(drive.data, inserted.data) << test.row << ": the drive keeps its disk";
    }

    // The check box is the WriteProtect setting, for every disk and for the controller at once.
    Fdc fdc;
    DiskManagerSetWriteProtect(settings_, fdc, true);
    EXPECT_EQ(settings_.WriteProtect, 1u);
    EXPECT_TRUE(fdc.writeProtect);
    // Writes that cannot be saved (a zip member's) keep the disk in until a second Eject.
    drive.dirty = true;
    DiskManagerEject(window_, settings_, drive);
    EXPECT_TRUE(drive.inserted());
    EXPECT_NE(window_.message.find("Eject again"), std::string::npos) << window_.message;
    DiskManagerEject(window_, settings_, drive);
    EXPECT_FALSE(drive.inserted());
    EXPECT_EQ(settings_.DriveA, "");
    EXPECT_EQ(settings_.WriteProtect, 1u) << "the setting outlives the disk";
}

TEST_F(DiskManagerTest, OpeningWalksBackToTheSavedFolder) {
    const Names images = {"a.MSA", "b.st", "bad.st", "c.dim"};
    struct Case {
        std::string saved, selected;  // selected: none when empty
        std::optional<Names> rows;    // none: whatever the host's folder holds
        std::string deepestOpen;      // the last folder the walk opened
        bool reported;                // a message says the walk stopped short
    } cases[] = {
        {home_ + "/disks/", home_ + "/disks", images, home_, false},
        {home_ + "/disks", home_ + "/disks", images, home_, false},
        {home_ + "/disks/pack.zip/", home_ + "/disks/pack.zip", Names{"disk1.ST"}, home_ + "/disks",
         false},
        {home_ + "/", home_, Names{}, "", false},
        {top_ + "/outside/", top_ + "/outside", Names{"f.st"}, top_, false},
        {"/", "/", std::nullopt, "", false},
        {home_ + "/disks/gone/deeper/", "", Names{}, home_ + "/disks", true},
        {"", "", Names{}, "", false},
    };
    for (const Case& test : cases) {
        settings_.Directory = test.saved;
        DiskManagerOpen(window_, settings_, home_);
        EXPECT_EQ(window_.selectedFolder, test.selected) << test.saved;
        if (test.rows) {
            EXPECT_EQ(window_.rows, *test.rows) << test.saved;
        }
        EXPECT_EQ(!window_.message.empty(), test.reported) << test.saved << window_.message;
        if (!test.deepestOpen.empty()) {
            const DiskTreeItem* item = FindTreeItem(window_, test.deepestOpen);
            ASSERT_NE(item, nullptr) << test.saved;
            EXPECT_TRUE(item->expanded) << test.saved;
        }
    }
}

}  // namespace
}  // namespace orvet
