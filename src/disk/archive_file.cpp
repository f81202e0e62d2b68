// Zip archives are walked member by member through their local headers, from the start of the
// file. Every field comes from an untrusted file, so each size and offset is checked against the
// file before it is used, and a deflated member never holds more than 64 MB in memory.
#include "disk/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>

#include "disk/crc32.h"
#include "disk/inflate.h"

namespace orvet {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;     // "PK" 3 4
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;   // "PK" 1 2
constexpr uint32_t kEndOfDirectorySignature = 0x06054B50;  // "PK" 5 6
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;  // "PK" 7 8
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kLongestArchiveComment = 65535;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagSizesInDescriptor = 0x0008;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// Zip64 archives mark sizes and offsets too large for 32 bits this way.
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;

constexpr size_t kInputBufferSize = 8192;
constexpr size_t kChunkSize = 32768;
constexpr size_t kMostChunks = 2048;
// The largest expanded member accepted: far beyond any disk image (about 2 MB), small enough
// that a hostile archive cannot exhaust memory or the temporary folder.
constexpr uint64_t kLargestExpandedMember = kChunkSize * kMostChunks;
// From this size a deflated member expands into a temporary file rather than memory.
constexpr uint64_t kTemporaryFileThreshold = 0x40000;

uint16_t ReadLittle16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLittle32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

struct FileCloser {
    void operator()(std::FILE* stream) const {
        if (stream) std::fclose(stream);
    }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

using Chunk = std::array<uint8_t, kChunkSize>;

// What the central directory says about a member whose local header left its sizes to a data
// descriptor after the data.
struct DirectoryEntry {
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
};

enum class Store {
    archive,        // stored members and plain files: read in place
    temporaryFile,  // large deflated members
    memoryChunks,   // other deflated members
};

}  // namespace

struct ArchiveFile {
    // The archive or plain file: a host file, or bytes in memory.
    FilePointer hostFile;
    std::vector<uint8_t> memoryBytes;
    uint64_t sourceSize = 0;

    bool isArchive = false;       // zip members rather than one plain, nameless member
    bool memberSelected = false;  // false past the last member, or in an empty archive
    bool error = false;

    // The current member, from its local header (or the central directory, see above).
    uint64_t headerOffset = 0;
    uint64_t dataOffset = 0;
    uint64_t nextHeaderOffset = 0;
    bool nextHeaderKnown = false;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t expectedCrc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    std::optional<std::string> name;

    uint64_t position = 0;
    uint64_t fed = 0;       // compressed bytes handed to the inflater
    uint64_t produced = 0;  // expanded bytes in the store
    // The CRC of the member's first crcCovered expanded bytes; checked once it covers them all.
    uint32_t runningCrc = 0;
    uint64_t crcCovered = 0;
    bool crcChecked = false;

    Store store = Store::archive;
    FilePointer temporaryFile;
    std::vector<std::unique_ptr<Chunk>> chunks;
    InflaterHandle inflater;
    std::array<uint8_t, kInputBufferSize> inputBuffer{};

