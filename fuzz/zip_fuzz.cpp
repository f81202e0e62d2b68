// libFuzzer target for the zip walker: the input is the archive. Every member is listed, read in
// pieces, sought and read again; a second read of the same bytes must give the same bytes, and a
// handle that reports no failure must have delivered the whole member. Nothing may crash, hang or
// leak; the sanitizers watch every access.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "disk/archive_file.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "orvet_zip_fuzz: %s\n", what);
    std::abort();
}

void ExerciseMember(orvet::ArchiveFile& file, uint32_t& state) {
    (void)orvet::ArchiveMemberName(file);
    if (orvet::ArchiveSeek(file, 0, 2) != 0) return;
    const int64_t size = orvet::ArchiveTell(file);
    if (size < 0 || orvet::ArchiveSeek(file, 0, 0) != 0) return;

    std::vector<uint8_t> member;
    std::vector<uint8_t> piece;
    while (true) {
        state = state * 1103515245u + 12345u;
        piece.resize(1 + (state >> 8) % 70000);
        const size_t got = orvet::ArchiveRead(piece.data(), 1, piece.size(), file);
        member.insert(member.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(got));
        if (got < piece.size()) break;
    }
    if (orvet::ArchiveFailed(file)) return;
    if (static_cast<int64_t>(member.size()) != size) Fail("a member read short without failing");

    // Back to somewhere inside and read again: the stores must give the same bytes.
    if (member.empty()) return;
    const size_t start = (state >> 4) % member.size();
    if (orvet::ArchiveSeek(file, static_cast<int64_t>(start) - size, 2) != 0) Fail("seek refused");
    piece.resize(member.size() - start);
    if (orvet::ArchiveRead(piece.data(), 1, piece.size(), file) != piece.size() ||
        !std::equal(piece.begin(), piece.end(), member.begin() + static_cast<ptrdiff_t>(start))) {
        Fail("a second read differs from the first");
    }
    if (orvet::ArchiveTell(file) != size) Fail("tell after reading to the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvet::ArchiveHandle file = orvet::ArchiveOpenMemory(std::vector<uint8_t>(data, data + size));
    if (!file) Fail("no handle over memory");
    uint32_t state = static_cast<uint32_t>(size);
    // The walk moves forward by at least a header each step, so it ends by itself.
    do {
        ExerciseMember(*file, state);
    } while (orvet::ArchiveNextMember(*file) == 0);
    (void)orvet::ArchiveClose(std::move(file));
    return 0;
}
