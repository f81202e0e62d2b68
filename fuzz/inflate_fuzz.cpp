// libFuzzer target for the DEFLATE decoder. The first input byte chooses what the rest is:
//   even: a raw DEFLATE stream, fed in pieces whose sizes follow from the second byte; whenever
//         both this decoder and zlib decode it completely, the bytes must be the same;
//   odd:  data that zlib compresses (level and strategy from the first byte), which must then
//         expand to exactly the same data in any piece sizes.
// Every failure must be a reported failure: the sanitizers catch the rest.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "disk/inflate.h"

namespace {

// A deflate stream can expand about a thousand-fold; the archive reader stops at 64 MB too.
constexpr size_t kOutputLimit = 64u << 20;

struct Decoded {
    bool succeeded = false;
    std::vector<uint8_t> bytes;
};

Decoded DecodeInPieces(const uint8_t* data, size_t size, uint32_t pieceSeed) {
    Decoded decoded;
    orvet::InflaterHandle inflater = orvet::InflateCreate([&](std::span<const uint8_t> piece) {
        if (decoded.bytes.size() + piece.size() > kOutputLimit) return false;
        decoded.bytes.insert(decoded.bytes.end(), piece.begin(), piece.end());
        return true;
    });
    bool fed = true;
    uint32_t state = pieceSeed * 2654435761u + 1;
    for (size_t offset = 0; offset < size && fed;) {
        state = state * 1103515245u + 12345u;
        const size_t piece =
            std::min<size_t>(1 + (state >> 16) % (pieceSeed % 64 == 0 ? 3 : 9000), size - offset);
        fed = orvet::InflateFeed(*inflater, std::span(data + offset, piece)) ==
              orvet::InflateStatus::ok;
        offset += piece;
    }
    decoded.succeeded = orvet::InflateEnd(std::move(inflater)) == orvet::InflateStatus::ok && fed;
    return decoded;
}

Decoded ZlibInflate(const uint8_t* data, size_t size) {
    Decoded decoded;
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return decoded;
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    std::vector<uint8_t> piece(65536);
    while (result == Z_OK && decoded.bytes.size() <= kOutputLimit) {
        stream.next_out = piece.data();
        stream.avail_out = static_cast<uInt>(piece.size());
        result = inflate(&stream, Z_NO_FLUSH);
        decoded.bytes.insert(decoded.bytes.end(), piece.data(), stream.next_out);
        if (result == Z_OK && stream.avail_out != 0 && stream.avail_in == 0) break;  // cut short
    }
    decoded.succeeded = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return decoded;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "orvet_inflate_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    const uint8_t pieceSeed = data[1];
    data += 2;
    size -= 2;
    if ((mode & 1) == 0) {
        const Decoded ours = DecodeInPieces(data, size, pieceSeed);
        if (ours.succeeded) {
            const Decoded reference = ZlibInflate(data, size);
            if (reference.succeeded && reference.bytes != ours.bytes) {
                Fail("a stream both decoders accept expands differently");
            }
        }
        return 0;
    }

    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    z_stream stream{};
    if (deflateInit2(&stream, (mode >> 1) % 10, Z_DEFLATED, -(9 + (mode >> 4) % 7), 8,
                     strategies[(mode >> 5) % 5]) != Z_OK) {
        return 0;
    }
    std::vector<uint8_t> compressed(deflateBound(&stream, size) + 16);
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int result = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) Fail("zlib could not compress");
    const Decoded ours = DecodeInPieces(compressed.data(), compressed.size(), pieceSeed);
    if (!ours.succeeded) Fail("a stream zlib wrote was refused");
    if (ours.bytes != std::vector<uint8_t>(data, data + size))
        Fail("a round trip changed the data");
    return 0;
}
