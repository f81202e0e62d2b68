#include "capture/gif_writer.h"

#include <array>

namespace orvet {
namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstWidth = 9;
constexpr int kWidestCode = 12;
// The dictionary starts afresh before it outgrows any of these: the last code a GIF can name
// (4,095, less the two the start-afresh step itself may take), the strings a 5,003-slot table
// holds comfortably, and the string store, where each string takes its length and 3 bytes from
// offset 1 on.
constexpr int kLastNewCode = 4093;
constexpr int kMostStrings = 3335;
constexpr int kStoreLimit = 15379;
constexpr int kSlotCount = 5003;
// Whole bytes that make a sub-block go out.
constexpr size_t kBlockBytes = 251;

class LzwCoder {
public:
    explicit LzwCoder(std::vector<uint8_t>& out) : out_(out) { startAfresh(); }

    void begin() { writeCode(kClearCode); }

    void add(uint8_t byte) {
        if (currentLength_ == 0) {
            currentCode_ = byte;
            currentLength_ = 1;
            return;
        }
        // Every string in the dictionary is a known string and one byte more, so the current
        // string's code and the new byte name the longer string.
        const uint32_t key = static_cast<uint32_t>(currentCode_) << 8 | byte;
        int slot = static_cast<int>((key * 2654435761u >> 12) % kSlotCount);
        while (slots_[slot].key != 0 && slots_[slot].key != key + 1) {
            slot = slot + 1 == kSlotCount ? 0 : slot + 1;
        }
        const bool found = slots_[slot].key != 0;
        if (found && currentLength_ + 1 <= static_cast<int>(kGifLongestCode)) {
            currentCode_ = slots_[slot].code;
            ++currentLength_;
            return;
        }
        writeDataCode(currentCode_);
        if (!found) {
            slots_[slot] = {key + 1, static_cast<uint16_t>(newestCode())};
            ++strings_;
            storeEnd_ += currentLength_ + 1 + 3;
        }
        currentCode_ = byte;
        currentLength_ = 1;
        if (newestCode() > kLastNewCode || strings_ > kMostStrings || storeEnd_ > kStoreLimit) {
            writeDataCode(byte);
            writeCode(kClearCode);
            startAfresh();
        }
    }

    void end() {
        if (currentLength_ > 0) writeDataCode(currentCode_);
        writeCode(kEndCode);
        if (bitCount_ > 0) block_.push_back(static_cast<uint8_t>(bits_));
        bits_ = 0;
        bitCount_ = 0;
        flushBlock();
        out_.push_back(0);
    }

private:
    struct Slot {
        uint32_t key = 0;  // the string's prefix code and last byte, plus 1; 0 when free
        uint16_t code = 0;
    };

    int newestCode() const { return kEndCode + codesWritten_; }

    void startAfresh() {
        width_ = kFirstWidth;
        codesWritten_ = 0;
        strings_ = 0;
        storeEnd_ = 1;
        currentLength_ = 0;
        slots_.fill(Slot{});
    }

    // A decoder counts one more code in its table for every code it reads after a clear code,
    // and reads the codes after the one that fills 2^width entries one bit wider. The coder counts
    // the same way, also for the code written just before a clear code and for the last code
    // before the end code, so that those two always come in the width the decoder expects.
    void writeDataCode(int code) {
        writeCode(code);
        ++codesWritten_;
        if (newestCode() == 1 << width_ && width_ < kWidestCode) ++width_;
    }

    void writeCode(int code) {
        bits_ |= static_cast<uint32_t>(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            block_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        if (block_.size() >= kBlockBytes) flushBlock();
    }

    void flushBlock() {
        if (block_.empty()) return;
        out_.push_back(static_cast<uint8_t>(block_.size()));
        out_.insert(out_.end(), block_.begin(), block_.end());
        block_.clear();
    }

    std::vector<uint8_t>& out_;
    std::vector<uint8_t> block_;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    int width_ = kFirstWidth;
    int codesWritten_ = 0;
    int strings_ = 0;
    int storeEnd_ = 1;
    int currentCode_ = 0;
    int currentLength_ = 0;
    std::array<Slot, kSlotCount> slots_{};
};

void PutLittle16(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

void GifLzwEncode(const uint8_t* indexes, size_t count, std::vector<uint8_t>& out) {
    LzwCoder coder(out);
    coder.begin();
    for (size_t index = 0; index < count; ++index) coder.add(indexes[index]);
    coder.end();
}

std::vector<uint8_t> EncodeGif87a(const uint8_t* indexes, int width, int height,
                                  const std::array<std::array<uint8_t, 3>, 256>& redGreenBlue) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(width) * height / 2 + 1024);
    for (char character : {'G', 'I', 'F', '8', '7', 'a'}) out.push_back(character);
    PutLittle16(out, width);
    PutLittle16(out, height);
    out.push_back(0xF7);  // a global table of 256 entries, 8 bits of colour resolution
    out.push_back(0);     // background index
    out.push_back(0);     // no aspect ratio given
    for (const auto& entry : redGreenBlue) out.insert(out.end(), entry.begin(), entry.end());
    out.push_back(0x2C);  // the image: at 0, 0, the whole screen, no table of its own
    PutLittle16(out, 0);
    PutLittle16(out, 0);
    PutLittle16(out, width);
    PutLittle16(out, height);
    out.push_back(0);
    out.push_back(8);  // minimum code size: 8-bit indexes
    GifLzwEncode(indexes, static_cast<size_t>(width) * height, out);
    out.push_back(0x3B);
    return out;
}

}  // namespace orvet
