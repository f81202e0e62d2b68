// zlib as the reference encoder for the disk tests: raw DEFLATE streams as zip members hold them.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace orvet::testing {

struct DeflateSettings {
    int level = Z_DEFAULT_COMPRESSION;
    int strategy = Z_DEFAULT_STRATEGY;
    int windowBits = 15;    // 9..15
    int memoryLevel = 8;    // 1..9
    size_t flushEvery = 0;  // >0: a sync or full flush (an empty stored block) every so many bytes
};

inline std::vector<uint8_t> ZlibDeflate(std::span<const uint8_t> input,
                                        const DeflateSettings& settings = {}) {
    z_stream stream{};
    if (deflateInit2(&stream, settings.level, Z_DEFLATED, -settings.windowBits,
                     settings.memoryLevel, settings.strategy) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::vector<uint8_t> output(deflateBound(&stream, input.size()) + 64 +
                                (settings.flushEvery ? input.size() / settings.flushEvery * 8 : 0));
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    size_t offset = 0;
    int flushCount = 0;
    do {
        const size_t piece = settings.flushEvery
                                 ? std::min(settings.flushEvery, input.size() - offset)
                                 : input.size() - offset;
        stream.next_in = const_cast<uint8_t*>(input.data() + offset);
        stream.avail_in = static_cast<uInt>(piece);
        offset += piece;
        const int flush = offset == input.size() ? Z_FINISH
                          : (++flushCount % 2)   ? Z_SYNC_FLUSH
                                                 : Z_FULL_FLUSH;
        const int result = deflate(&stream, flush);
        if (result != Z_OK && result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    } while (offset < input.size());
    output.resize(stream.total_out);
    deflateEnd(&stream);
    return output;
}

}  // namespace orvet::testing
