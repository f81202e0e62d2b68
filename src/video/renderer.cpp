#include "video/renderer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace orvet {
namespace {

constexpr int32_t kFirstDrawnCycle = 6656;  // line 13: the first line a monitor shows
constexpr int kRowStart = 16;               // pixels left untouched at the start of every row
constexpr int kRowPixels = 768;             // 384 cycles drawn per line
constexpr int32_t kHiddenCycles = 64;
constexpr int32_t kBorderCycles = 32;
constexpr int kBlocksPerLine = 20;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max() / 2;

// For each byte, its eight bits spread one per byte, the leftmost pixel (bit 7) in the lowest
// byte: or-ing the spread of four bitplanes shifted by their plane number gives eight colour
// indices at once.
struct PlaneSpread {
    std::array<uint64_t, 256> bytes{};
    constexpr PlaneSpread() {
        for (int value = 0; value < 256; ++value) {
            uint64_t spread = 0;
            for (int pixel = 0; pixel < 8; ++pixel) {
                if (value & (0x80 >> pixel)) spread |= uint64_t{1} << (8 * pixel);
            }
            bytes[value] = spread;
        }
    }
};
constexpr PlaneSpread kPlaneSpread;

uint16_t fieldValue(uint32_t mask, unsigned intensity) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    int width = std::popcount(mask);
    uint32_t value = width >= 4 ? intensity << (width - 4) : intensity >> (4 - width);
    return static_cast<uint16_t>((value << shift) & mask);
}

// The screen memory the shifter reads: the frame's copy, or live RAM after a display pointer
// change. Reads outside it show nothing rather than leave it, whatever line tricks did to the
// position.
struct Source {
    const uint8_t* base = nullptr;
    int64_t position = 0;
    int64_t limit = 0;

    void read(uint16_t words[4]) {
        if (position >= 0 && position + 8 <= limit) {
            std::memcpy(words, base + position, 8);  // words are kept in host order
        } else {
            words[0] = words[1] = words[2] = words[3] = 0;
        }
        position += 8;
    }
};

class FramePass {
public:
    FramePass(Renderer& renderer, const Shifter& shifter, const MachineMemory& memory)
        : renderer_(renderer), memory_(memory), entry_(shifter.log.words.data()) {
        source_.base = shifter.snapshot.data();
        source_.limit = static_cast<int64_t>(shifter.snapshot.size());
        next_ = static_cast<int64_t>(entry_[0]) - kFirstDrawnCycle;
        if (entry_[0] == kLogEndMark) next_ = kNever;
    }

    void draw(const Shifter& shifter, uint16_t* surface, int pitchPixels) {
        int topLines = 50, visibleLines = 200, bottomLines = 50;
        if (shifter.topBorderOpen) topLines = 21, visibleLines += 29;
        if (shifter.bottomBorderOpen) bottomLines = 7, visibleLines += 43;
        uint16_t* row = surface;
        const ptrdiff_t rowStep = 2 * static_cast<ptrdiff_t>(pitchPixels);
        for (int line = 0; line < topLines + visibleLines + bottomLines; ++line, row += rowStep) {
            out_ = row + kRowStart;
            rowEnd_ = out_ + kRowPixels;
            if (line >= topLines && line < topLines + visibleLines) {
                displayLine();
            } else {
                borderLine();
            }
        }
    }

