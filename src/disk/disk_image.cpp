// Floppy images as files: raw sector dumps (.st), MSA's run-length packed tracks and FCopy's DIM,
// each either a host file or a member of a zip archive that the path treats as a folder.
#include "disk/disk_image.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>
#include <utility>

namespace orvet {
namespace {

constexpr uint32_t kSectorSize = 512;
// Where MSA's track records begin, and DIM's sectors.
constexpr int64_t kMsaHeaderSize = 10;
constexpr int64_t kDimHeaderSize = 32;
// An MSA byte of this value opens a run: the byte to repeat, then a 16-bit count. It is also the
// byte a freshly formatted sector is filled with, so blank tracks pack into one run per track.
constexpr uint8_t kMsaRunMarker = 0xE5;
// The largest raw dump the boot sector or the size may describe: 83 tracks of 11 sectors on two
// sides, the most an ST formatter lays down.
constexpr uint32_t kLargestRawSectorCount = 1826;
// Half the largest dump: from here on a dump recognised by its size has two sides.
constexpr uint32_t kFewestDoubleSidedSectors = 913;

uint16_t BigEndianWord(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint16_t LittleEndianWord(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[1] << 8 | bytes[0]);
}

char AsciiLower(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                : character;
}

// Zip member names and the ".zip" extension come from disks made on machines whose file names
// ignore case, so the path may spell them either way.
bool EqualIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

// Records a geometry read from a header; the image is the product of the three. A header that
// claims more than any drive reads leaves the file unrecognised.
bool SetHeaderGeometry(DiskImageInfo& info, DiskImageFormat format, uint32_t sectors,
                       uint32_t sides, uint32_t tracks) {
    uint64_t imageSize = uint64_t{tracks} * sectors * sides * kSectorSize;
    if (imageSize > kLargestDiskImageSize) return false;
    info.format = format;
    info.sectors = sectors;
    info.sides = sides;
    info.tracks = tracks;
    info.imageSize = static_cast<uint32_t>(imageSize);
    return true;
}

// A raw dump has no header of its own; a formatted disk's boot sector tells its geometry, as long
// as the sector count it gives is exactly the file's length.
bool RecogniseByBootSector(DiskImageInfo& info, const uint8_t* bootSector, int64_t fileSize) {
    uint32_t sectorsPerTrack = LittleEndianWord(bootSector + 24);
    uint32_t sides = LittleEndianWord(bootSector + 26);
    uint32_t totalSectors = LittleEndianWord(bootSector + 19);
    if (sectorsPerTrack < 9 || sectorsPerTrack > 11) return false;
    if (sides != 1 && sides != 2) return false;
    if (totalSectors < 1 || totalSectors > kLargestRawSectorCount) return false;
    if (int64_t{totalSectors} * kSectorSize != fileSize) return false;
    info.format = DiskImageFormat::RawSt;
    info.sectors = sectorsPerTrack;
    info.sides = sides;
    info.tracks = totalSectors / (sides * sectorsPerTrack);
    info.imageSize = info.tracks * sectorsPerTrack * sides * kSectorSize;
    return true;
}

// Without a usable boot sector the length must do: one side up to 912 sectors, two beyond, and
// the track length that divides the side, ten sectors tried first.
bool RecogniseBySize(DiskImageInfo& info, int64_t fileSize) {
    if (fileSize % kSectorSize != 0 || fileSize > int64_t{kLargestRawSectorCount} * kSectorSize) {
        return false;
    }
    uint32_t sectorCount = static_cast<uint32_t>(fileSize / kSectorSize);
    uint32_t sides = sectorCount >= kFewestDoubleSidedSectors ? 2 : 1;
    uint32_t sectorsPerSide = sectorCount / sides;
    uint32_t sectorsPerTrack = 0;
    for (uint32_t candidate : {10u, 9u, 11u}) {
        if (sectorsPerSide % candidate == 0) {
            sectorsPerTrack = candidate;
            break;
        }
    }
    if (sectorsPerTrack == 0) return false;
    info.format = DiskImageFormat::RawSt;
    info.sectors = sectorsPerTrack;
    info.sides = sides;
    info.tracks = static_cast<uint32_t>(fileSize / (sectorsPerTrack * sides * kSectorSize));
    info.imageSize = static_cast<uint32_t>(fileSize);  // a dump may end in a part track
    return true;
}

void InspectOpenImage(ArchiveFile& file, DiskImageInfo& info) {
    info = {};
    if (ArchiveSeek(file, 0, 2) != 0) return;
    int64_t fileSize = ArchiveTell(file);
    if (fileSize < 0 || ArchiveSeek(file, 0, 0) != 0) return;
    std::array<uint8_t, kSectorSize> header{};
    if (ArchiveRead(header.data(), 1, header.size(), file) != header.size()) return;

    bool recognised = false;
    bool msaIdentifier = header[0] == 0x0E && header[1] == 0x0F;
    if (msaIdentifier && BigEndianWord(&header[6]) == 0) {
        recognised =
            SetHeaderGeometry(info, DiskImageFormat::Msa, BigEndianWord(&header[2]),
                              BigEndianWord(&header[4]) + 1u, BigEndianWord(&header[8]) + 1u);
    } else if (!msaIdentifier && header[0] == 0x42 && header[1] == 0x42 &&
               LittleEndianWord(&header[10]) == 0) {
        // FCopy stores the side count itself, not one less as MSA does.
        recognised =
            SetHeaderGeometry(info, DiskImageFormat::Dim, LittleEndianWord(&header[8]),
                              LittleEndianWord(&header[14]), LittleEndianWord(&header[12]) + 1u);
    } else {
        recognised =
            RecogniseByBootSector(info, header.data(), fileSize) || RecogniseBySize(info, fileSize);
    }
    if (!recognised) {
        info = {};
        return;
    }
    info.fileSize =
        static_cast<uint32_t>(std::min<int64_t>(fileSize, std::numeric_limits<uint32_t>::max()));
    if (info.imageSize > 0) {
        info.ratio = static_cast<float>(info.fileSize) / static_cast<float>(info.imageSize);
    }
}

// MSA is read in slices, so that a file of any length costs the same memory; a record may end
// anywhere, so the expansion takes what it needs a byte or a block at a time.
class MsaInput {
public:
    explicit MsaInput(ArchiveFile& file) : file_(file), buffer_(64 * 1024) {}

