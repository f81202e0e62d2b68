// YM6 files: the YM2149's registers once a frame, the form YM players on the ST and elsewhere
// read. Numbers are big-endian; the register data are interleaved (every frame's register 0, then
// every frame's register 1, ...), which packers squeeze far better than frame after frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvet {

constexpr int kYm6FrameRegisters = 14;  // 0-13 recorded; 14 and 15, the ports, written as zeros
constexpr int kYm6StoredRegisters = 16;
constexpr uint32_t kYm6ChipClock = 2000000;
constexpr uint16_t kYm6FrameRate = 50;
// Register 13 of a frame in which the envelope shape was not written: a shape write restarts the
// envelope, so a player must know when not to.
constexpr uint8_t kYm6ShapeNotWritten = 0xFF;

// frames: 14 bytes a frame, in recording order. The texts are stored with their closing zeros.
std::vector<uint8_t> EncodeYm6(const std::vector<uint8_t>& frames, const std::string& songName,
                               const std::string& author, const std::string& comment);

}  // namespace orvet
