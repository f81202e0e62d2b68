#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "disk/archive_file.h"
#include "disk/crc32.h"
#include "zlib_reference.h"

namespace orvet {
namespace {

struct Member {
    Member(std::string name, std::vector<uint8_t> data, uint16_t method = 8, uint16_t flags = 0,
           bool descriptorSignature = true)
        : name(std::move(name)),
          data(std::move(data)),
          method(method),
          flags(flags),
          descriptorSignature(descriptorSignature) {}
    std::string name;
    std::vector<uint8_t> data;
    uint16_t method;
    uint16_t flags;  // bit 3: sizes and CRC in a data descriptor after the data
    bool descriptorSignature;
    std::optional<uint32_t> crc;  // what the headers claim, when not the truth
    std::optional<uint32_t> size;
};

Member Claiming(Member member, std::optional<uint32_t> crc, std::optional<uint32_t> size) {
    member.crc = crc;
    member.size = size;
    return member;
}

void PutLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index)
        out.push_back(static_cast<uint8_t>(value >> (8 * index)));
}

// A zip archive as archivers write it: local headers and data, then the central directory.
std::vector<uint8_t> BuildZip(const std::vector<Member>& members, bool withDirectory = true) {
    std::vector<uint8_t> archive, directory;
    for (const Member& member : members) {
        const std::vector<uint8_t> stored =
            member.method == 8 ? testing::ZlibDeflate(member.data) : member.data;
        const uint32_t crc = member.crc.value_or(Crc32(member.data));
        const uint32_t size = member.size.value_or(static_cast<uint32_t>(member.data.size()));
        const uint32_t compressedSize = static_cast<uint32_t>(stored.size());
        const bool inDescriptor = member.flags & 8;
        const uint32_t headerOffset = static_cast<uint32_t>(archive.size());
        for (auto* out : {&archive, &directory}) {
            const bool local = out == &archive;
            PutLittle(*out, local ? 0x04034B50 : 0x02014B50, 4);
            if (!local) PutLittle(*out, 20, 2);  // version made by
            for (uint32_t field : {20u, uint32_t{member.flags}, uint32_t{member.method}, 0u, 0u}) {
                PutLittle(*out, field, 2);
            }
            for (uint32_t field : {crc, compressedSize, size}) {
                PutLittle(*out, local && inDescriptor ? 0 : field, 4);
            }
            PutLittle(*out, static_cast<uint32_t>(member.name.size()), 2);
            PutLittle(*out, 0, 2);
            if (!local) {
                for (int field = 0; field < 3; ++field)
                    PutLittle(*out, 0, 2);  // comment, disk, attributes
                PutLittle(*out, 0, 4);
                PutLittle(*out, headerOffset, 4);
            }
            out->insert(out->end(), member.name.begin(), member.name.end());
        }
        archive.insert(archive.end(), stored.begin(), stored.end());
        if (inDescriptor) {
            if (member.descriptorSignature) PutLittle(archive, 0x08074B50, 4);
            for (uint32_t field : {crc, compressedSize, size}) PutLittle(archive, field, 4);
        }
    }
    if (!withDirectory) return archive;
    const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
    archive.insert(archive.end(), directory.begin(), directory.end());
    PutLittle(archive, 0x06054B50, 4);
    PutLittle(archive, 0, 4);
    PutLittle(archive, static_cast<uint32_t>(members.size()), 2);
    PutLittle(archive, static_cast<uint32_t>(members.size()), 2);
    PutLittle(archive, static_cast<uint32_t>(directory.size()), 4);
    PutLittle(archive, directoryOffset, 4);
    PutLittle(archive, 0, 2);
    return archive;
}

std::vector<uint8_t> DiskLikeBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (size_t index = 0; index < size; ++index) {
        bytes[index] = (index / 512) % 3 == 0 ? static_cast<uint8_t>(random())
                                              : static_cast<uint8_t>(index / 512);
    }
    return bytes;
}

