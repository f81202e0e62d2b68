#include "disk/inflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "disk/crc32.h"
#include "zlib_reference.h"

namespace orvet {
namespace {

using testing::DeflateSettings;
using testing::ZlibDeflate;

struct InflateOutcome {
    bool feedsSucceeded = true;
    bool endSucceeded = false;
    std::vector<uint8_t> output;
};

// Feeds `compressed` in random pieces of 1..largestPiece bytes, as an archive reader would.
InflateOutcome InflateInPieces(std::span<const uint8_t> compressed, std::mt19937& random,
                               size_t largestPiece) {
    InflateOutcome outcome;
    InflaterHandle inflater = InflateCreate([&](std::span<const uint8_t> piece) {
        outcome.output.insert(outcome.output.end(), piece.begin(), piece.end());
        return true;
    });
    std::uniform_int_distribution<size_t> pieceSize(1, largestPiece);
    for (size_t offset = 0; offset < compressed.size() && outcome.feedsSucceeded;) {
        const size_t piece = std::min(pieceSize(random), compressed.size() - offset);
        outcome.feedsSucceeded =
            InflateFeed(*inflater, compressed.subspan(offset, piece)) == InflateStatus::ok;
        offset += piece;
    }
    outcome.endSucceeded = InflateEnd(std::move(inflater)) == InflateStatus::ok;
    return outcome;
}

InflateOutcome InflateWhole(std::span<const uint8_t> compressed) {
    std::mt19937 random(1);
    return InflateInPieces(compressed, random, std::max<size_t>(compressed.size(), 1));
}

// Data shaped like what disk images hold: noise, text, long runs, repeats from far back.
std::vector<uint8_t> MakeBuffer(int shape, size_t size, std::mt19937& random) {
    std::vector<uint8_t> buffer(size);
    std::uniform_int_distribution<int> byteValue(0, 255);
    static const std::string kWords[] = {"sector ", "track ", "GEMDOS ", "\r\n", "boot ", "0x00 "};
    for (size_t index = 0; index < size;) {
        switch (shape) {
            case 0:
                buffer[index++] = static_cast<uint8_t>(byteValue(random));
                break;
            case 1:
                for (char letter : kWords[random() % 6]) {
                    if (index < size) buffer[index++] = static_cast<uint8_t>(letter);
                }
                break;
            case 2: {  // runs, as in freshly formatted sectors
                const uint8_t value =
                    static_cast<uint8_t>(random() % 3 == 0 ? byteValue(random) : 0xE5);
                for (size_t run = 1 + random() % 700; run > 0 && index < size; --run) {
                    buffer[index++] = value;
                }
                break;
            }
            case 3:  // a few symbols only: short codes, skewed lengths
                buffer[index++] = static_cast<uint8_t>("AAAAAAAB C"[random() % 10]);
                break;
            default: {  // copies of earlier data, up to the full 32 KB back
                if (index < 64) {
                    buffer[index++] = static_cast<uint8_t>(byteValue(random));
                    break;
                }
                size_t source = index - 1 - random() % std::min<size_t>(index, 32768);
                for (size_t length = 3 + random() % 300; length > 0 && index < size; --length) {
                    buffer[index] = buffer[source++];
                    ++index;
                }
                buffer[random() % index] = static_cast<uint8_t>(byteValue(random));
            }
        }
    }
    return buffer;
}

TEST(Inflate, ExpandsWhatZlibCompressesAtEveryLevelAndStrategyInAnyPieceSizes) {
    std::mt19937 random(20240611);
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    const size_t largestPieces[] = {1, 3, 64, 1000, 8192, 100000};
    for (int round = 0; round < 3000; ++round) {
        const int shape = round % 5;
        // Mostly small buffers, some up to a double-density disk.
        size_t size = random() % 20 == 0 ? random() % 800000 : random() % 6000;
        if (round % 97 == 0) size = 0;
        const std::vector<uint8_t> original = MakeBuffer(shape, size, random);
        DeflateSettings settings;
        settings.level = round % 10;
        settings.strategy = strategies[(round / 10) % 5];
        settings.windowBits = 9 + static_cast<int>(random() % 7);
        settings.memoryLevel = 1 + static_cast<int>(random() % 9);
        if (round % 7 == 0) settings.flushEvery = 1 + random() % 20000;
        const std::vector<uint8_t> compressed = ZlibDeflate(original, settings);
        size_t largestPiece = largestPieces[random() % 6];
        if (compressed.size() > 20000) largestPiece = std::max<size_t>(largestPiece, 1000);

        const InflateOutcome outcome = InflateInPieces(compressed, random, largestPiece);
        ASSERT_TRUE(outcome.feedsSucceeded && outcome.endSucceeded)
            << "round " << round << ", " << size << " bytes, level " << settings.level;
        ASSERT_TRUE(outcome.output == original) << "round " << round << ", " << size << " bytes";
    }
}

// Writes bits as DEFLATE packs them: fields least significant bit first, Huffman codes most
// significant bit first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int bitCount = 0;
    void Put(uint32_t value, int count) {
        for (int bit = 0; bit < count; ++bit, ++bitCount) {
            if (bitCount % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((value >> bit) & 1) << (bitCount % 8));
        }
    }
    void PutCode(uint32_t code, int length) {
        for (int bit = length - 1; bit >= 0; --bit) Put((code >> bit) & 1, 1);
    }
};

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    std::vector<uint32_t> codes(lengths.size());
    uint32_t code = 0;
    for (int length = 1; length <= 15; ++length) {
        for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            if (lengths[symbol] == length) codes[symbol] = code++;
        }
        code <<= 1;
    }
    return codes;
}

