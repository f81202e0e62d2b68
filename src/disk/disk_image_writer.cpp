// Writing a disk back to its image file. A disk a program wrote to is worth more than the file it
// came from, and the file is all the user has once the program ends: it is replaced whole (a new
// file beside it, flushed, renamed over it), so a crash or a full disk at any moment leaves the
// old file or the new one, and the very first version is kept aside as NAME.orig.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "disk/disk_image.h"

namespace orvet {
namespace {

constexpr size_t kSectorSize = 512;
constexpr size_t kDimHeaderSize = 32;
constexpr uint8_t kMsaRunMarker = 0xE5;
// A run shorter than this costs more packed (marker, byte, two count bytes) than as it stands.
constexpr size_t kShortestPackedRun = 4;
constexpr size_t kLongestMsaRecord = 0xFFFF;

std::string HostError(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

void PutBigEndian(std::vector<uint8_t>& out, size_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// One MSA track record: its length, then the track packed, or as it stands when packing does not
// make it shorter. A packed record must never come out exactly a track long, since a reader takes
// that length for an unpacked track. The marker byte always goes as a run, even alone: on its own
// it would open one.
bool AppendMsaTrack(std::vector<uint8_t>& out, const uint8_t* track, size_t trackSize) {
    std::vector<uint8_t> packed;
    for (size_t index = 0; index < trackSize;) {
        const uint8_t value = track[index];
        size_t run = 1;
        while (index + run < trackSize && track[index + run] == value && run < 0xFFFF) ++run;
        if (run >= kShortestPackedRun || value == kMsaRunMarker) {
            packed.push_back(kMsaRunMarker);
            packed.push_back(value);
            PutBigEndian(packed, run);
        } else {
            packed.insert(packed.end(), run, value);
        }
        index += run;
    }
    if (packed.size() >= trackSize && trackSize <= kLongestMsaRecord) {
        PutBigEndian(out, trackSize);
        out.insert(out.end(), track, track + trackSize);
        return true;
    }
    if (packed.size() > kLongestMsaRecord) return false;
    PutBigEndian(out, packed.size());
    out.insert(out.end(), packed.begin(), packed.end());
    return true;
}

// The file's bytes for the disk, in the format it was read from.
bool EncodeImage(const DiskImage& disk, std::vector<uint8_t>& file, std::string& error) {
    // The disk is kept word-swapped like the machine's memory; files hold the bytes in order.
    std::vector<uint8_t> bytes(disk.data.size());
    for (size_t index = 0; index < bytes.size(); ++index) {
        const size_t partner = index ^ 1;  // an odd last byte has none
        bytes[index] = disk.data[partner < bytes.size() ? partner : index];
    }
    switch (disk.format) {
        case DiskImageFormat::RawSt:
            file = std::move(bytes);
            return true;
        case DiskImageFormat::Dim: {
            std::vector<uint8_t> header = disk.dimHeader;
            if (header.size() != kDimHeaderSize) {
                // FCopy's own fields: the identifier, then the geometry as the reader takes it.
                header.assign(kDimHeaderSize, 0);
                header[0] = header[1] = 0x42;
                const uint32_t words[][2] = {{8, uint32_t(disk.sectors)},
                                             {12, uint32_t(disk.tracks - 1)},
                                             {14, uint32_t(disk.sides)}};
                for (const auto& [offset, value] : words) {
                    header[offset] = static_cast<uint8_t>(value);
                    header[offset + 1] = static_cast<uint8_t>(value >> 8);
                }
            }
            file = std::move(header);
            file.insert(file.end(), bytes.begin(), bytes.end());
            return true;
        }
        case DiskImageFormat::Msa: {
            const size_t trackSize = size_t(disk.sectors) * kSectorSize;
            const size_t records = size_t(disk.tracks) * size_t(disk.sides);
            if (disk.sectors < 1 || disk.sectors > 0xFFFF || disk.sides < 1 ||
                disk.sides > 0x10000 || disk.tracks < 1 || disk.tracks > 0x10000 ||
                records * trackSize != bytes.size()) {
                error = "the disk's layout has no MSA header";
                return false;
            }
            file.clear();
            file.push_back(0x0E);
            file.push_back(0x0F);
            PutBigEndian(file, size_t(disk.sectors));
            PutBigEndian(file, size_t(disk.sides - 1));
            PutBigEndian(file, 0);
            PutBigEndian(file, size_t(disk.tracks - 1));
            for (size_t record = 0; record < records; ++record) {
                if (!AppendMsaTrack(file, bytes.data() + record * trackSize, trackSize)) {
                    error = "a track does not fit an MSA record";
                    return false;
                }
            }
            // Shorter than a sector, the file would not be recognised as an image again.
            if (file.size() < kSectorSize) file.resize(kSectorSize, 0);
            return true;
        }
        case DiskImageFormat::NotRecognised:
            break;
    }
    error = "the disk has no image format to be written in";
    return false;
}

bool WriteAll(int descriptor, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// Puts `bytes` at `path` whole or not at all: written under a temporary name in the same folder
// (a rename is only atomic within one file system), flushed to the disk, then renamed over it.
// The new file takes the old one's permissions.
bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::string temporary = path + ".orvet-XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        error = HostError("cannot create a file beside", path);
        return false;
    }
    struct stat old {};
    const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    bool written = fchmod(descriptor, mode) == 0 && WriteAll(descriptor, bytes);
    if (!written) error = HostError("cannot write", temporary);
    if (written && fsync(descriptor) != 0) {
        error = HostError("cannot flush", temporary);
        written = false;
    }
    if (close(descriptor) != 0 && written) {
        error = HostError("cannot close", temporary);
        written = false;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        error = HostError("cannot rename the new file to", path);
        written = false;
    }
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder's entry.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int folderDescriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (folderDescriptor >= 0) {
        fsync(folderDescriptor);
        close(folderDescriptor);
    }
    return true;
}

// Copies the file as it was before the first save to NAME.orig, unless a NAME.orig is there
// already: an earlier run's original is the real one. A file that has gone has no original.
bool KeepOriginal(const std::string& path, std::string& error) {
    const std::string original = path + ".orig";
    struct stat info {};
    if (lstat(original.c_str(), &info) == 0) return true;
    const int descriptor = open(path.c_str(), O_RDONLY);
    if (descriptor < 0) {
        if (errno == ENOENT) return true;
        error = HostError("cannot read", path);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = HostError("cannot read", path);
            close(descriptor);
            return false;
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    close(descriptor);
    return ReplaceFile(original, bytes, error);
}

}  // namespace

bool SaveDiskImage(DiskImage& disk, std::string* error) {
    auto fail = [&](const std::string& reason) {
        disk.saveError = reason;
        if (error) *error = reason;
        return false;
    };
    if (!disk.dirty) return true;
    if (disk.path.empty()) return fail("the disk has no image file");
    if (!disk.protectReason.empty()) return fail(disk.protectReason);
    std::vector<uint8_t> file;
    std::string reason;
    try {
        // A link is followed: renaming over it would leave the file it names as it was.
        std::error_code linkError;
        const std::filesystem::path real = std::filesystem::canonical(disk.path, linkError);
        const std::string target = linkError ? disk.path : real.string();
        if (!EncodeImage(disk, file, reason)) return fail(reason);
        if (!disk.originalKept && !KeepOriginal(target, reason)) {
            return fail("the original was not kept: " + reason);
        }
        disk.originalKept = true;
        if (!ReplaceFile(target, file, reason)) return fail(reason);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to write the image");
    }
    disk.dirty = false;
    disk.framesSinceWrite = 0;
    disk.saveError.clear();
    return true;
}

}  // namespace orvet