std::string WriteTemporary(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<uint8_t> ReadAll(ArchiveFile& file, size_t room) {
    std::vector<uint8_t> bytes(room);
    bytes.resize(ArchiveRead(bytes.data(), 1, bytes.size(), file));
    return bytes;
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

TEST(ArchiveFile, PlainFileIsOneNamelessMemberWithSeekAndTell) {
    const std::vector<uint8_t> bytes = DiskLikeBytes(5000, 1);
    const std::string path = WriteTemporary(bytes, "orvet_plain_test.st");
    ArchiveHandle file = ArchiveOpen(path);
    ASSERT_TRUE(file);
    EXPECT_FALSE(ArchiveMemberName(*file));
    EXPECT_EQ(ReadAll(*file, 6000), bytes);
    EXPECT_EQ(ArchiveSeek(*file, 0, 2), 0);
    EXPECT_EQ(ArchiveTell(*file), 5000);
    EXPECT_EQ(ArchiveSeek(*file, -10, 2), 0);
    EXPECT_EQ(ReadAll(*file, 10), std::vector<uint8_t>(bytes.end() - 10, bytes.end()));
    EXPECT_EQ(ArchiveSeek(*file, -5001, 1), -1);
    EXPECT_EQ(ArchiveSeek(*file, 1, 2), -1);
    EXPECT_EQ(ArchiveSeek(*file, 0, 3), -1);
    EXPECT_EQ(ArchiveTell(*file), 5000);
    EXPECT_EQ(ArchiveNextMember(*file), -1);
    EXPECT_FALSE(ArchiveClose(std::move(file)));
    std::filesystem::remove(path);

    EXPECT_FALSE(ArchiveOpen(path));
    EXPECT_FALSE(ArchiveOpen(std::filesystem::temp_directory_path().string()));
}

TEST(ArchiveFile, WalksStoredDeflatedAndFolderMembersFromFileOrMemory) {
    const std::vector<Member> members = {
        {"GAMES/DISK1.ST", DiskLikeBytes(100000, 2)},
        {"", {}, 0},  // a folder entry without a name still lets the walk go on
        {"readme.txt", DiskLikeBytes(3000, 3), 0},
        {"DISK2.MSA", DiskLikeBytes(40000, 4), 8, 8, false},
        {"DISK3.ST", DiskLikeBytes(30000, 5), 0, 8, true},
        {"empty", {}, 8},
    };
    const std::vector<uint8_t> zip = BuildZip(members);
    const std::string path = WriteTemporary(zip, "orvet_walk_test.zip");
    std::mt19937 random(9);
    for (bool fromFile : {true, false}) {
        ArchiveHandle file = fromFile ? ArchiveOpen(path) : ArchiveOpenMemory(zip);
        ASSERT_TRUE(file);
        for (size_t index = 0; index < members.size(); ++index) {
            const Member& member = members[index];
            ASSERT_EQ(ArchiveMemberName(*file), member.name);
            // Random reads at random places, forwards and back, across chunk borders.
            for (int read = 0; read < 40 && !member.data.empty(); ++read) {
                const size_t start = random() % member.data.size();
                ASSERT_EQ(ArchiveSeek(*file, static_cast<int64_t>(start), 0), 0);
                const size_t room = random() % 70000;
                const std::vector<uint8_t> got = ReadAll(*file, room);
                ASSERT_EQ(got.size(), std::min(member.data.size() - start, room));
                ASSERT_TRUE(std::equal(got.begin(), got.end(), member.data.begin() + start));
            }
            ASSERT_EQ(ArchiveSeek(*file, 0, 0), 0);
            EXPECT_EQ(ReadAll(*file, member.data.size() + 1), member.data) << member.name;
            EXPECT_FALSE(ArchiveFailed(*file)) << member.name;
            EXPECT_EQ(ArchiveNextMember(*file), index + 1 < members.size() ? 0 : -1);
        }
        EXPECT_FALSE(ArchiveMemberName(*file));
        EXPECT_FALSE(ArchiveClose(std::move(file)));  // reaching the directory is no damage
    }
    std::filesystem::remove(path);

    ArchiveHandle empty = ArchiveOpenMemory(BuildZip({}));
    EXPECT_FALSE(ArchiveMemberName(*empty));
    EXPECT_EQ(ArchiveTell(*empty), -1);
    EXPECT_EQ(ArchiveNextMember(*empty), -1);
    EXPECT_FALSE(ArchiveClose(std::move(empty)));
}

TEST(ArchiveFile, LargeMembersExpandThroughAnAnonymousTemporaryFile) {
    const std::vector<uint8_t> disk = DiskLikeBytes(737280, 6);
    const std::vector<uint8_t> smaller = DiskLikeBytes(200000, 7);
    const std::string path =
        WriteTemporary(BuildZip({{"BIG.ST", disk}, {"SMALL.ST", smaller}}), "orvet_large.zip");
    const size_t descriptorsBefore = OpenDescriptors();
    ArchiveHandle file = ArchiveOpen(path);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore + 2);  // the archive and the expanded member
    EXPECT_EQ(ReadAll(*file, disk.size()), disk);
    ASSERT_EQ(ArchiveNextMember(*file), 0);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore + 1);  // expanded in memory
    std::vector<uint8_t> items(300000);
    EXPECT_EQ(ArchiveRead(items.data(), 1, items.size(), *file), smaller.size());
    EXPECT_TRUE(std::equal(smaller.begin(), smaller.end(), items.begin()));
    ASSERT_EQ(ArchiveSeek(*file, 0, 0), 0);
    EXPECT_EQ(ArchiveRead(items.data(), 7, 300000 / 7, *file), smaller.size() / 7);
    EXPECT_EQ(ArchiveTell(*file), static_cast<int64_t>(smaller.size() / 7 * 7));
    EXPECT_FALSE(ArchiveClose(std::move(file)));
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    std::filesystem::remove(path);
}

