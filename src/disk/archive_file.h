// One kind of read-only file handle for disk images: a plain file, or a zip archive read member
// by member, with fread-like reading, seeking and telling over the current member's expanded
// bytes. Archives are walked by their local headers from the start of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvet {

struct ArchiveFile;
struct ArchiveCloser {
    void operator()(ArchiveFile* file) const;
};
using ArchiveHandle = std::unique_ptr<ArchiveFile, ArchiveCloser>;

// Opens the host file for reading and selects its first member (a plain file is one member
// without a name). Null when the file cannot be opened.
ArchiveHandle ArchiveOpen(const std::string& path);

// The same over bytes already in memory: an archive that arrived some other way, or a fuzzer's
// input. Never null.
ArchiveHandle ArchiveOpenMemory(std::vector<uint8_t> bytes);

// The current member's name; none for a plain file.
std::optional<std::string> ArchiveMemberName(const ArchiveFile& file);

// Finishes the current member and selects the next one: 0, or -1 when there is none.
int ArchiveNextMember(ArchiveFile& file);

// Like fread over the current member's expanded bytes: the number of whole items read.
size_t ArchiveRead(void* buffer, size_t size, size_t count, ArchiveFile& file);

// origin 0 from the start, 1 from the position, 2 from the end; the new position must lie in
// 0 ... the member's expanded size. 0, or -1 (the position is unchanged).
int ArchiveSeek(ArchiveFile& file, int64_t offset, int origin);

// The read position in the current member, or -1 after a failure.
int64_t ArchiveTell(const ArchiveFile& file);

// Whether anything has failed on this handle (unreadable, damaged data, a CRC mismatch).
bool ArchiveFailed(const ArchiveFile& file);

// Finishes the member and closes the file: true when a member turned out damaged.
bool ArchiveClose(ArchiveHandle file);

}  // namespace orvet
