// The "Sound visual debug" view: the last frame's sound drawn as a waveform over the picture, for
// seeing what a program does to the sound chip while it plays.
#pragma once

#include <cstdint>

namespace orvet {

constexpr int kScopeColumns = 384;
constexpr int kScopeLeft = 16;
constexpr int kScopeTop = 44;
constexpr int kScopeHeight = 512;  // a level y of 0-255 lies on row 2y
constexpr uint16_t kScopeFrameColour = 0xFF00;
constexpr uint16_t kScopeTraceColour = 0xFFFF;

// Draws count samples across 384 two-pixel columns from (16, 44) of an 800 x 600 RGB565 surface
// whose rows are pitchPixels apart: a frame line at the top, the zero line and the bottom, and in
// each column a trace on every second row from one sample's level to the next one's. Fewer than
// one sample, or no surface, draws nothing.
void DrawSoundScope(const int16_t* samples, int count, uint16_t* surface, int pitchPixels);

}  // namespace orvet
