// Disk image files and zip archives built in memory for the disk tests: the formats as other
// programs write them, so that no binary image needs to be kept in the repository.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace orvet::testing {

using Bytes = std::vector<uint8_t>;

// A fixture with a folder of its own, removed after the test, to write image files into.
struct ScratchFolder : ::testing::Test {
    std::filesystem::path folder;
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvet_disk_XXXXXX");
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
};

struct Geometry {
    int tracks;
    int sides;
    int sectors;
    size_t TrackSize() const { return size_t(sectors) * 512; }
    size_t ImageSize() const { return TrackSize() * tracks * sides; }
};

inline void PutLittleEndian(Bytes& bytes, size_t offset, uint16_t value) {
    bytes[offset] = value & 0xFF;
    bytes[offset + 1] = value >> 8;
}

inline void AppendBigEndian(Bytes& bytes, uint16_t value) {
    const uint8_t pair[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    bytes.insert(bytes.end(), pair, pair + 2);
}

inline void PutBootGeometry(Bytes& image, uint16_t sectorsPerTrack, uint16_t sides,
                            uint16_t total) {
    PutLittleEndian(image, 24, sectorsPerTrack);
    PutLittleEndian(image, 26, sides);
    PutLittleEndian(image, 19, total);
}

inline Bytes PackMsaTrack(const uint8_t* track, size_t size) {
    Bytes packed;
    for (size_t start = 0; start < size;) {
        size_t end = start;
        while (end < size && track[end] == track[start] && end - start < 0xFFFF) ++end;
        size_t run = end - start;
        if (run >= 4 || track[start] == 0xE5) {
            packed.push_back(0xE5);
            packed.push_back(track[start]);
            AppendBigEndian(packed, uint16_t(run));
            start = end;
        } else {
            packed.push_back(track[start++]);
        }
    }
    return packed;
}

inline Bytes MsaHeader(Geometry geometry, uint16_t firstTrack = 0) {
    Bytes file{0x0E, 0x0F};
    AppendBigEndian(file, geometry.sectors);
    AppendBigEndian(file, geometry.sides - 1);
    AppendBigEndian(file, firstTrack);
    AppendBigEndian(file, geometry.tracks - 1);
    return file;
}

// Inspection wants 512 bytes from any file; trailing bytes after the last record are not read.
inline Bytes PaddedToASector(Bytes file) {
    if (file.size() < 512) file.resize(512);
    return file;
}

inline Bytes MsaFile(const Bytes& image, Geometry geometry, bool pack) {
    Bytes file = MsaHeader(geometry);
    for (size_t offset = 0; offset < image.size(); offset += geometry.TrackSize()) {
        Bytes packed = PackMsaTrack(&image[offset], geometry.TrackSize());
        if (pack && packed.size() < geometry.TrackSize()) {
            AppendBigEndian(file, uint16_t(packed.size()));
            file.insert(file.end(), packed.begin(), packed.end());
        } else {
            AppendBigEndian(file, uint16_t(geometry.TrackSize()));
            file.insert(file.end(), image.begin() + offset,
                        image.begin() + offset + geometry.TrackSize());
        }
    }
    return PaddedToASector(std::move(file));
}

inline Bytes DimFile(const Bytes& image, Geometry geometry, uint16_t sidesField) {
    Bytes file(32);
    file[0] = file[1] = 0x42;
    PutLittleEndian(file, 8, geometry.sectors);
    PutLittleEndian(file, 12, geometry.tracks - 1);
    PutLittleEndian(file, 14, sidesField);
    file.insert(file.end(), image.begin(), image.end());
    return PaddedToASector(std::move(file));
}

inline Bytes Swapped(Bytes bytes) {
    for (size_t index = 0; index + 1 < bytes.size(); index += 2) {
        std::swap(bytes[index], bytes[index + 1]);
    }
    return bytes;
}

inline uint32_t ZlibCrc32(const Bytes& bytes) {
    return uint32_t(crc32(0, bytes.data(), uInt(bytes.size())));
}

// Appends each value as a little-endian field of the given width in bytes.
inline void AppendFields(Bytes& bytes, std::initializer_list<std::pair<uint32_t, int>> fields) {
    for (auto [value, width] : fields) {
        for (int byte = 0; byte < width; ++byte) bytes.push_back(uint8_t(value >> 8 * byte));
    }
}

inline Bytes RawDeflate(const Bytes& data) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes packed(deflateBound(&stream, uLong(data.size())));
    stream.next_in = const_cast<uint8_t*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = packed.data();
    stream.avail_out = uInt(packed.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

struct ZipMember {
    std::string name;
    Bytes data;
    bool deflated = false;
    bool wrongCrc = false;  // the member as a damaged archive holds it
};

// A zip archive: local headers with their data, then the central directory.
inline Bytes ZipArchive(const std::vector<ZipMember>& members) {
    Bytes archive;
    Bytes directory;
    for (const ZipMember& member : members) {
        Bytes stored = member.deflated ? RawDeflate(member.data) : member.data;
        uint32_t nameLength = uint32_t(member.name.size());
        auto appendCommon = [&](Bytes& out) {  // version needed to the extra field's length
            AppendFields(out, {{20, 2},
                               {0, 2},
                               {member.deflated ? 8 : 0, 2},
                               {0, 2},
                               {0x21, 2},
                               {ZlibCrc32(member.data) ^ (member.wrongCrc ? 1 : 0), 4},
                               {uint32_t(stored.size()), 4},
                               {uint32_t(member.data.size()), 4},
                               {nameLength, 2},
                               {0, 2}});
        };
        AppendFields(directory, {{0x02014B50, 4}, {20, 2}});
        appendCommon(directory);
        // comment, disk, attributes, the local header's offset
        AppendFields(directory, {{0, 2}, {0, 2}, {0, 2}, {0, 4}, {uint32_t(archive.size()), 4}});
        directory.insert(directory.end(), member.name.begin(), member.name.end());

        AppendFields(archive, {{0x04034B50, 4}});
        appendCommon(archive);
        archive.insert(archive.end(), member.name.begin(), member.name.end());
        archive.insert(archive.end(), stored.begin(), stored.end());
    }
    uint32_t directoryOffset = uint32_t(archive.size());
    uint32_t count = uint32_t(members.size());
    archive.insert(archive.end(), directory.begin(), directory.end());
    AppendFields(archive, {{0x06054B50, 4},
                           {0, 4},
                           {count, 2},
                           {count, 2},
                           {uint32_t(directory.size()), 4},
                           {directoryOffset, 4},
                           {0, 2}});
    return archive;
}

}  // namespace orvet::testing
