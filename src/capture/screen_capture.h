// The picture the capture window shows and saves: the last frame at half size, 400 x 300, its
// colours reduced to the 12 bits of an STE palette entry, counted, and given a palette in the
// order they first appear.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvet {

constexpr int kCaptureWidth = 400;
constexpr int kCaptureHeight = 300;
constexpr int kCapturePixels = kCaptureWidth * kCaptureHeight;
constexpr int kCapturePaletteSize = 256;

struct ScreenCapture {
    // Top row first. previewPixels keep the surface's RGB565; shotPixels are the same picture in
    // 12 bits, red in bits 8-11, green 4-7, blue 0-3.
    std::vector<uint16_t> previewPixels = std::vector<uint16_t>(kCapturePixels);
    std::vector<uint16_t> shotPixels = std::vector<uint16_t>(kCapturePixels);
    // For each 12-bit colour its palette index, or kUnused. Indexes from 256 on are counted but
    // have no palette entry, and such a picture is saved in true colour.
    static constexpr uint16_t kUnused = 0xFFFF;
    std::array<uint16_t, 4096> colourIndex{};
    // Blue, green, red: the order a TGA colour map stores.
    std::array<std::array<uint8_t, 3>, kCapturePaletteSize> palette{};
    int colourCount = 1;  // black always holds index 0, shown or not

    ScreenCapture();  // a black picture until the first capture
};

// Takes every second pixel of every second row of an RGB565 surface of at least 800 x 600 whose
// rows are pitchPixels apart, and rebuilds the colours and palette. A null surface keeps the
// previous capture.
void CaptureScreen(ScreenCapture& capture, const uint16_t* surface, int pitchPixels);

// The 12-bit colour of an RGB565 pixel: the top four bits of each field.
constexpr uint16_t TwelveBitColour(uint16_t pixel) {
    return static_cast<uint16_t>(((pixel >> 12) & 15) << 8 | ((pixel >> 7) & 15) << 4 |
                                 ((pixel >> 1) & 15));
}

// Which file a screenshot makes. PNG is always true colour; a GIF asked for a picture of more
// than 256 colours becomes a true-colour TGA, as GIF cannot hold them.
enum class PictureFormat : uint8_t { Tga = 0, Gif = 1, Png = 2 };

const char* ScreenshotExtension(const ScreenCapture& capture, PictureFormat format);

// The file's bytes for each kind the capture can be saved as.
std::vector<uint8_t> EncodeGif(const ScreenCapture& capture);  // needs colourCount <= 256
std::vector<uint8_t> EncodeColourMappedTga(const ScreenCapture& capture);  // the same
std::vector<uint8_t> EncodeTrueColourTga(const ScreenCapture& capture);
// 8-bit RGB rows for the PNG writer, each 4-bit field k widened to k x 17, so 15 is full 255.
std::vector<uint8_t> CaptureRgb888(const ScreenCapture& capture);

// Saves the capture into the data folder's "shot" folder under the next free number for its
// extension. relativeName gets "shot/Orvet_NNN.ext", also on failure (the name it would have had),
// and error one line more.
bool SaveScreenshot(const ScreenCapture& capture, const std::string& dataFolder,
                    PictureFormat format, std::string& relativeName, std::string* error);

}  // namespace orvet
