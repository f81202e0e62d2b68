#include "disk/disk_image.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "image_files.h"

namespace orvet {
namespace {

using namespace testing;

// Tracks of every kind a packer meets: formatted-blank (all 0xE5), noise, runs mixed with lone
// 0xE5 bytes, all zeros; a boot sector that describes the disk in front.
Bytes PatternedDisk(Geometry geometry) {
    Bytes image(geometry.ImageSize());
    uint32_t noise = 12345;
    for (size_t offset = 0; offset < image.size(); ++offset) {
        size_t record = offset / geometry.TrackSize();
        size_t within = offset % geometry.TrackSize();
        noise = noise * 1103515245 + 12345;
        uint8_t mixed = within % 97 == 3 ? 0xE5 : uint8_t(within / 40 + record);
        const uint8_t kinds[4] = {0xE5, uint8_t(noise >> 16), mixed, 0};
        image[offset] = kinds[record % 4];
    }
    std::fill_n(image.begin(), 512, 0);
    image[0] = 0x60;  // a boot sector starts with a branch
    image[1] = 0x1C;
    PutBootGeometry(image, geometry.sectors, geometry.sides,
                    geometry.tracks * geometry.sides * geometry.sectors);
    return image;
}

class DiskImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvet_disk_XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        std::filesystem::path path = folder_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }

    DiskImageInfo Inspect(const std::string& name, const Bytes& bytes) {
        DiskImageInfo info;
        info.format = DiskImageFormat::Msa;  // must be cleared
        InspectDiskImage(Write(name, bytes), info);
        return info;
    }

    static void ExpectGeometry(const DiskImageInfo& info, DiskImageFormat format, Geometry expected,
                               uint32_t fileSize, uint32_t imageSize) {
        EXPECT_EQ(info.format, format);
        EXPECT_EQ(info.reserved, 0u);
        EXPECT_EQ(info.tracks, uint32_t(expected.tracks));
        EXPECT_EQ(info.sides, uint32_t(expected.sides));
        EXPECT_EQ(info.sectors, uint32_t(expected.sectors));
        EXPECT_EQ(info.fileSize, fileSize);
        EXPECT_EQ(info.imageSize, imageSize);
        EXPECT_FLOAT_EQ(info.ratio, float(fileSize) / float(imageSize));
    }

    static void ExpectNotRecognised(const DiskImageInfo& info) {
        EXPECT_EQ(info.format, DiskImageFormat::NotRecognised);
        EXPECT_EQ(info.fileSize | info.imageSize | info.tracks | info.sides | info.sectors, 0u);
        EXPECT_EQ(info.ratio, 0.0f);
    }

    std::filesystem::path folder_;
};

TEST_F(DiskImageFiles, RawDumpGeometryComesFromTheBootSectorElseFromTheSize) {
    Bytes described(737280);
    PutBootGeometry(described, 9, 2, 1440);
    ExpectGeometry(Inspect("boot.st", described), DiskImageFormat::RawSt, {80, 2, 9}, 737280,
                   737280);
    // Blank, the same length divides by ten-sector tracks first.
    ExpectGeometry(Inspect("blank.st", Bytes(737280)), DiskImageFormat::RawSt, {72, 2, 10}, 737280,
                   737280);
    // A boot sector that does not match the file's length is ignored; half the sectors fit one
    // side.
    Bytes halfLength(368640);
    PutBootGeometry(halfLength, 9, 2, 1440);
    ExpectGeometry(Inspect("half.st", halfLength), DiskImageFormat::RawSt, {72, 1, 10}, 368640,
                   368640);
    // A sector count that ends in a part track keeps only whole tracks.
    Bytes partTrack(1000 * 512);
    PutBootGeometry(partTrack, 9, 2, 1000);
    ExpectGeometry(Inspect("part.st", partTrack), DiskImageFormat::RawSt, {55, 2, 9}, 512000,
                   55 * 18 * 512);
    // The longest dump: 83 tracks of 11 sectors on two sides, told by its size.
    ExpectGeometry(Inspect("largest.st", Bytes(934912)), DiskImageFormat::RawSt, {83, 2, 11},
                   934912, 934912);
    ExpectGeometry(Inspect("single.st", Bytes(11 * 512)), DiskImageFormat::RawSt, {1, 1, 11}, 5632,
                   5632);
}

