// PNG pictures of the RGB565 surface: the screenshots a person keeps, and the known-good pictures
// that the tests compare each rendered frame with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvet {

// The reader refuses anything wider or taller: a damaged or hostile header must not make it
// allocate gigabytes. Ten times the surface's 800 x 600 is still far inside it.
constexpr int kPngLargestSide = 8192;

// Writes width x height pixels, rows pitchPixels apart, as an 8-bit RGB PNG. Each field is widened
// by repeating its top bits, so 565 white becomes 255, 255, 255 and ReadPngRgb565 gives back the
// very same values. The picture is written beside the target and renamed over it only when
// complete: a failure leaves whatever was there before. On failure returns false and, when error
// is given, one line naming the file and the reason.
bool WritePngRgb565(const std::string& path, const uint16_t* pixels, int width, int height,
                    int pitchPixels, std::string* error);

// Writes width x height pixels of 8-bit RGB, rows packed width * 3 bytes apart, the same way.
bool WritePngRgb888(const std::string& path, const uint8_t* rgb, int width, int height,
                    std::string* error);

// Reads an RGB, RGBA, grey or palette PNG (alpha and gamma ignored) into 565 pixels, rows packed
// width apart, by dropping the low bits of each channel. On failure returns false, leaves pixels,
// width and height as they were, and when error is given says which file and why.
bool ReadPngRgb565(const std::string& path, std::vector<uint16_t>& pixels, int& width, int& height,
                   std::string* error);

}  // namespace orvet
