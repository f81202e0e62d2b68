// A push-mode decoder of raw DEFLATE streams (RFC 1951), as zip archives store their members.
// Compressed bytes are fed in pieces of any size as they are read; expanded bytes leave through
// the output callback at least at the end of every feed, so a reader can stop after any piece and
// carry on later. The decoder keeps only the 32 KB history the format can refer back to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace orvet {

// Receives every expanded byte once, in order. Returning false stops decoding: the feed that
// delivered the bytes fails (this is how a reader refuses more data than it expected).
using InflateOutput = std::function<bool(std::span<const uint8_t> expanded)>;

enum class InflateStatus {
    ok,
    failed,  // a damaged stream, or the output callback refused its bytes
};

struct Inflater;
struct InflaterDeleter {
    void operator()(Inflater* inflater) const;
};
using InflaterHandle = std::unique_ptr<Inflater, InflaterDeleter>;

// A decoder at the start of a stream; null when its state cannot be allocated.
InflaterHandle InflateCreate(InflateOutput output);

// Decodes as far as `compressed` (with what earlier feeds left unread) allows and delivers all
// expanded bytes. Once it has failed, every later feed fails too. Bytes fed after the stream's
// final block are kept count of and make InflateEnd fail.
[[nodiscard]] InflateStatus InflateFeed(Inflater& inflater, std::span<const uint8_t> compressed);

// Whether the final block has been decoded completely.
bool InflateStreamEnded(const Inflater& inflater);

// Releases the decoder: ok only when nothing failed, the final block was decoded completely and
// no bytes beyond it were fed.
[[nodiscard]] InflateStatus InflateEnd(InflaterHandle inflater);

}  // namespace orvet
