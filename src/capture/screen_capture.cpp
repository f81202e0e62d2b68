#include "capture/screen_capture.h"

#include "capture/capture_files.h"
#include "capture/gif_writer.h"
#include "capture/png.h"
#include "capture/tga_writer.h"

namespace orvet {
namespace {

// Palette indexes of the picture, top row first; only meaningful for 256 colours or fewer.
std::vector<uint8_t> Indexes(const ScreenCapture& capture) {
    std::vector<uint8_t> indexes(kCapturePixels);
    for (int pixel = 0; pixel < kCapturePixels; ++pixel) {
        indexes[pixel] = static_cast<uint8_t>(capture.colourIndex[capture.shotPixels[pixel]]);
    }
    return indexes;
}

void CountColours(ScreenCapture& capture) {
    capture.colourIndex.fill(ScreenCapture::kUnused);
    capture.palette = {};
    capture.colourIndex[0] = 0;
    int count = 1;
    for (const uint16_t colour : capture.shotPixels) {
        if (capture.colourIndex[colour] != ScreenCapture::kUnused) continue;
        capture.colourIndex[colour] = static_cast<uint16_t>(count);
        if (count < kCapturePaletteSize) {
            // Each 4-bit field widened by 15 below: how the pictures have always been saved.
            capture.palette[count] = {static_cast<uint8_t>((colour & 15) * 16 + 15),
                                      static_cast<uint8_t>(((colour >> 4) & 15) * 16 + 15),
                                      static_cast<uint8_t>((colour >> 8) * 16 + 15)};
        }
        ++count;
    }
    capture.colourCount = count;
}

}  // namespace

ScreenCapture::ScreenCapture() {
    CountColours(*this);
}

void CaptureScreen(ScreenCapture& capture, const uint16_t* surface, int pitchPixels) {
    if (surface) {
        for (int y = 0; y < kCaptureHeight; ++y) {
            const uint16_t* row = surface + static_cast<size_t>(2 * y) * pitchPixels;
            for (int x = 0; x < kCaptureWidth; ++x) {
                capture.previewPixels[y * kCaptureWidth + x] = row[2 * x];
            }
        }
    }
    for (int pixel = 0; pixel < kCapturePixels; ++pixel) {
        capture.shotPixels[pixel] = TwelveBitColour(capture.previewPixels[pixel]);
    }
    CountColours(capture);
}

const char* ScreenshotExtension(const ScreenCapture& capture, PictureFormat format) {
    if (format == PictureFormat::Png) return "png";
    return format == PictureFormat::Gif && capture.colourCount <= kCapturePaletteSize ? "gif"
                                                                                      : "tga";
}

std::vector<uint8_t> EncodeGif(const ScreenCapture& capture) {
    std::array<std::array<uint8_t, 3>, 256> redGreenBlue{};
    for (int entry = 0; entry < capture.colourCount && entry < kCapturePaletteSize; ++entry) {
        const auto& blueGreenRed = capture.palette[entry];
        redGreenBlue[entry] = {blueGreenRed[2], blueGreenRed[1], blueGreenRed[0]};
    }
    return EncodeGif87a(Indexes(capture).data(), kCaptureWidth, kCaptureHeight, redGreenBlue);
}

std::vector<uint8_t> EncodeColourMappedTga(const ScreenCapture& capture) {
    return EncodeTgaColourMapped(Indexes(capture).data(), kCaptureWidth, kCaptureHeight,
                                 capture.palette, capture.colourCount);
}

std::vector<uint8_t> EncodeTrueColourTga(const ScreenCapture& capture) {
    return EncodeTgaTrueColour(capture.shotPixels.data(), kCaptureWidth, kCaptureHeight);
}

std::vector<uint8_t> CaptureRgb888(const ScreenCapture& capture) {
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(kCapturePixels) * 3);
    for (const uint16_t colour : capture.shotPixels) {
        rgb.push_back(static_cast<uint8_t>((colour >> 8) * 17));
        rgb.push_back(static_cast<uint8_t>(((colour >> 4) & 15) * 17));
        rgb.push_back(static_cast<uint8_t>((colour & 15) * 17));
    }
    return rgb;
}

bool SaveScreenshot(const ScreenCapture& capture, const std::string& dataFolder,
                    PictureFormat format, std::string& relativeName, std::string* error) {
    const CaptureName name{dataFolder, kShotFolder, kShotPrefix,
                           ScreenshotExtension(capture, format)};
    const auto write = [&](const std::string& path, std::string* reason) {
        if (format == PictureFormat::Png) {
            const std::vector<uint8_t> rgb = CaptureRgb888(capture);
            return WritePngRgb888(path, rgb.data(), kCaptureWidth, kCaptureHeight, reason);
        }
        const std::vector<uint8_t> bytes = capture.colourCount > kCapturePaletteSize
                                               ? EncodeTrueColourTga(capture)
                                           : format == PictureFormat::Gif
                                               ? EncodeGif(capture)
                                               : EncodeColourMappedTga(capture);
        return WriteAndSync(path, bytes.data(), bytes.size(), reason);
    };
    return WriteCapture(name, write, relativeName, error);
}

}  // namespace orvet