TEST_F(DiskImageFiles, FilesNoTestDescribesAreNotRecognised) {
    DiskImageInfo info;
    InspectDiskImage("", info);
    ExpectNotRecognised(info);
    InspectDiskImage((folder_ / "missing.st").string(), info);
    ExpectNotRecognised(info);
    ExpectNotRecognised(Inspect("short.st", Bytes(511)));
    ExpectNotRecognised(Inspect("one.st", Bytes(512)));  // one sector divides by no track length
    ExpectNotRecognised(Inspect("long.st", Bytes(934912 + 512)));
    ExpectNotRecognised(Inspect("odd.st", Bytes(737280 + 1)));
    Bytes twelveSectors(1442 * 512);  // 721 sectors a side: no track length divides them
    PutBootGeometry(twelveSectors, 12, 2, 1442);
    ExpectNotRecognised(Inspect("twelve.st", twelveSectors));
    // Headers that claim more than any drive holds: 65,536 tracks, or 65,535-sector tracks.
    Bytes msaHeader = PaddedToASector(MsaHeader({65536, 2, 9}));
    ExpectNotRecognised(Inspect("tracks.msa", msaHeader));
    Bytes dimHeader = DimFile({}, {1, 1, 0xFFFF}, 2);
    ExpectNotRecognised(Inspect("sectors.dim", dimHeader));
    EXPECT_NE(OpenImageFile((folder_ / "one.st").string()), nullptr);
    EXPECT_EQ(OpenImageFile((folder_ / "one.st").string() + std::string(1, '\0') + "x"), nullptr);
}

TEST_F(DiskImageFiles, MsaAndDimHeadersAreBelievedOnlyWhenTheyStartAtTrackZero) {
    Geometry geometry{82, 2, 10};
    Bytes image = PatternedDisk(geometry);
    Bytes msa = MsaFile(image, geometry, true);
    ExpectGeometry(Inspect("disk.msa", msa), DiskImageFormat::Msa, geometry, uint32_t(msa.size()),
                   uint32_t(image.size()));
    // FCopy's side count is the count itself.
    Bytes dim = DimFile(image, {82, 1, 10}, 2);
    ExpectGeometry(Inspect("disk.dim", dim), DiskImageFormat::Dim, geometry, uint32_t(dim.size()),
                   uint32_t(image.size()));

    // A first track other than 0: the file is judged as a raw dump, and an MSA one never as DIM.
    Bytes msaFromTrackOne = MsaHeader(geometry, 1);
    msaFromTrackOne.resize(737280);
    ExpectGeometry(Inspect("late.msa", msaFromTrackOne), DiskImageFormat::RawSt, {72, 2, 10},
                   737280, 737280);
    Bytes dimFromTrackOne = DimFile({}, geometry, 2);
    PutLittleEndian(dimFromTrackOne, 10, 1);
    ExpectNotRecognised(Inspect("late.dim", dimFromTrackOne));

    // A DIM with no sides is recognised but holds nothing, so no ratio and nothing to load.
    DiskImageInfo empty = Inspect("empty.dim", DimFile(image, geometry, 0));
    EXPECT_EQ(empty.format, DiskImageFormat::Dim);
    EXPECT_EQ(empty.imageSize, 0u);
    EXPECT_EQ(empty.ratio, 0.0f);
}