    bool Byte(uint8_t& value) {
        if (position_ == available_ && !Refill()) return false;
        value = buffer_[position_++];
        return true;
    }

    bool BigEndian(uint16_t& value) {
        uint8_t high = 0;
        uint8_t low = 0;
        if (!Byte(high) || !Byte(low)) return false;
        value = static_cast<uint16_t>(high << 8 | low);
        return true;
    }

    // Copies up to count bytes; fewer only when the file ends.
    size_t Block(uint8_t* destination, size_t count) {
        size_t copied = 0;
        while (copied < count) {
            if (position_ == available_ && !Refill()) break;
            size_t slice = std::min(count - copied, available_ - position_);
            std::memcpy(destination + copied, buffer_.data() + position_, slice);
            position_ += slice;
            copied += slice;
        }
        return copied;
    }

private:
    bool Refill() {
        position_ = 0;
        available_ = ArchiveRead(buffer_.data(), 1, buffer_.size(), file_);
        return available_ > 0;
    }

    ArchiveFile& file_;
    std::vector<uint8_t> buffer_;
    size_t position_ = 0;
    size_t available_ = 0;
};

// Each track record is its length, then the track's bytes as they are when the length is a whole
// track, else a packed stream that runs until a whole track's worth has been counted. Output runs
// on from record to record, so a run that overshoots its track spills into the next. Expansion
// stops where the file ends or the image is full; whatever it did not reach stays zero. Returns
// how far it wrote.
size_t ExpandMsaTracks(MsaInput& input, const DiskImageInfo& info, std::vector<uint8_t>& image) {
    const size_t trackSize = size_t{info.sectors} * kSectorSize;
    const size_t recordCount = size_t{info.tracks} * info.sides;
    size_t written = 0;
    for (size_t record = 0; record < recordCount; ++record) {
        uint16_t length = 0;
        if (!input.BigEndian(length)) return written;
        if (length == trackSize) {
            size_t wanted = std::min(trackSize, image.size() - written);
            size_t copied = input.Block(image.data() + written, wanted);
            written += copied;
            if (copied < trackSize) return written;
            continue;
        }
        int64_t uncounted = static_cast<int64_t>(trackSize);
        while (uncounted > 0) {
            uint8_t value = 0;
            if (!input.Byte(value)) return written;
            if (value != kMsaRunMarker) {
                if (written == image.size()) return written;
                image[written++] = value;
                uncounted -= 1;
                continue;
            }
            uint16_t repeat = 0;
            if (!input.Byte(value) || !input.BigEndian(repeat)) return written;
            size_t room = image.size() - written;
            std::memset(image.data() + written, value, std::min<size_t>(repeat, room));
            if (repeat > room) return image.size();
            written += repeat;
            uncounted -= repeat;
        }
    }
    return written;
}

// The machine's memory keeps each 16-bit word with its bytes exchanged; the disk is stored the
// same way so that a DMA transfer is a plain word copy. Eight bytes at a time: a disk is inserted
// while the user waits.
void SwapBytePairs(uint8_t* bytes, size_t count) {
    constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FF;
    size_t index = 0;
    for (; index + 8 <= count; index += 8) {
        uint64_t words;
        std::memcpy(&words, bytes + index, 8);
        words = (words & kLowBytes) << 8 | (words >> 8 & kLowBytes);
        std::memcpy(bytes + index, &words, 8);
    }
    for (; index + 1 < count; index += 2) std::swap(bytes[index], bytes[index + 1]);
}

// A path whose folder ends in ".zip" and is no real folder names a member of that archive.
// ".../pack.zip/disk.st" names a member of the archive pack.zip, and ".../pack.zip/dir/disk.st"
// one in a folder inside it: the first component that ends in ".zip" and is no folder is the
// archive, the rest of the path the member's name. A real folder that happens to end in ".zip"
// holds plain files.
bool IsZipMemberPath(const std::string& path, std::string* archiveOut = nullptr,
                     std::string* memberOut = nullptr) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string_view folder = std::string_view(path).substr(0, slash);
        if (folder.size() < 4 || !EqualIgnoringCase(folder.substr(folder.size() - 4), ".zip")) {
            continue;
        }
        std::error_code error;
        if (std::filesystem::is_directory(std::string(folder), error)) continue;
        if (archiveOut) *archiveOut = std::string(folder);
        if (memberOut) *memberOut = path.substr(slash + 1);
        return true;
    }
    return false;
}

