#include "disk/inflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace orvet {

namespace {

// Enough unread input for the largest step, a dynamic block header (at most about 570 bytes),
// many times over.
constexpr size_t kInputRingSize = 16384;
// The farthest back a length/distance pair can reach.
constexpr size_t kWindowSize = 32768;
constexpr int kLongestCode = 15;
constexpr int kLiteralLengthRootBits = 9;
constexpr int kDistanceRootBits = 6;
constexpr int kCodeLengthRootBits = 7;  // code-length codes are at most 7 bits: one level

constexpr int kEndOfBlock = 256;
constexpr int kLiteralLengthSymbols = 288;
constexpr int kDistanceSymbols = 32;

constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistanceExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                        4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                        9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block header lists the lengths of the code-length code: the
// lengths most likely to be zero come last, so that they can be left out.
constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

enum class EntryKind : uint8_t { invalid, symbol, link };

// One slot of a lookup table, indexed by the next bits of the stream (first bit lowest).
struct HuffmanEntry {
    uint16_t value = 0;  // symbol: the symbol; link: where its second-level table starts
    // symbol: the code's bits at this level; link: the index width of the second-level table;
    // invalid: how many bits must be present before the slot proves that no code matches.
    uint8_t bits = 0;
    EntryKind kind = EntryKind::invalid;
};

// A first level indexed by rootBits bits, followed by second-level tables for the codes longer
// than that, each indexed by the bits after the first rootBits.
struct HuffmanTable {
    std::vector<HuffmanEntry> entries;
    int rootBits = 0;
};

// Streams written by well-behaved encoders use complete codes; the format itself allows a
// distance code with unused bit patterns (a block with one distance, or none at all).
enum class CodeSetRule { mustBeComplete, mayBeIncomplete };

uint32_t ReverseBits(uint32_t code, int length) {
    uint32_t reversed = 0;
    for (int bit = 0; bit < length; ++bit) {
        reversed = (reversed << 1) | (code & 1);
        code >>= 1;
    }
    return reversed;
}

// Builds the canonical code that `codeLengths` (each 0..15, 0 = unused symbol) describe.
bool BuildHuffmanTable(std::span<const uint8_t> codeLengths, int rootBits, CodeSetRule rule,
                       HuffmanTable& table) {
    std::array<int, kLongestCode + 1> codesOfLength{};
    for (uint8_t length : codeLengths) ++codesOfLength[length];
    codesOfLength[0] = 0;
    int unusedPatterns = 1;
    for (int length = 1; length <= kLongestCode; ++length) {
        unusedPatterns = unusedPatterns * 2 - codesOfLength[length];
        if (unusedPatterns < 0) return false;  // more codes than bit patterns
    }
    if (unusedPatterns > 0 && rule == CodeSetRule::mustBeComplete) return false;

    std::array<uint32_t, kLongestCode + 1> nextCode{};
    uint32_t code = 0;
    for (int length = 1; length <= kLongestCode; ++length) {
        code = (code + static_cast<uint32_t>(codesOfLength[length - 1])) << 1;
        nextCode[length] = code;
    }

    // Codes are sent most significant bit first into a stream read least significant bit first,
    // so the tables are indexed by the reversed code.
    const uint32_t rootSize = 1u << rootBits;
    const uint32_t rootMask = rootSize - 1;
    std::vector<uint32_t> reversedCodes(codeLengths.size());
    std::vector<uint8_t> secondLevelWidth(rootSize, 0);
    for (size_t symbol = 0; symbol < codeLengths.size(); ++symbol) {
        const int length = codeLengths[symbol];
        if (length == 0) continue;
        reversedCodes[symbol] = ReverseBits(nextCode[length]++, length);
        if (length > rootBits) {
            uint8_t& width = secondLevelWidth[reversedCodes[symbol] & rootMask];
            width = std::max<uint8_t>(width, static_cast<uint8_t>(length - rootBits));
        }
    }

    table.rootBits = rootBits;
    table.entries.assign(rootSize,
                         HuffmanEntry{0, static_cast<uint8_t>(rootBits), EntryKind::invalid});
    for (uint32_t prefix = 0; prefix < rootSize; ++prefix) {
        const uint8_t width = secondLevelWidth[prefix];
        if (width == 0) continue;
        table.entries[prefix] = {static_cast<uint16_t>(table.entries.size()), width,
                                 EntryKind::link};
        table.entries.resize(table.entries.size() + (size_t{1} << width),
                             HuffmanEntry{0, width, EntryKind::invalid});
    }
    for (size_t symbol = 0; symbol < codeLengths.size(); ++symbol) {
        const int length = codeLengths[symbol];
        if (length == 0) continue;
        const uint32_t reversed = reversedCodes[symbol];
        if (length <= rootBits) {
            for (uint32_t index = reversed; index < rootSize; index += 1u << length) {
                table.entries[index] = {static_cast<uint16_t>(symbol), static_cast<uint8_t>(length),
                                        EntryKind::symbol};
            }
            continue;
        }
        const HuffmanEntry link = table.entries[reversed & rootMask];
        const uint32_t secondLevelSize = 1u << link.bits;
        for (uint32_t index = reversed >> rootBits; index < secondLevelSize;
             index += 1u << (length - rootBits)) {
            table.entries[link.value + index] = {static_cast<uint16_t>(symbol),
                                                 static_cast<uint8_t>(length - rootBits),
                                                 EntryKind::symbol};
        }
    }
    return true;
}

enum class BlockState {
    header,         // expecting the 3-bit block header
    storedHeader,   // LEN and NLEN of a stored block
    fixedSetup,     // building the fixed codes
    dynamicHeader,  // the code lengths of a dynamic block
    storedCopy,     // copying the bytes of a stored block
    huffmanData,    // decoding literals, lengths and distances
    done,           // the final block is complete
};

// Where the decoder stands in its input. A step that runs short of input puts this back as it
// was, so that the same step starts over when more arrives.
struct InputState {
    uint64_t bitBuffer = 0;  // bits not yet used, the next one lowest
    int bitCount = 0;
    size_t readIndex = 0;    // into the input ring
    size_t unreadCount = 0;  // bytes in the ring not yet moved into bitBuffer
};

enum class StepResult { progressed, needInput, streamEnded, failed };

constexpr int kNeedInput = -1;
constexpr int kInvalidCode = -2;

}  // namespace