TEST_F(DiskImageFiles, EveryFormatLoadsTheSameByteSwappedDisk) {
    Geometry geometry{86, 2, 11};
    Bytes image = PatternedDisk(geometry);
    Bytes expected = Swapped(image);
    std::vector<std::pair<std::string, Bytes>> files = {
        {"disk.msa", MsaFile(image, geometry, true)},
        {"plain.msa", MsaFile(image, geometry, false)},
        {"disk.dim", DimFile(image, geometry, 2)},
    };
    // Raw dumps stop at 83 tracks of 11 sectors.
    Geometry rawGeometry{83, 2, 11};
    Bytes rawImage = PatternedDisk(rawGeometry);
    files.emplace_back("disk.st", rawImage);
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        bool raw = name == "disk.st";
        DiskImage drive;
        ASSERT_TRUE(LoadDiskImage(Write(name, file), drive));
        EXPECT_EQ(drive.data, raw ? Swapped(rawImage) : expected);
        Geometry loaded = raw ? rawGeometry : geometry;
        EXPECT_EQ(drive.tracks, loaded.tracks);
        EXPECT_EQ(drive.sides, loaded.sides);
        EXPECT_EQ(drive.sectors, loaded.sectors);
        // The boot sector's first word comes out with its bytes exchanged.
        EXPECT_EQ(drive.data[0], 0x1C);
        EXPECT_EQ(drive.data[1], 0x60);
    }
}

TEST_F(DiskImageFiles, MalformedMsaRecordsStopCleanlyAndLeaveZeros) {
    Geometry geometry{2, 1, 1};
    // A run that overshoots its track carries on into the next record's space; a run past the
    // image's end is cut there. Record lengths other than a whole track are only compared.
    Bytes overshoot = MsaHeader(geometry);
    for (Bytes record : {Bytes{0x00, 0x01, 0xE5, 0xAA, 0x03, 0x00},
                         Bytes{0x00, 0x05, 0xE5, 0x00, 0x00, 0x00, 0xE5, 0xBB, 0x01, 0x80, 0xCC}}) {
        overshoot.insert(overshoot.end(), record.begin(), record.end());
    }
    DiskImage drive;
    ASSERT_TRUE(LoadDiskImage(Write("overshoot.msa", PaddedToASector(overshoot)), drive));
    ASSERT_EQ(drive.data.size(), 1024u);
    EXPECT_EQ(std::count(drive.data.begin(), drive.data.begin() + 768, 0xAA), 768);
    EXPECT_EQ(std::count(drive.data.begin() + 768, drive.data.end(), 0xBB), 256);

    // Literals and runs both stop where the file ends; the rest of the disk reads as zeros.
    Geometry large{80, 2, 9};
    Bytes image = PatternedDisk(large);
    Bytes msa = MsaFile(image, large, true);
    for (size_t cut : {size_t(40000), msa.size() / 2 + 3, msa.size() - 700}) {
        SCOPED_TRACE(cut);
        size_t wholeRecords = 0;
        for (size_t record = 10; record + 2 <= cut; ++wholeRecords) {
            record += 2 + (msa[record] << 8 | msa[record + 1]);
            if (record > cut) break;
        }
        ASSERT_TRUE(LoadDiskImage(Write("cut.msa", Bytes(msa.begin(), msa.begin() + cut)), drive));
        ASSERT_EQ(drive.data.size(), image.size());
        Bytes expanded = Swapped(drive.data);
        size_t firstDifference =
            std::mismatch(expanded.begin(), expanded.end(), image.begin()).first - expanded.begin();
        EXPECT_GE(firstDifference, wholeRecords * large.TrackSize());
        EXPECT_LT(firstDifference, image.size());
        EXPECT_TRUE(std::all_of(expanded.begin() + firstDifference, expanded.end(),
                                [](uint8_t byte) { return byte == 0; }));
    }

    // A DIM cut short, in the middle of a word, keeps what it has and reads zeros beyond.
    Bytes dim = DimFile(image, large, 2);
    dim.resize(32 + 1001);
    ASSERT_TRUE(LoadDiskImage(Write("cut.dim", dim), drive));
    Bytes expanded = Swapped(drive.data);
    EXPECT_TRUE(std::equal(expanded.begin(), expanded.begin() + 1001, image.begin()));
    EXPECT_TRUE(std::all_of(expanded.begin() + 1001, expanded.end(),
                            [](uint8_t byte) { return byte == 0; }));
}