TEST(ArchiveFile, DamagedOrUnsupportedMembersFailWithoutStoppingTheWalk) {
    const std::vector<uint8_t> data = DiskLikeBytes(50000, 8);
    struct Case {
        const char* what;
        Member member;
    };
    const Case cases[] = {
        {"wrong CRC, deflated", Claiming({"a", data}, 0x12345678, std::nullopt)},
        {"wrong CRC, stored", Claiming({"a", data, 0}, 0x12345678, std::nullopt)},
        {"expands beyond its size", Claiming({"a", data}, std::nullopt, 49999)},
        {"expands short of its size", Claiming({"a", data}, std::nullopt, 50001)},
        {"stored size unlike the compressed size", Claiming({"a", data, 0}, std::nullopt, 100)},
        {"larger than 64 MB", Claiming({"a", data}, std::nullopt, 0x4000001)},
        {"encrypted", Member("a", data, 8, 1)},
        {"method 12", Member("a", data, 12)},
    };
    for (const Case& damaged : cases) {
        ArchiveHandle file = ArchiveOpenMemory(BuildZip({damaged.member, {"next", data}}));
        EXPECT_TRUE(ReadAll(*file, 100000).empty()) << damaged.what;
        EXPECT_TRUE(ArchiveFailed(*file)) << damaged.what;
        EXPECT_EQ(ArchiveTell(*file), -1) << damaged.what;
        ASSERT_EQ(ArchiveNextMember(*file), 0) << damaged.what;
        EXPECT_EQ(ReadAll(*file, 100000), data) << damaged.what;
        EXPECT_FALSE(ArchiveClose(std::move(file))) << damaged.what;
    }

    // A damaged CRC can only show once the member has been read to its end.
    ArchiveHandle file = ArchiveOpenMemory(BuildZip({cases[0].member}));
    EXPECT_EQ(ReadAll(*file, 100).size(), 100u);
    EXPECT_FALSE(ArchiveClose(std::move(file)));

    // Any single flipped byte in the deflated data fails the read of the whole member.
    std::vector<uint8_t> zip = BuildZip({{"a", data}});
    const size_t dataStart = 30 + 1;
    const size_t dataEnd = zip.size() - (46 + 1) - 22;
    for (size_t offset = dataStart; offset < dataEnd; offset += 97) {
        zip[offset] ^= 0x10;
        file = ArchiveOpenMemory(zip);
        EXPECT_TRUE(ReadAll(*file, data.size()).empty()) << offset;
        EXPECT_TRUE(ArchiveClose(std::move(file))) << offset;
        zip[offset] ^= 0x10;
    }
}

TEST(ArchiveFile, ArchivesThatCannotBeWalkedOnReportDamage) {
    const std::vector<uint8_t> data = DiskLikeBytes(20000, 10);
    // Sizes left to a data descriptor cannot be known without the central directory.
    ArchiveHandle file =
        ArchiveOpenMemory(BuildZip({{"a", data, 8, 8}, {"b", data}}, /*withDirectory=*/false));
    EXPECT_EQ(ArchiveMemberName(*file), "a");
    EXPECT_TRUE(ArchiveFailed(*file));
    EXPECT_EQ(ArchiveNextMember(*file), -1);

    // Members followed by something other than the central directory: the archive is damaged.
    std::vector<uint8_t> zip = BuildZip({{"a", data}}, false);
    zip.insert(zip.end(), 40, 0x55);
    file = ArchiveOpenMemory(zip);
    EXPECT_EQ(ReadAll(*file, data.size()), data);
    EXPECT_EQ(ArchiveNextMember(*file), -1);
    EXPECT_TRUE(ArchiveClose(std::move(file)));
}

}  // namespace
}  // namespace orvet