struct Inflater {
    InflateOutput output;
    BlockState blockState = BlockState::header;
    bool lastBlock = false;
    bool failed = false;
    uint32_t storedLeft = 0;
    uint64_t trailingBytes = 0;  // fed after the final block
    uint64_t totalOutput = 0;

    InputState input;
    std::array<uint8_t, kInputRingSize> inputRing{};

    HuffmanTable literalLengthTable;
    HuffmanTable distanceTable;
    HuffmanTable codeLengthTable;

    std::array<uint8_t, kWindowSize> window{};
    size_t windowWriteIndex = 0;
    size_t windowFlushedIndex = 0;
};

namespace {

size_t MoveIntoRing(Inflater& inflater, std::span<const uint8_t> compressed) {
    InputState& input = inflater.input;
    size_t moved = 0;
    while (moved < compressed.size() && input.unreadCount < kInputRingSize) {
        const size_t writeIndex = (input.readIndex + input.unreadCount) % kInputRingSize;
        const size_t room =
            std::min(kInputRingSize - input.unreadCount, kInputRingSize - writeIndex);
        const size_t piece = std::min(room, compressed.size() - moved);
        std::memcpy(inflater.inputRing.data() + writeIndex, compressed.data() + moved, piece);
        moved += piece;
        input.unreadCount += piece;
    }
    return moved;
}

// Brings whole bytes into the bit buffer until it holds `wanted` bits or the input runs out.
void FillBits(Inflater& inflater, int wanted) {
    InputState& input = inflater.input;
    while (input.bitCount < wanted && input.unreadCount > 0) {
        input.bitBuffer |= uint64_t{inflater.inputRing[input.readIndex]} << input.bitCount;
        input.readIndex = (input.readIndex + 1) % kInputRingSize;
        --input.unreadCount;
        input.bitCount += 8;
    }
}

void DropBits(InputState& input, int count) {
    input.bitBuffer >>= count;
    input.bitCount -= count;
}

bool TakeBits(Inflater& inflater, int count, uint32_t& value) {
    FillBits(inflater, count);
    InputState& input = inflater.input;
    if (input.bitCount < count) return false;
    value = static_cast<uint32_t>(input.bitBuffer & ((uint64_t{1} << count) - 1));
    DropBits(input, count);
    return true;
}

// The next symbol, kNeedInput, or kInvalidCode. With fewer bits present than the longest code,
// the missing ones read as zeros; a slot whose code fits in the bits present is still the right
// one, since every slot sharing those low bits holds the same code.
int DecodeSymbol(Inflater& inflater, const HuffmanTable& table) {
    FillBits(inflater, kLongestCode);
    InputState& input = inflater.input;
    const uint64_t rootMask = (uint64_t{1} << table.rootBits) - 1;
    HuffmanEntry entry = table.entries[input.bitBuffer & rootMask];
    int bitsBefore = 0;
    if (entry.kind == EntryKind::link) {
        if (input.bitCount < table.rootBits) return kNeedInput;
        const uint64_t secondLevelMask = (uint64_t{1} << entry.bits) - 1;
        entry =
            table.entries[entry.value + ((input.bitBuffer >> table.rootBits) & secondLevelMask)];
        bitsBefore = table.rootBits;
    }
    if (bitsBefore + entry.bits > input.bitCount) return kNeedInput;
    if (entry.kind != EntryKind::symbol) return kInvalidCode;
    DropBits(input, bitsBefore + entry.bits);
    return entry.value;
}

bool FlushWindow(Inflater& inflater) {
    const size_t pending = inflater.windowWriteIndex - inflater.windowFlushedIndex;
    const uint8_t* start = inflater.window.data() + inflater.windowFlushedIndex;
    inflater.windowFlushedIndex = inflater.windowWriteIndex;
    if (inflater.windowWriteIndex == kWindowSize) {
        inflater.windowWriteIndex = 0;
        inflater.windowFlushedIndex = 0;
    }
    return pending == 0 || inflater.output(std::span<const uint8_t>(start, pending));
}

bool PutByte(Inflater& inflater, uint8_t byte) {
    inflater.window[inflater.windowWriteIndex++] = byte;
    ++inflater.totalOutput;
    return inflater.windowWriteIndex < kWindowSize || FlushWindow(inflater);
}

void EndBlock(Inflater& inflater) {
    inflater.blockState = inflater.lastBlock ? BlockState::done : BlockState::header;
}

StepResult ReadBlockHeader(Inflater& inflater) {
    uint32_t header = 0;
    if (!TakeBits(inflater, 3, header)) return StepResult::needInput;
    inflater.lastBlock = (header & 1) != 0;
    switch (header >> 1) {
        case 0:
            inflater.blockState = BlockState::storedHeader;
            break;
        case 1:
            inflater.blockState = BlockState::fixedSetup;
            break;
        case 2:
            inflater.blockState = BlockState::dynamicHeader;
            break;
        default:
            return StepResult::failed;  // block type 3 does not exist
    }
    return StepResult::progressed;
}

StepResult ReadStoredHeader(Inflater& inflater) {
    const InputState saved = inflater.input;
    DropBits(inflater.input, inflater.input.bitCount % 8);  // stored data starts on a byte
    uint32_t length = 0;
    uint32_t lengthComplement = 0;
    if (!TakeBits(inflater, 16, length) || !TakeBits(inflater, 16, lengthComplement)) {
        inflater.input = saved;
        return StepResult::needInput;
    }
    if ((length ^ 0xFFFF) != lengthComplement) return StepResult::failed;
    inflater.storedLeft = length;
    if (length == 0) {
        EndBlock(inflater);
    } else {
        inflater.blockState = BlockState::storedCopy;
    }
    return StepResult::progressed;
}

StepResult CopyStored(Inflater& inflater) {
    // The bit buffer is empty here: it takes bytes only as bits are wanted, so it never holds
    // more than the two bytes that LEN and NLEN then used up. Stored bytes come from the ring.
    InputState& input = inflater.input;
    bool copiedAny = false;
    while (inflater.storedLeft > 0 && input.unreadCount > 0) {
        const size_t piece =
            std::min({size_t{inflater.storedLeft}, input.unreadCount,
                      kInputRingSize - input.readIndex, kWindowSize - inflater.windowWriteIndex});
        std::memcpy(inflater.window.data() + inflater.windowWriteIndex,
                    inflater.inputRing.data() + input.readIndex, piece);
        input.readIndex = (input.readIndex + piece) % kInputRingSize;
        input.unreadCount -= piece;
        inflater.storedLeft -= static_cast<uint32_t>(piece);
        inflater.windowWriteIndex += piece;
        inflater.totalOutput += piece;
        copiedAny = true;
        if (inflater.windowWriteIndex == kWindowSize && !FlushWindow(inflater)) {
            return StepResult::failed;
        }
    }
    if (inflater.storedLeft == 0) {
        EndBlock(inflater);
        return StepResult::progressed;
    }
    return copiedAny ? StepResult::progressed : StepResult::needInput;
}

// The block's decoding tables; its data follows. Distance codes may be incomplete (a block with
// one distance, or none), the literal/length codes must not be.
StepResult InstallBlockCodes(Inflater& inflater, std::span<const uint8_t> literalLengths,
                             std::span<const uint8_t> distanceLengths) {
    if (!BuildHuffmanTable(literalLengths, kLiteralLengthRootBits, CodeSetRule::mustBeComplete,
                           inflater.literalLengthTable) ||
        !BuildHuffmanTable(distanceLengths, kDistanceRootBits, CodeSetRule::mayBeIncomplete,
                           inflater.distanceTable)) {
        return StepResult::failed;
    }
    inflater.blockState = BlockState::huffmanData;
    return StepResult::progressed;
}

StepResult SetUpFixedCodes(Inflater& inflater) {
    std::array<uint8_t, kLiteralLengthSymbols> literalLengths{};
    std::fill(literalLengths.begin(), literalLengths.begin() + 144, 8);
    std::fill(literalLengths.begin() + 144, literalLengths.begin() + 256, 9);
    std::fill(literalLengths.begin() + 256, literalLengths.begin() + 280, 7);
    std::fill(literalLengths.begin() + 280, literalLengths.end(), 8);
    // Only 30 of the 32 five-bit patterns are distances; the other two are invalid.
    std::array<uint8_t, 30> distanceLengths{};
    distanceLengths.fill(5);
    return InstallBlockCodes(inflater, literalLengths, distanceLengths);
}

StepResult ReadDynamicHeader(Inflater& inflater) {
    const InputState saved = inflater.input;
    auto needInput = [&] {
        inflater.input = saved;
        return StepResult::needInput;
    };
    uint32_t literalLengthCount = 0;
    uint32_t distanceCount = 0;
    uint32_t codeLengthCount = 0;
    if (!TakeBits(inflater, 5, literalLengthCount) || !TakeBits(inflater, 5, distanceCount) ||
        !TakeBits(inflater, 4, codeLengthCount)) {
        return needInput();
    }
    literalLengthCount += 257;
    distanceCount += 1;
    codeLengthCount += 4;

    std::array<uint8_t, 19> codeLengthLengths{};
    for (uint32_t index = 0; index < codeLengthCount; ++index) {
        uint32_t length = 0;
        if (!TakeBits(inflater, 3, length)) return needInput();
        codeLengthLengths[kCodeLengthOrder[index]] = static_cast<uint8_t>(length);
    }
    if (!BuildHuffmanTable(codeLengthLengths, kCodeLengthRootBits, CodeSetRule::mayBeIncomplete,
                           inflater.codeLengthTable)) {
        return StepResult::failed;
    }

    std::array<uint8_t, kLiteralLengthSymbols + kDistanceSymbols> lengths{};
    const uint32_t totalCount = literalLengthCount + distanceCount;
    uint32_t filled = 0;
    while (filled < totalCount) {
        const int symbol = DecodeSymbol(inflater, inflater.codeLengthTable);
        if (symbol == kNeedInput) return needInput();
        if (symbol == kInvalidCode) return StepResult::failed;
        if (symbol < 16) {
            lengths[filled++] = static_cast<uint8_t>(symbol);
            continue;
        }
        // 16 repeats the previous length 3-6 times, 17 and 18 give runs of zeros.
        uint8_t repeatedLength = 0;
        uint32_t repeatBits = 0;
        uint32_t repeatCount = 0;
        bool haveBits = false;
        if (symbol == 16) {
            if (filled == 0) return StepResult::failed;
            repeatedLength = lengths[filled - 1];
            haveBits = TakeBits(inflater, 2, repeatBits);
            repeatCount = 3 + repeatBits;
        } else if (symbol == 17) {
            haveBits = TakeBits(inflater, 3, repeatBits);
            repeatCount = 3 + repeatBits;
        } else {
            haveBits = TakeBits(inflater, 7, repeatBits);
            repeatCount = 11 + repeatBits;
        }
        if (!haveBits) return needInput();
        if (filled + repeatCount > totalCount) return StepResult::failed;
        std::fill_n(lengths.begin() + filled, repeatCount, repeatedLength);
        filled += repeatCount;
    }

    const std::span<const uint8_t> literalLengths(lengths.data(), literalLengthCount);
    const std::span<const uint8_t> distanceLengths(lengths.data() + literalLengthCount,
                                                   distanceCount);
    // A block without an end-of-block code could never end.
    if (literalLengths[kEndOfBlock] == 0) return StepResult::failed;
    return InstallBlockCodes(inflater, literalLengths, distanceLengths);
}

// One literal, one end of block, or one length/distance pair with its copy.
StepResult DecodeHuffmanData(Inflater& inflater) {
    const InputState saved = inflater.input;
    auto needInput = [&] {
        inflater.input = saved;
        return StepResult::needInput;
    };
    const int symbol = DecodeSymbol(inflater, inflater.literalLengthTable);
    if (symbol == kNeedInput) return needInput();
    if (symbol == kInvalidCode) return StepResult::failed;
    if (symbol < kEndOfBlock) {
        return PutByte(inflater, static_cast<uint8_t>(symbol)) ? StepResult::progressed
                                                               : StepResult::failed;
    }
    if (symbol == kEndOfBlock) {
        EndBlock(inflater);
        return StepResult::progressed;
    }
    const size_t lengthIndex = static_cast<size_t>(symbol - kEndOfBlock - 1);
    if (lengthIndex >= kLengthBase.size()) return StepResult::failed;  // 286 and 287
    uint32_t extra = 0;
    if (!TakeBits(inflater, kLengthExtraBits[lengthIndex], extra)) return needInput();
    const uint32_t length = kLengthBase[lengthIndex] + extra;

    const int distanceSymbol = DecodeSymbol(inflater, inflater.distanceTable);
    if (distanceSymbol == kNeedInput) return needInput();
    if (distanceSymbol == kInvalidCode) return StepResult::failed;
    const size_t distanceIndex = static_cast<size_t>(distanceSymbol);
    if (distanceIndex >= kDistanceBase.size()) return StepResult::failed;  // 30 and 31
    if (!TakeBits(inflater, kDistanceExtraBits[distanceIndex], extra)) return needInput();
    const uint32_t distance = kDistanceBase[distanceIndex] + extra;
    // A distance reaching before the start of the stream would copy bytes that were never
    // written.
    if (distance > inflater.totalOutput) return StepResult::failed;

    for (uint32_t copied = 0; copied < length; ++copied) {
        const size_t from = (inflater.windowWriteIndex + kWindowSize - distance) % kWindowSize;
        if (!PutByte(inflater, inflater.window[from])) return StepResult::failed;
    }
    return StepResult::progressed;
}

StepResult Step(Inflater& inflater) {
    switch (inflater.blockState) {
        case BlockState::header:
            return ReadBlockHeader(inflater);
        case BlockState::storedHeader:
            return ReadStoredHeader(inflater);
        case BlockState::fixedSetup:
            return SetUpFixedCodes(inflater);
        case BlockState::dynamicHeader:
            return ReadDynamicHeader(inflater);
        case BlockState::storedCopy:
            return CopyStored(inflater);
        case BlockState::huffmanData:
            return DecodeHuffmanData(inflater);
        case BlockState::done:
            return StepResult::streamEnded;
    }
    return StepResult::failed;
}

StepResult RunSteps(Inflater& inflater) {
    StepResult result = StepResult::progressed;
    while (result == StepResult::progressed) result = Step(inflater);
    return result;
}

}  // namespace