TEST_F(DiskImageFiles, FailedLoadsLeaveThePreviousDiskInTheDrive) {
    Geometry geometry{80, 2, 9};
    Bytes image = PatternedDisk(geometry);
    DiskImage drive;
    EXPECT_FALSE(LoadDiskImage(Write("unknown.st", Bytes(512)), drive));
    EXPECT_FALSE(drive.inserted());
    ASSERT_TRUE(LoadDiskImage(Write("disk.st", image), drive));
    const Bytes loaded = drive.data;
    for (const std::string& path :
         {std::string(), (folder_ / "missing.st").string(), Write("unknown.st", Bytes(512)),
          Write("empty.dim", DimFile(image, geometry, 0)),
          Write("huge.msa", PaddedToASector(MsaHeader({4000, 2, 11}))),
          (folder_ / "disk.st/inside").string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(LoadDiskImage(path, drive));
        EXPECT_EQ(drive.data, loaded);
        EXPECT_EQ(drive.tracks, 80);
        EXPECT_EQ(drive.sides, 2);
        EXPECT_EQ(drive.sectors, 9);
    }
}

// The zip rule on POSIX paths: a plain folder that happens to be called *.zip is just a folder.
TEST_F(DiskImageFiles, AFolderNamedLikeAnArchiveHoldsPlainFiles) {
    Bytes image = PatternedDisk({80, 2, 9});
    std::string path = Write("old.zip/disk.st", image);
    DiskImage drive;
    ASSERT_TRUE(LoadDiskImage(path, drive));
    EXPECT_EQ(drive.data, Swapped(image));
}

// Zip members, stored and deflated, as the disk manager addresses them.
using ZipImageFiles = DiskImageFiles;

TEST_F(ZipImageFiles, MembersAreFoundIgnoringCaseAndMeasuredUnpacked) {
    Bytes image(737280);  // recognised by its size
    std::string archive = Write("pack.ZIP", ZipArchive({{"readme.txt", Bytes{'h', 'i'}},
                                                        {"game.st", image, true},
                                                        {"stored.st", image},
                                                        {"disks/side b.st", image, true}}));
    for (const char* member : {"/Game.St", "/STORED.st", "/disks/Side B.st"}) {
        SCOPED_TRACE(member);
        DiskImageInfo info;
        InspectDiskImage(archive + member, info);
        ExpectGeometry(info, DiskImageFormat::RawSt, {72, 2, 10}, 737280, 737280);
        EXPECT_EQ(info.ratio, 1.0f);
        DiskImage drive;
        EXPECT_TRUE(LoadDiskImage(archive + member, drive));
        EXPECT_EQ(drive.data, image);
    }
    ArchiveHandle readme = OpenImageFile(archive + "/README.TXT");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(ArchiveMemberName(*readme), "readme.txt");
    EXPECT_EQ(OpenImageFile(archive + "/other.st"), nullptr);
    EXPECT_EQ(OpenImageFile(archive + "/"), nullptr);
    EXPECT_EQ(OpenImageFile((folder_ / "absent.zip/game.st").string()), nullptr);
}

TEST_F(ZipImageFiles, EveryFormatLoadsFromAMemberAndADamagedOneChangesNothing) {
    Geometry geometry{80, 2, 10};
    Bytes image = PatternedDisk(geometry);
    Bytes msa = MsaFile(image, geometry, true);
    std::string archive =
        Write("disks.zip", ZipArchive({{"a.st", image},
                                       {"b.msa", msa, true},
                                       {"c.dim", DimFile(image, geometry, 2), true},
                                       {"bad.st", image, false, true},
                                       {"bad.msa", msa, true, true}}));
    DiskImage drive;
    for (const char* member : {"a.st", "b.msa", "c.dim"}) {
        SCOPED_TRACE(member);
        drive = {};
        ASSERT_TRUE(LoadDiskImage(archive + "/" + member, drive));
        EXPECT_EQ(drive.data, Swapped(image));
    }
    DiskImageInfo info;
    InspectDiskImage(archive + "/b.msa", info);
    EXPECT_EQ(info.fileSize, msa.size());

    drive.data = {1, 2, 3, 4};
    for (const char* member : {"bad.st", "bad.msa", "other.st"}) {
        SCOPED_TRACE(member);
        EXPECT_FALSE(LoadDiskImage(archive + "/" + member, drive));
        EXPECT_EQ(drive.data, Bytes({1, 2, 3, 4}));
    }
}

}  // namespace
}  // namespace orvet