    bool directoryRead = false;
    std::map<uint64_t, DirectoryEntry> directoryByHeaderOffset;
};

void ArchiveCloser::operator()(ArchiveFile* file) const {
    delete file;
}

namespace {

bool ReadSource(ArchiveFile& file, uint64_t offset, void* destination, size_t length) {
    if (offset > file.sourceSize || length > file.sourceSize - offset) return false;
    if (length == 0) return true;
    if (!file.hostFile) {
        std::memcpy(destination, file.memoryBytes.data() + offset, length);
        return true;
    }
    return fseeko(file.hostFile.get(), static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(destination, 1, length, file.hostFile.get()) == length;
}

// Reads the central directory once, for members whose local header gives no sizes. Without a
// usable directory those members simply stay unreadable.
void ReadCentralDirectory(ArchiveFile& file) {
    if (file.directoryRead) return;
    file.directoryRead = true;
    if (file.sourceSize < kEndOfDirectorySize) return;

    // The end record sits before an archive comment of up to 64 KB; search back from the end.
    const uint64_t tailSize =
        std::min<uint64_t>(file.sourceSize, kEndOfDirectorySize + kLongestArchiveComment);
    std::vector<uint8_t> tail(tailSize);
    if (!ReadSource(file, file.sourceSize - tailSize, tail.data(), tail.size())) return;
    for (size_t recordStart = tailSize - kEndOfDirectorySize + 1; recordStart-- > 0;) {
        const uint8_t* record = tail.data() + recordStart;
        if (ReadLittle32(record) != kEndOfDirectorySignature) continue;
        const uint64_t recordOffset = file.sourceSize - tailSize + recordStart;
        const uint64_t directorySize = ReadLittle32(record + 12);
        const uint64_t directoryOffset = ReadLittle32(record + 16);
        if (directoryOffset > recordOffset || directorySize > recordOffset - directoryOffset ||
            directorySize > kLargestExpandedMember) {
            continue;
        }
        std::vector<uint8_t> directory(directorySize);
        if (!ReadSource(file, directoryOffset, directory.data(), directory.size())) return;
        size_t entryStart = 0;
        // Entry lengths are untrusted: the last one may claim to run past the directory.
        while (entryStart <= directory.size() &&
               directory.size() - entryStart >= kCentralHeaderSize) {
            const uint8_t* entry = directory.data() + entryStart;
            if (ReadLittle32(entry) != kCentralHeaderSignature) break;
            const uint32_t compressedSize = ReadLittle32(entry + 20);
            const uint32_t size = ReadLittle32(entry + 24);
            const uint32_t headerOffset = ReadLittle32(entry + 42);
            if (compressedSize != kZip64Marker && size != kZip64Marker &&
                headerOffset != kZip64Marker) {
                file.directoryByHeaderOffset[headerOffset] = {ReadLittle32(entry + 16),
                                                              compressedSize, size};
            }
            entryStart += kCentralHeaderSize + ReadLittle16(entry + 28) + ReadLittle16(entry + 30) +
                          ReadLittle16(entry + 32);
        }
        return;
    }
}

void ReleaseStore(ArchiveFile& file) {
    file.inflater.reset();
    file.temporaryFile.reset();
    file.chunks.clear();
    file.store = Store::archive;
}

bool StoreExpanded(ArchiveFile& file, std::span<const uint8_t> piece) {
    // More data than the header announced: the member is damaged.
    if (piece.size() > file.size - file.produced) return false;
    file.runningCrc = Crc32Update(file.runningCrc, piece);
    file.crcCovered += piece.size();
    if (file.store == Store::temporaryFile) {
        if (fseeko(file.temporaryFile.get(), static_cast<off_t>(file.produced), SEEK_SET) != 0 ||
            std::fwrite(piece.data(), 1, piece.size(), file.temporaryFile.get()) != piece.size()) {
            return false;
        }
    } else {
        size_t written = 0;
        while (written < piece.size()) {
            const uint64_t offset = file.produced + written;
            const size_t chunkIndex = offset / kChunkSize;
            const size_t offsetInChunk = offset % kChunkSize;
            if (chunkIndex >= kMostChunks) return false;
            if (chunkIndex >= file.chunks.size()) file.chunks.resize(chunkIndex + 1);
            if (!file.chunks[chunkIndex]) {
                file.chunks[chunkIndex].reset(new (std::nothrow) Chunk);
                if (!file.chunks[chunkIndex]) return false;
            }
            const size_t length = std::min(piece.size() - written, kChunkSize - offsetInChunk);
            std::memcpy(file.chunks[chunkIndex]->data() + offsetInChunk, piece.data() + written,
                        length);
            written += length;
        }
    }
    file.produced += piece.size();
    return true;
}

bool PrepareDeflatedStore(ArchiveFile& file) {
    file.store = Store::memoryChunks;
    if (file.size >= kTemporaryFileThreshold) {
        // Anonymous: the system removes it when it is closed, or when the program ends.
        file.temporaryFile.reset(std::tmpfile());
        if (file.temporaryFile) file.store = Store::temporaryFile;
    }
    ArchiveFile* owner = &file;
    file.inflater = InflateCreate(
        [owner](std::span<const uint8_t> piece) { return StoreExpanded(*owner, piece); });
    return file.inflater != nullptr;
}

void ClearMember(ArchiveFile& file) {
    ReleaseStore(file);
    file.memberSelected = false;
    file.error = false;
    file.name.reset();
    file.nextHeaderKnown = false;
    file.flags = file.method = 0;
    file.expectedCrc = 0;
    file.compressedSize = file.size = 0;
    file.dataOffset = 0;
    file.position = file.fed = file.produced = 0;
    file.runningCrc = 0;
    file.crcCovered = 0;
    file.crcChecked = false;
}

void SelectPlainFile(ArchiveFile& file) {
    file.memberSelected = true;
    file.size = file.compressedSize = file.produced = file.sourceSize;
}

// Takes the sizes of a member whose local header left them to a data descriptor, and finds the
// header after it past that descriptor (16 bytes with its optional signature, 12 without).
bool TakeSizesFromDirectory(ArchiveFile& file) {
    ReadCentralDirectory(file);
    const auto found = file.directoryByHeaderOffset.find(file.headerOffset);
    if (found == file.directoryByHeaderOffset.end()) return false;
    file.expectedCrc = found->second.crc;
    file.compressedSize = found->second.compressedSize;
    file.size = found->second.size;
    const uint64_t descriptorOffset = file.dataOffset + file.compressedSize;
    std::array<uint8_t, 4> signature{};
    const bool hasSignature =
        ReadSource(file, descriptorOffset, signature.data(), signature.size()) &&
        ReadLittle32(signature.data()) == kDataDescriptorSignature;
    file.nextHeaderOffset = descriptorOffset + (hasSignature ? 16 : 12);
    file.nextHeaderKnown = true;
    return true;
}

void SelectMember(ArchiveFile& file, uint64_t offset) {
    ClearMember(file);
    file.headerOffset = offset;
    // The signature alone first: an empty archive is shorter than a local header.
    std::array<uint8_t, kLocalHeaderSize> header{};
    uint32_t signature =
        ReadSource(file, offset, header.data(), 4) ? ReadLittle32(header.data()) : 0;
    if (signature == kLocalHeaderSignature &&
        !ReadSource(file, offset, header.data(), header.size())) {
        signature = 0;
    }

    if (signature != kLocalHeaderSignature) {
        if (offset == 0) {
            // An archive with no members is only its end record; anything else is a plain file.
            if (signature == kEndOfDirectorySignature) {
                file.isArchive = true;
            } else {
                SelectPlainFile(file);
            }
            return;
        }
        // The members end where the central directory begins; anything else there means the
        // archive is damaged or cut short.
        file.error = signature != kCentralHeaderSignature && signature != kEndOfDirectorySignature;
        return;
    }

    file.isArchive = true;
    file.memberSelected = true;
    file.flags = ReadLittle16(header.data() + 6);
    file.method = ReadLittle16(header.data() + 8);
    file.expectedCrc = ReadLittle32(header.data() + 14);
    file.compressedSize = ReadLittle32(header.data() + 18);
    file.size = ReadLittle32(header.data() + 22);
    const uint16_t nameLength = ReadLittle16(header.data() + 26);
    const uint16_t extraLength = ReadLittle16(header.data() + 28);
    file.dataOffset = offset + kLocalHeaderSize + nameLength + extraLength;
    file.nextHeaderOffset = file.dataOffset + file.compressedSize;
    file.nextHeaderKnown = true;

    // A member whose name cannot be read is still a member: its name is empty, not absent.
    file.name.emplace(nameLength, '\0');
    if (!ReadSource(file, offset + kLocalHeaderSize, file.name->data(), file.name->size())) {
        file.name->clear();
        file.error = true;
        return;
    }

    if ((file.flags & kFlagSizesInDescriptor) && !TakeSizesFromDirectory(file)) {
        file.nextHeaderKnown = false;  // nothing tells where this member's data ends
        file.error = true;
        return;
    }
    if (file.dataOffset > file.sourceSize ||
        file.compressedSize > file.sourceSize - file.dataOffset) {
        file.error = true;  // the data runs past the end of the file
        return;
    }
    if (file.flags & kFlagEncrypted) {
        file.error = true;
        return;
    }
    if (file.method == kMethodStored) {
        // Stored data is read in place, so a size that disagrees with the compressed size would
        // read into whatever follows the member.
        file.error = file.size != file.compressedSize;
        file.produced = file.size;
        return;
    }
    if (file.method != kMethodDeflated || file.size > kLargestExpandedMember ||
        !PrepareDeflatedStore(file)) {
        file.error = true;
    }
}

// Hands the inflater the next piece of the member's compressed data.
bool FeedNextPiece(ArchiveFile& file) {
    const size_t pieceSize = std::min<uint64_t>(kInputBufferSize, file.compressedSize - file.fed);
    if (!ReadSource(file, file.dataOffset + file.fed, file.inputBuffer.data(), pieceSize)) {
        return false;
    }
    file.fed += pieceSize;
    return InflateFeed(*file.inflater, std::span(file.inputBuffer.data(), pieceSize)) ==
           InflateStatus::ok;
}

// Called once the whole member has been expanded: the deflate stream must end exactly at the
// end of the member's data, and the CRC must match.
bool VerifyDeflatedEnd(ArchiveFile& file) {
    while (file.fed < file.compressedSize && !InflateStreamEnded(*file.inflater)) {
        if (!FeedNextPiece(file)) return false;
    }
    const bool allDataUsed = file.fed == file.compressedSize;
    return InflateEnd(std::move(file.inflater)) == InflateStatus::ok && allDataUsed;
}

bool CheckCrc(ArchiveFile& file) {
    file.crcChecked = true;
    return file.runningCrc == file.expectedCrc;
}

bool ProduceUpTo(ArchiveFile& file, uint64_t target) {
    while (file.produced < target) {
        if (file.fed >= file.compressedSize || InflateStreamEnded(*file.inflater)) {
            return false;  // the stream ends short of the announced size
        }
        if (!FeedNextPiece(file)) return false;
    }
    if (file.produced == file.size && file.inflater) {
        return VerifyDeflatedEnd(file) && CheckCrc(file);
    }
    return true;
}

bool CopyFromStore(ArchiveFile& file, uint64_t offset, uint8_t* destination, size_t length) {
    switch (file.store) {
        case Store::archive:
            return ReadSource(file, file.dataOffset + offset, destination, length);
        case Store::temporaryFile:
            return fseeko(file.temporaryFile.get(), static_cast<off_t>(offset), SEEK_SET) == 0 &&
                   std::fread(destination, 1, length, file.temporaryFile.get()) == length;
        case Store::memoryChunks: {
            size_t copied = 0;
            while (copied < length) {
                const size_t chunkIndex = (offset + copied) / kChunkSize;
                const size_t offsetInChunk = (offset + copied) % kChunkSize;
                if (chunkIndex >= file.chunks.size() || !file.chunks[chunkIndex]) return false;
                const size_t piece = std::min(length - copied, kChunkSize - offsetInChunk);
                std::memcpy(destination + copied, file.chunks[chunkIndex]->data() + offsetInChunk,
                            piece);
                copied += piece;
            }
            return true;
        }
    }
    return false;
}

// Stored members are checked too, as far as they are read from their start onwards.
bool CheckStoredCrc(ArchiveFile& file, const uint8_t* bytes, size_t length) {
    if (!file.isArchive || file.store != Store::archive || file.crcChecked ||
        file.position > file.crcCovered || file.position + length <= file.crcCovered) {
        return true;
    }
    const size_t alreadyCovered = file.crcCovered - file.position;
    file.runningCrc =
        Crc32Update(file.runningCrc, std::span(bytes + alreadyCovered, length - alreadyCovered));
    file.crcCovered = file.position + length;
    return file.crcCovered < file.size || CheckCrc(file);
}

ArchiveHandle OpenSource(ArchiveHandle file) {
    SelectMember(*file, 0);
    return file;
}

}  // namespace

ArchiveHandle ArchiveOpen(const std::string& path) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer that may never come.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    // Folders and devices open too, but are no files to read as disk images.
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    FilePointer host(fdopen(descriptor, "rb"));
    if (!host) {
        close(descriptor);
        return nullptr;
    }
    ArchiveHandle file(new ArchiveFile);
    file->hostFile = std::move(host);
    file->sourceSize = static_cast<uint64_t>(status.st_size);
    return OpenSource(std::move(file));
}

ArchiveHandle ArchiveOpenMemory(std::vector<uint8_t> bytes) {
    ArchiveHandle file(new ArchiveFile);
    file->sourceSize = bytes.size();
    file->memoryBytes = std::move(bytes);
    return OpenSource(std::move(file));
}

std::optional<std::string> ArchiveMemberName(const ArchiveFile& file) {
    return file.memberSelected ? file.name : std::nullopt;
}

int ArchiveNextMember(ArchiveFile& file) {
    if (!file.isArchive || !file.memberSelected) return -1;
    if (!file.nextHeaderKnown) {
        ClearMember(file);
        file.error = true;
        return -1;
    }
    SelectMember(file, file.nextHeaderOffset);
    return file.memberSelected ? 0 : -1;
}

size_t ArchiveRead(void* buffer, size_t size, size_t count, ArchiveFile& file) {
    if (file.error || !file.memberSelected || size == 0 || count == 0) return 0;
    const uint64_t remaining = file.size - file.position;
    uint64_t length = count > remaining / size ? remaining : uint64_t{size} * count;
    length -= length % size;
    if (length == 0) return 0;
    uint8_t* destination = static_cast<uint8_t*>(buffer);
    if ((file.inflater && !ProduceUpTo(file, file.position + length)) ||
        !CopyFromStore(file, file.position, destination, length) ||
        !CheckStoredCrc(file, destination, length)) {
        file.error = true;
        return 0;
    }
    file.position += length;
    return length / size;
}

int ArchiveSeek(ArchiveFile& file, int64_t offset, int origin) {
    if (file.error || !file.memberSelected || origin < 0 || origin > 2) return -1;
    // Sizes come from 32-bit fields or a host file's length, far inside the signed range.
    const auto size = static_cast<int64_t>(file.size);
    const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(file.position) : size;
    if (offset < -base || offset > size - base) return -1;
    file.position = static_cast<uint64_t>(base + offset);
    return 0;
}

int64_t ArchiveTell(const ArchiveFile& file) {
    return file.error || !file.memberSelected ? -1 : static_cast<int64_t>(file.position);
}

bool ArchiveFailed(const ArchiveFile& file) {
    return file.error;
}

bool ArchiveClose(ArchiveHandle file) {
    return file ? file->error : false;
}

}  // namespace orvet