void InflaterDeleter::operator()(Inflater* inflater) const {
    delete inflater;
}

InflaterHandle InflateCreate(InflateOutput output) {
    InflaterHandle inflater(new (std::nothrow) Inflater);
    if (inflater) inflater->output = std::move(output);
    return inflater;
}

InflateStatus InflateFeed(Inflater& inflater, std::span<const uint8_t> compressed) {
    if (inflater.failed) return InflateStatus::failed;
    size_t consumed = 0;
    while (true) {
        if (inflater.blockState == BlockState::done) {
            inflater.trailingBytes += compressed.size() - consumed;
            break;
        }
        consumed += MoveIntoRing(inflater, compressed.subspan(consumed));
        StepResult result = StepResult::failed;
        try {
            result = RunSteps(inflater);
        } catch (const std::bad_alloc&) {
            result = StepResult::failed;  // no room for a block's decoding tables
        }
        if (result == StepResult::failed) {
            inflater.failed = true;
            return InflateStatus::failed;
        }
        if (result == StepResult::streamEnded) {
            // Whole bytes the bit buffer took ahead belong after the stream, like the ring's.
            InputState& input = inflater.input;
            inflater.trailingBytes += input.unreadCount + static_cast<size_t>(input.bitCount / 8);
            input = InputState{};
            continue;
        }
        if (consumed == compressed.size()) break;
        // The ring was full and no step could complete: no valid step needs that much input.
        if (inflater.input.unreadCount == kInputRingSize) {
            inflater.failed = true;
            return InflateStatus::failed;
        }
    }
    if (!FlushWindow(inflater)) {
        inflater.failed = true;
        return InflateStatus::failed;
    }
    return InflateStatus::ok;
}

bool InflateStreamEnded(const Inflater& inflater) {
    return inflater.blockState == BlockState::done;
}

InflateStatus InflateEnd(InflaterHandle inflater) {
    if (!inflater || inflater->failed || inflater->blockState != BlockState::done ||
        inflater->trailingBytes > 0) {
        return InflateStatus::failed;
    }
    return InflateStatus::ok;
}

}  // namespace orvet