// A final dynamic block with the given code lengths (sent with a 4-bit code-length code) and
// literal/length symbols, each length symbol followed by the given distance symbol, no extra bits.
std::vector<uint8_t> DynamicBlock(const std::vector<uint8_t>& literalLengths,
                                  const std::vector<uint8_t>& distanceLengths,
                                  const std::vector<int>& symbols, int distanceSymbol = 0) {
    BitWriter writer;
    writer.Put(1, 1);
    writer.Put(2, 2);
    writer.Put(static_cast<uint32_t>(literalLengths.size() - 257), 5);
    writer.Put(static_cast<uint32_t>(distanceLengths.size() - 1), 5);
    writer.Put(19 - 4, 4);
    for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) {
        writer.Put(symbol < 16 ? 4 : 0, 3);
    }
    for (const auto* lengths : {&literalLengths, &distanceLengths}) {
        for (uint8_t length : *lengths) writer.PutCode(length, 4);
    }
    const std::vector<uint32_t> literalCodes = CanonicalCodes(literalLengths);
    const std::vector<uint32_t> distanceCodes = CanonicalCodes(distanceLengths);
    for (int symbol : symbols) {
        writer.PutCode(literalCodes[symbol], literalLengths[symbol]);
        if (symbol > 256)
            writer.PutCode(distanceCodes[distanceSymbol], distanceLengths[distanceSymbol]);
    }
    return writer.bytes;
}