    // Entries the drawing did not reach (the last line's hidden end, or a frame not drawn)
    // still change the palette and the resolution for the frames after.
    void applyRemaining() {
        while (entry_[0] != kLogEndMark) apply();
    }

private:
    void apply() {
        if (entry_[0] == kLogEndMark) {
            next_ = kNever;
            return;
        }
        const uint32_t kind = entry_[1];
        const uint32_t value = entry_[2];
        if (kind < kLogDisplayPointer) {
            int index = static_cast<int>(kind / 2);
            renderer_.palette[index] = static_cast<uint16_t>(value);
            renderer_.hostPalette[index] = renderer_.colourTable[value & 0xFFFF];
        } else {
            switch (kind) {
                case kLogDisplayPointer:
                    source_.base = memory_.block.get();
                    source_.limit = memory_.block ? kMachineMemorySize : 0;
                    source_.position = value & 0x3FFFFE;
                    break;
                case kLogResolution:
                    renderer_.resolution = static_cast<uint8_t>(value & 3);
                    break;
                case kLogRightBorderOpen:
                    borderWidth_ = 0;
                    lineExtra_ += 28;
                    lineBlocks_ += 2;
                    break;
                case kLogLeftBorderOpen:
                    borderWidth_ = 0;
                    lineBlocks_ += 2;
                    source_.position += 8;
                    lineExtra_ += 2;
                    break;
                case kLogLineStop:
                    lineExtra_ -= 106;
                    break;
                case kLogLineShort:
                    lineExtra_ -= 2;
                    break;
                default:
                    break;
            }
        }
        entry_ += 3;
        next_ += entry_[0] == kLogEndMark ? kNever : entry_[0];
    }

    // Time passes with nothing drawn; every entry in the stretch takes effect.
    void advance(int32_t cycles) {
        next_ -= cycles;
        while (next_ < 0) apply();
    }

    void put(uint16_t pixel, int64_t count) {
        int64_t room = rowEnd_ - out_;
        if (count > room) count = room;
        if (count <= 0) return;
        uint16_t* end = out_ + count;
        // Four pixels per store: border runs are the bulk of what a frame writes.
        const uint64_t four = pixel * 0x0001000100010001ull;
        for (; out_ + 4 <= end; out_ += 4) std::memcpy(out_, &four, 8);
        while (out_ < end) *out_++ = pixel;
    }

    // Border colour, with colour changes landing on their exact cycle.
    void fill(int32_t cycles) {
        // Entries held back by the one-per-quarter rule inside the display are overdue here:
        // they take effect where the border begins.
        while (next_ < 0) apply();
        int64_t remaining = cycles;
        while (next_ < remaining) {
            put(renderer_.hostPalette[0], 2 * next_);
            remaining -= next_;
            next_ = 0;
            apply();
        }
        put(renderer_.hostPalette[0], 2 * remaining);
        next_ -= remaining;
    }

    // Eight host pixels: a quarter of a 16-pixel block in the resolution in force.
    void drawQuarter(const uint16_t words[4], int quarter) {
        if (out_ + 8 > rowEnd_) {
            out_ = rowEnd_;
            return;
        }
        const std::array<uint16_t, 16>& colours = renderer_.hostPalette;
        switch (renderer_.resolution) {
            case 0: {
                // Four pixels, each twice as wide as a host pixel.
                int shift = quarter < 2 ? 8 : 0;
                uint64_t indices = kPlaneSpread.bytes[(words[0] >> shift) & 0xFF] |
                                   kPlaneSpread.bytes[(words[1] >> shift) & 0xFF] << 1 |
                                   kPlaneSpread.bytes[(words[2] >> shift) & 0xFF] << 2 |
                                   kPlaneSpread.bytes[(words[3] >> shift) & 0xFF] << 3;
                indices >>= 32 * (quarter & 1);
                for (int pixel = 0; pixel < 4; ++pixel, indices >>= 8) {
                    uint16_t colour = colours[indices & 0xF];
                    out_[0] = out_[1] = colour;
                    out_ += 2;
                }
                break;
            }
            case 1: {
                const uint16_t* pair = words + 2 * (quarter >> 1);
                int shift = (quarter & 1) ? 0 : 8;
                uint64_t indices = kPlaneSpread.bytes[(pair[0] >> shift) & 0xFF] |
                                   kPlaneSpread.bytes[(pair[1] >> shift) & 0xFF] << 1;
                for (int pixel = 0; pixel < 8; ++pixel, indices >>= 8) {
                    *out_++ = colours[indices & 0x3];
                }
                break;
            }
            default:
                for (int pixel = 0; pixel < 8; ++pixel) *out_++ = 0;
                break;
        }
    }

