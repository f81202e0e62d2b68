// Disk images come from anywhere: every file the disk manager is pointed at is inspected, and
// inserting it unpacks it. Input: byte 0 picks the file's extension (.st, .msa, .dim, by its value
// modulo 3), the rest is the file. Besides the sanitizers' checks, a load must agree with the
// inspection, a failed load must leave the disk already in the drive untouched, and a disk that
// may be written back must come back from its saved file with the same sectors.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "disk/disk_image.h"

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "orvet_disk_image_fuzz: %s\n", what);
    std::abort();
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvet;
    if (size == 0) return 0;
    // One file per extension per process, so parallel jobs do not share them.
    static const std::array<std::string, 3> paths = [] {
        // A save flushes the file to the disk; in memory that costs nothing, so the round trip
        // can run on every input.
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm", error)
                                                 ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path();
        std::string stem =
            (folder / ("orvet_disk_image_fuzz_" + std::to_string(getpid()))).string();
        return std::array<std::string, 3>{stem + ".st", stem + ".msa", stem + ".dim"};
    }();
    const std::string& path = paths[data[0] % 3];
    Require(WriteFile(path, data + 1, size - 1), "cannot write the temporary image file");

    DiskImageInfo info;
    InspectDiskImage(path, info);
    Require(info.reserved == 0, "reserved field set");
    if (info.format == DiskImageFormat::NotRecognised) {
        Require((info.fileSize | info.imageSize | info.tracks | info.sides | info.sectors) == 0 &&
                    info.ratio == 0.0f,
                "an unrecognised file left fields set");
    } else {
        Require(info.fileSize == size - 1, "file size differs from the file's length");
        Require(info.imageSize <= kLargestDiskImageSize, "image larger than any drive reads");
        Require((info.imageSize == 0) == (info.ratio == 0.0f), "ratio disagrees with image size");
    }
    if (info.format == DiskImageFormat::RawSt) {
        Require(info.imageSize <= info.fileSize, "raw image larger than its file");
    }

    DiskImage drive;
    drive.data = {1, 2, 3, 4};
    drive.tracks = drive.sides = drive.sectors = 1;
    if (LoadDiskImage(path, drive)) {
        Require(info.format != DiskImageFormat::NotRecognised, "loaded an unrecognised file");
        Require(drive.data.size() == info.imageSize, "image size differs from the inspection");
        Require(drive.tracks == int32_t(info.tracks) && drive.sides == int32_t(info.sides) &&
                    drive.sectors == int32_t(info.sectors),
                "geometry differs from the inspection");
        // Large images cost the short run its time without reaching other code.
        if (!drive.writeProtected && drive.data.size() <= 64 * 1024) {
            drive.dirty = true;
            std::string error;
            Require(SaveDiskImage(drive, &error), "a writable disk could not be saved");
            DiskImage reloaded;
            Require(LoadDiskImage(path, reloaded), "the saved file does not load");
            Require(reloaded.data == drive.data && reloaded.tracks == drive.tracks &&
                        reloaded.sides == drive.sides && reloaded.sectors == drive.sectors,
                    "the saved file holds another disk");
            Require(!reloaded.writeProtected, "the saved file cannot be written back");
        }
    } else {
        Require(info.format == DiskImageFormat::NotRecognised || info.imageSize == 0,
                "a recognised image failed to load");
        Require(drive.data == std::vector<uint8_t>{1, 2, 3, 4} && drive.tracks == 1 &&
                    drive.sides == 1 && drive.sectors == 1,
                "a failed load changed the drive");
    }
    std::remove(path.c_str());
    std::remove((path + ".orig").c_str());
    return 0;
}
