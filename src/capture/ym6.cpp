#include "capture/ym6.h"

namespace orvet {
namespace {

void PutBig(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int byte = bytes - 1; byte >= 0; --byte) {
        out.push_back(static_cast<uint8_t>(value >> (8 * byte)));
    }
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

}  // namespace

std::vector<uint8_t> EncodeYm6(const std::vector<uint8_t>& frames, const std::string& songName,
                               const std::string& author, const std::string& comment) {
    const size_t frameCount = frames.size() / kYm6FrameRegisters;
    std::vector<uint8_t> out;
    out.reserve(64 + songName.size() + author.size() + comment.size() +
                frameCount * kYm6StoredRegisters);
    for (char character : std::string("YM6!LeOnArD!")) out.push_back(character);
    PutBig(out, static_cast<uint32_t>(frameCount), 4);
    PutBig(out, 1, 4);  // attributes: interleaved
    PutBig(out, 0, 2);  // no digidrums
    PutBig(out, kYm6ChipClock, 4);
    PutBig(out, kYm6FrameRate, 2);
    PutBig(out, 0, 4);  // loop to the first frame
    PutBig(out, 0, 2);  // no extra data
    PutText(out, songName);
    PutText(out, author);
    PutText(out, comment);
    for (int plane = 0; plane < kYm6FrameRegisters; ++plane) {
        for (size_t frame = 0; frame < frameCount; ++frame) {
            out.push_back(frames[frame * kYm6FrameRegisters + plane]);
        }
    }
    out.insert(out.end(), frameCount * (kYm6StoredRegisters - kYm6FrameRegisters), 0);
    for (char character : std::string("End!")) out.push_back(character);
    return out;
}

}  // namespace orvet
