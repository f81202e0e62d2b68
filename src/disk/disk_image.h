// The floppy disk in drive A, as the controller reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/archive_file.h"

namespace orvet {

// What an image file holds, as the disk manager shows it before the disk goes in. Every field is
// zero when the file is not a disk image the drive can take.
enum class DiskImageFormat : uint32_t {
    NotRecognised = 0,
    RawSt = 1,  // a plain dump of the sectors
    Msa = 2,    // run-length packed tracks
    Dim = 3,    // FCopy's sector dump behind a 32-byte header
};

// Sector s (from 1) of side h of track t starts at ((t * sides + h) * sectors + s - 1) * 512.
// The bytes of each 16-bit word are exchanged, as in the machine's memory, so that the DMA
// copies the image word for word.
//
// What a program writes changes `data` at once, so that it reads back what it wrote; the file
// catches up later (SaveDiskImage), in its own format, replaced whole.
struct DiskImage {
    std::vector<uint8_t> data;  // empty: no disk in the drive
    int32_t tracks = 0;         // per side
    int32_t sides = 0;
    int32_t sectors = 0;        // per track, 512 bytes each

    // The file the disk came from and how it is laid out there; empty for a disk built in memory,
    // which has nowhere to go back to.
    std::string path;
    DiskImageFormat format = DiskImageFormat::NotRecognised;
    std::vector<uint8_t> dimHeader;  // a DIM file's 32 header bytes, written back as they were
    // The drive's write-protect line: the controller refuses every write while it is set.
    bool writeProtected = false;
    // Why the disk cannot go back to its file (a zip member, a read-only file or folder, a file
    // that holds more than the disk); empty when it can. Such a disk is write-protected.
    std::string protectReason;
    bool protectReported = false;  // the status line has told why, once for this disk
    bool dirty = false;            // written since the file was last brought up to date
    int32_t framesSinceWrite = 0;  // machine frames since the last write, while dirty
    bool originalKept = false;     // NAME.orig was looked after before the first save
    std::string saveError;         // why the last save failed; empty after one that worked

    bool inserted() const { return !data.empty(); }
};

struct DiskImageInfo {
    DiskImageFormat format = DiskImageFormat::NotRecognised;
    uint32_t reserved = 0;
    uint32_t fileSize = 0;   // a zip member counts with its unpacked size
    uint32_t imageSize = 0;  // bytes the drive will hold once the file is unpacked
    uint32_t sides = 0;
    uint32_t sectors = 0;  // per track
    uint32_t tracks = 0;   // per side
    float ratio = 0.0f;    // fileSize / imageSize; 0 while imageSize is 0
};

// No drive ever read more than a 2.88 MB extra-density disk. A header that claims more than this
// is damaged, and believing it would let a file of a few bytes ask for gigabytes of memory.
constexpr uint32_t kLargestDiskImageSize = 4 * 1024 * 1024;

// Opens an image for reading. A path whose folder ends in ".zip" (any case) and is a file names a
// member of that archive: ".../pack.zip/disk.st" selects the member whose name equals "disk.st",
// case ignored. Null when the file cannot be opened or the archive has no such member.
ArchiveHandle OpenImageFile(const std::string& path);

// Tells what the file at path holds without touching any drive. An MSA or DIM header is believed;
// a header-less file is a raw ST dump whose boot sector describes it, or failing that whose size
// is a whole number of 9, 10 or 11-sector tracks of at most 1826 sectors.
void InspectDiskImage(const std::string& path, DiskImageInfo& info);

// Reads and unpacks the image at path into the drive, its 16-bit words byte-swapped like the
// machine's memory. Every failure (unreadable or unrecognised file, an image of no bytes, a damaged
// archive member, no memory) returns false and leaves the drive's previous disk in place. Bytes an
// MSA or DIM file lacks, truncated or cut short, read as zeros. On failure `error`, when given,
// gets the reason in a few words.
//
// A disk already in the drive with unsaved writes is saved first; when that fails the load fails
// and the drive keeps it, so that no write is lost.
bool LoadDiskImage(const std::string& path, DiskImage& drive, std::string* error = nullptr);

// Brings the image's file up to date with what was written to the disk; a disk with no unsaved
// writes is left alone (true). The file is written in its own format (.st, .msa, .dim) beside
// itself under a temporary name, flushed and renamed over the old one, so that a crash leaves
// either the old file or the new one, never half of one. Before the first save the file is
// copied once to NAME.orig, unless that exists. False, with the reason in `error`, when the disk
// is protected, has no file, or the host refused; the disk then stays dirty and the old file as
// it was.
bool SaveDiskImage(DiskImage& disk, std::string* error = nullptr);

// Why the image at `path` cannot be written back, or empty when it can: a zip member, a file or
// folder the host will not let us write.
std::string DiskWriteRefusal(const std::string& path);

}  // namespace orvet