// A final fixed block: symbols (literal/length, then the distance symbol after a length).
std::vector<uint8_t> FixedBlock(const std::vector<int>& symbols, int distanceSymbol = 0) {
    std::vector<uint8_t> lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    BitWriter writer;
    writer.Put(1, 1);
    writer.Put(1, 2);
    for (int symbol : symbols) {
        writer.PutCode(codes[symbol], lengths[symbol]);
        if (symbol > 256) writer.PutCode(static_cast<uint32_t>(distanceSymbol), 5);
    }
    return writer.bytes;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Inflate, AcceptsEmptyStoredBlocksAndIncompleteDistanceCodes) {
    // A non-final empty stored block, then a final stored "hi".
    InflateOutcome outcome = InflateWhole(
        std::vector<uint8_t>{0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'});
    EXPECT_TRUE(outcome.feedsSucceeded && outcome.endSucceeded);
    EXPECT_EQ(outcome.output, Bytes("hi"));

    // Literals 'a' and 'b', end of block and length 3 (code 257) at 2 bits each; one distance
    // code of one bit (distance 1): "ab" then "bbb".
    std::vector<uint8_t> literalLengths(258, 0);
    literalLengths['a'] = literalLengths['b'] = literalLengths[256] = literalLengths[257] = 2;
    outcome = InflateWhole(DynamicBlock(literalLengths, {1}, {'a', 'b', 257, 256}));
    EXPECT_TRUE(outcome.feedsSucceeded && outcome.endSucceeded);
    EXPECT_EQ(outcome.output, Bytes("abbbb"));

    // No distance codes at all is fine for a block of literals.
    outcome = InflateWhole(DynamicBlock(literalLengths, {0}, {'b', 'a', 256}));
    EXPECT_TRUE(outcome.feedsSucceeded && outcome.endSucceeded);
    EXPECT_EQ(outcome.output, Bytes("ba"));
}

TEST(Inflate, ReportsDamagedStreams) {
    std::vector<uint8_t> fourCodes(258, 0);
    fourCodes['a'] = fourCodes['b'] = fourCodes[256] = fourCodes[257] = 2;
    std::vector<uint8_t> overSubscribed = fourCodes;
    overSubscribed['c'] = 2;
    std::vector<uint8_t> incomplete = fourCodes;
    incomplete[257] = 0;
    std::vector<uint8_t> noEndOfBlock = fourCodes;
    noEndOfBlock[256] = 0;
    noEndOfBlock['c'] = 2;
    const std::vector<uint8_t> valid = ZlibDeflate(Bytes(std::string(5000, 'x') + "tail"));

    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        bool feedFails;  // otherwise only the end fails
    };
    const Case cases[] = {
        {"block type 3", {0x07}, true},
        {"NLEN not the complement of LEN", {0x01, 0x05, 0x00, 0x00, 0x00}, true},
        {"distance before the start", FixedBlock({'a', 257, 256}, 1), true},
        {"distance code 30", FixedBlock({'a', 'b', 257, 256}, 30), true},
        {"length code 286", FixedBlock({'a', 286, 256}), true},
        {"over-subscribed literal/length code", DynamicBlock(overSubscribed, {1}, {256}), true},
        {"incomplete literal/length code", DynamicBlock(incomplete, {1}, {256}), true},
        {"no end-of-block code", DynamicBlock(noEndOfBlock, {1}, {'a'}), true},
        {"cut short", std::vector<uint8_t>(valid.begin(), valid.end() - 2), false},
        {"stored block cut short", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'}, false},
        {"no final block", {0x00, 0x00, 0x00, 0xFF, 0xFF}, false},
        {"bytes after the final block", Bytes(std::string("\x01\x00\x00\xFF\xFFjunk", 9)), false},
    };
    for (const Case& damaged : cases) {
        const InflateOutcome outcome = InflateWhole(damaged.stream);
        EXPECT_EQ(outcome.feedsSucceeded, !damaged.feedFails) << damaged.what;
        EXPECT_FALSE(outcome.endSucceeded) << damaged.what;
    }

    // Once failed, it stays failed; a refusing output callback fails the feed that delivered.
    InflaterHandle inflater = InflateCreate([](std::span<const uint8_t>) { return true; });
    EXPECT_EQ(InflateFeed(*inflater, std::vector<uint8_t>{0x07}), InflateStatus::failed);
    EXPECT_EQ(InflateFeed(*inflater, valid), InflateStatus::failed);
    inflater = InflateCreate([](std::span<const uint8_t>) { return false; });
    EXPECT_EQ(InflateFeed(*inflater, valid), InflateStatus::failed);
    EXPECT_EQ(InflateEnd(std::move(inflater)), InflateStatus::failed);
}

TEST(Crc32, MatchesTheCheckValueAndZlibPieceByPiece) {
    EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
    std::mt19937 random(7);
    const std::vector<uint8_t> data = MakeBuffer(0, 100000, random);
    uint32_t pieceByPiece = 0;
    for (size_t offset = 0; offset < data.size();) {
        const size_t piece = std::min<size_t>(random() % 5000, data.size() - offset);
        pieceByPiece = Crc32Update(pieceByPiece, std::span(data).subspan(offset, piece));
        offset += piece;
    }
    EXPECT_EQ(pieceByPiece, crc32(0, data.data(), static_cast<uInt>(data.size())));
}

}  // namespace
}  // namespace orvet