    // A whole block with nothing to apply inside it: the common case, drawn 8 pixels at a time.
    void drawBlock(const uint16_t words[4]) {
        if (out_ + 32 > rowEnd_ || renderer_.resolution > 1) {
            for (int quarter = 0; quarter < 4; ++quarter) drawQuarter(words, quarter);
            return;
        }
        const std::array<uint16_t, 16>& colours = renderer_.hostPalette;
        const auto& spread = kPlaneSpread.bytes;
        if (renderer_.resolution == 0) {
            for (int shift = 8; shift >= 0; shift -= 8) {
                uint64_t indices = spread[(words[0] >> shift) & 0xFF] |
                                   spread[(words[1] >> shift) & 0xFF] << 1 |
                                   spread[(words[2] >> shift) & 0xFF] << 2 |
                                   spread[(words[3] >> shift) & 0xFF] << 3;
                for (int pixel = 0; pixel < 8; pixel += 2, indices >>= 16) {
                    uint64_t left = colours[indices & 0xF];
                    uint64_t right = colours[(indices >> 8) & 0xF];
                    uint64_t pair = (left | right << 32) * 0x10001u;
                    std::memcpy(out_, &pair, 8);
                    out_ += 4;
                }
            }
        } else {
            for (int pair = 0; pair < 4; pair += 2) {
                for (int shift = 8; shift >= 0; shift -= 8) {
                    uint64_t indices = spread[(words[pair] >> shift) & 0xFF] |
                                       spread[(words[pair + 1] >> shift) & 0xFF] << 1;
                    for (int pixel = 0; pixel < 8; ++pixel, indices >>= 8) {
                        *out_++ = colours[indices & 0x3];
                    }
                }
            }
        }
    }

    // 16 cycles of display from 8 bytes of screen memory. Inside the display an entry takes
    // effect from the start of the quarter its cycle falls in, one entry per quarter.
    void block() {
        uint16_t words[4];
        source_.read(words);
        if (next_ >= 16) {
            next_ -= 16;
            drawBlock(words);
            return;
        }
        for (int quarter = 0; quarter < 4; ++quarter) {
            next_ -= 4;
            if (next_ < 0) apply();
            drawQuarter(words, quarter);
        }
    }

    void borderLine() {
        advance(kHiddenCycles);
        fill(384);
        next_ -= kHiddenCycles;
    }

    void displayLine() {
        lineBlocks_ = kBlocksPerLine;
        borderWidth_ = kBorderCycles;
        lineExtra_ = 0;
        advance(kHiddenCycles);
        if (borderWidth_ > 0) fill(borderWidth_);
        borderWidth_ = kBorderCycles;
        while (lineBlocks_ > 0) {
            block();
            --lineBlocks_;
        }
        if (borderWidth_ > 0) fill(borderWidth_);
        next_ -= kHiddenCycles;
        source_.position += lineExtra_;
    }

    Renderer& renderer_;
    const MachineMemory& memory_;
    const uint32_t* entry_;
    int64_t next_ = 0;  // cycles from the drawing position to the next entry not yet applied
    Source source_;
    uint16_t* out_ = nullptr;
    uint16_t* rowEnd_ = nullptr;
    int lineBlocks_ = kBlocksPerLine;
    int32_t borderWidth_ = kBorderCycles;
    int64_t lineExtra_ = 0;
};

}  // namespace

void Renderer::BuildColourTable(PixelFormat format) {
    for (uint32_t value = 0; value < colourTable.size(); ++value) {
        // The STE added a fourth bit to each colour as the least significant one, in bit 3 of
        // the nibble, so that ST colours keep their meaning.
        auto intensity = [value](int shift) {
            unsigned nibble = (value >> shift) & 0xF;
            return ((nibble & 7) << 1) | (nibble >> 3);
        };
        colourTable[value] = static_cast<uint16_t>(fieldValue(format.redMask, intensity(8)) |
                                                   fieldValue(format.greenMask, intensity(4)) |
                                                   fieldValue(format.blueMask, intensity(0)));
    }
    for (int index = 0; index < 16; ++index) hostPalette[index] = colourTable[palette[index]];
}

void RenderFrame(Renderer& renderer, const Shifter& shifter, const MachineMemory& memory,
                 uint16_t* surface, int pitchPixels) {
    FramePass pass(renderer, shifter, memory);
    if (renderer.resolution != 2) pass.draw(shifter, surface, pitchPixels);
    pass.applyRemaining();
}

}  // namespace orvet