// What the file holds beyond the disk would not survive the disk being written back in place.
bool HoldsMoreThanTheDisk(const DiskImageInfo& info, bool msaBytesLeft) {
    switch (info.format) {
        case DiskImageFormat::RawSt:
            return info.fileSize != info.imageSize;
        case DiskImageFormat::Dim:
            return uint64_t{info.fileSize} > uint64_t{info.imageSize} + kDimHeaderSize;
        case DiskImageFormat::Msa:
            // A file is at least a sector long to be recognised at all, so a small disk's file
            // is padded to one.
            return msaBytesLeft && info.fileSize > kSectorSize;
        case DiskImageFormat::NotRecognised:
            break;
    }
    return false;
}

}  // namespace

std::string DiskWriteRefusal(const std::string& path) {
    if (IsZipMemberPath(path)) return "a disk inside a zip archive is not written back";
    if (access(path.c_str(), W_OK) != 0) return "the image file is read-only";
    // The new file is made beside the old one (a link's target) and renamed over it.
    std::error_code linkError;
    const std::filesystem::path real = std::filesystem::canonical(path, linkError);
    const std::string folder = (linkError ? std::filesystem::path(path) : real).parent_path();
    if (access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
        return "the image's folder is read-only";
    }
    return {};
}

ArchiveHandle OpenImageFile(const std::string& path) {
    // A name the host cannot hold would open some other, shorter path.
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    std::string archivePath, memberName;
    if (IsZipMemberPath(path, &archivePath, &memberName)) {
        if (memberName.empty()) return nullptr;
        ArchiveHandle archive = ArchiveOpen(archivePath);
        if (!archive) return nullptr;
        do {
            std::optional<std::string> name = ArchiveMemberName(*archive);
            if (name && EqualIgnoringCase(*name, memberName)) return archive;
        } while (ArchiveNextMember(*archive) == 0);
        return nullptr;
    }
    return ArchiveOpen(path);
}

