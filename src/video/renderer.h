// Turns a finished frame into host pixels: the 300 shown lines are walked cycle by cycle, two
// host pixels a cycle, drawing border colour and bitplane data, and each hardware-write log entry
// is applied when the drawing reaches its cycle, so colour changes, opened borders and display
// pointer changes land where they happened on the machine.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "machine/memory.h"
#include "video/shifter.h"

namespace orvet {

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

// Where each colour field sits in a 16-bit host pixel.
struct PixelFormat {
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
};
constexpr PixelFormat kRgb565{0xF800, 0x07E0, 0x001F};

struct Renderer {
    // What the picture is drawn with; carried from frame to frame, changed only by log entries
    // (and the resolution by the I/O reset).
    std::array<uint16_t, 16> palette{};
    uint8_t resolution = 0;
    // A host pixel for each of the 65,536 colour register values.
    std::vector<uint16_t> colourTable = std::vector<uint16_t>(65536);
    std::array<uint16_t, 16> hostPalette{};  // colourTable[palette[i]], kept in step

    Renderer() { BuildColourTable(kRgb565); }
    void BuildColourTable(PixelFormat format);
};

// Renders the frame whose log has been closed into `surface` (kScreenWidth x kScreenHeight host
// pixels, `pitchPixels` apart): every second row from row 0, 768 pixels from column 16. The odd
// rows are never written. A frame that starts in high resolution is not drawn (a colour monitor
// shows nothing the renderer can reproduce); its entries still take effect.
void RenderFrame(Renderer& renderer, const Shifter& shifter, const MachineMemory& memory,
                 uint16_t* surface, int pitchPixels);

}  // namespace orvet
