// Plain files only, until zip members are read.
#include "disk/archive_file.h"

#include <cstdio>

namespace orvet {

struct ArchiveFile {
    std::FILE* file = nullptr;
    int64_t size = 0;
    int64_t position = 0;
    bool error = false;
};

void ArchiveCloser::operator()(ArchiveFile* file) const {
    if (file && file->file) std::fclose(file->file);
    delete file;
}

ArchiveHandle ArchiveOpen(const std::string& path) {
    std::FILE* host = std::fopen(path.c_str(), "rb");
    if (!host) return nullptr;
    ArchiveHandle file(new ArchiveFile);
    file->file = host;
    if (std::fseek(host, 0, SEEK_END) != 0) return nullptr;
    file->size = std::ftell(host);
    std::fseek(host, 0, SEEK_SET);
    if (file->size < 0) return nullptr;
    return file;
}

std::optional<std::string> ArchiveMemberName(const ArchiveFile&) {
    return std::nullopt;
}

int ArchiveNextMember(ArchiveFile&) {
    return -1;
}

size_t ArchiveRead(void* buffer, size_t size, size_t count, ArchiveFile& file) {
    if (size == 0 || file.error) return 0;
    if (std::fseek(file.file, file.position, SEEK_SET) != 0) {
        file.error = true;
        return 0;
    }
    size_t items = std::fread(buffer, size, count, file.file);
    file.position += static_cast<int64_t>(items * size);
    return items;
}

int ArchiveSeek(ArchiveFile& file, int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? file.position : file.size;
    if (origin < 0 || origin > 2 || base + offset < 0 || base + offset > file.size) return -1;
    file.position = base + offset;
    return 0;
}

int64_t ArchiveTell(const ArchiveFile& file) {
    return file.error ? -1 : file.position;
}

bool ArchiveFailed(const ArchiveFile& file) {
    return file.error;
}

bool ArchiveClose(ArchiveHandle file) {
    return file ? file->error : false;
}

}  // namespace orvet