void InspectDiskImage(const std::string& path, DiskImageInfo& info) {
    info = {};
    ArchiveHandle file = OpenImageFile(path);
    if (file) InspectOpenImage(*file, info);
}

bool LoadDiskImage(const std::string& path, DiskImage& drive, std::string* error) {
    auto fail = [error](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    // Saved before anything is read: the new disk may be the same file.
    std::string saveError;
    if (!SaveDiskImage(drive, &saveError)) {
        return fail("the disk in the drive could not be saved first (" + saveError + ")");
    }
    // The file is opened once: inspecting and reading a packed archive member each from its
    // start would unpack it twice.
    ArchiveHandle file = OpenImageFile(path);
    if (!file) return fail("cannot open it (no such file, or no such member in the archive)");
    DiskImageInfo info;
    InspectOpenImage(*file, info);
    // An image of no bytes would leave the drive looking empty after a load that succeeded.
    if (info.format == DiskImageFormat::NotRecognised || info.imageSize == 0) {
        return fail("not a disk image (.st, .msa or .dim) the drive can read");
    }

    // The new disk is built beside the old one, which stays in the drive until the new one is
    // known to be whole.
    std::vector<uint8_t> image;
    std::vector<uint8_t> dimHeader;
    size_t filled = 0;  // the zeros beyond need no swapping
    bool msaBytesLeft = false;
    try {
        image.resize(info.imageSize);
        switch (info.format) {
            case DiskImageFormat::RawSt:
                // The dump is at least as long as the image it was recognised as, so a short read
                // means the file could not be read.
                if (ArchiveSeek(*file, 0, 0) != 0) return fail("the file cannot be read");
                filled = ArchiveRead(image.data(), 1, image.size(), *file);
                if (filled != image.size()) return fail("the file cannot be read to its end");
                break;
            case DiskImageFormat::Dim:
                dimHeader.resize(kDimHeaderSize);
                if (ArchiveSeek(*file, 0, 0) != 0 ||
                    ArchiveRead(dimHeader.data(), 1, dimHeader.size(), *file) != dimHeader.size()) {
                    return fail("the file cannot be read");
                }
                filled = ArchiveRead(image.data(), 1, image.size(), *file);
                break;
            case DiskImageFormat::Msa: {
                if (ArchiveSeek(*file, kMsaHeaderSize, 0) != 0) {
                    return fail("the file cannot be read");
                }
                MsaInput input(*file);
                filled = ExpandMsaTracks(input, info, image);
                uint8_t spare = 0;
                msaBytesLeft = input.Byte(spare);
                break;
            }
            case DiskImageFormat::NotRecognised:
                return fail("not a disk image (.st, .msa or .dim) the drive can read");
        }
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the image");
    }
    // A zip member whose data or checksum turns out damaged is not the disk that was packed.
    if (ArchiveFailed(*file) || ArchiveClose(std::move(file))) {
        return fail("the file or its archive member is damaged");
    }

    SwapBytePairs(image.data(), std::min(filled + filled % 2, image.size()));
    DiskImage loaded;
    loaded.data = std::move(image);
    loaded.tracks = static_cast<int32_t>(info.tracks);
    loaded.sides = static_cast<int32_t>(info.sides);
    loaded.sectors = static_cast<int32_t>(info.sectors);
    loaded.path = path;
    loaded.format = info.format;
    loaded.dimHeader = std::move(dimHeader);
    loaded.protectReason = DiskWriteRefusal(path);
    if (loaded.protectReason.empty() && HoldsMoreThanTheDisk(info, msaBytesLeft)) {
        loaded.protectReason = "the file holds more than the disk, which writing would cut off";
    }
    // An MSA track record counts its bytes in 16 bits.
    if (loaded.protectReason.empty() && info.format == DiskImageFormat::Msa &&
        size_t{info.sectors} * kSectorSize > 0xFFFF) {
        loaded.protectReason = "MSA cannot store tracks of more than 127 sectors";
    }
    loaded.writeProtected = !loaded.protectReason.empty();
    drive = std::move(loaded);
    return true;
}

}  // namespace orvet
