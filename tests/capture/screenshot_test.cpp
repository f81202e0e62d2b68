// Screenshots: the capture's colours and palette, the files each format makes as giflib,
// ImageMagick, stb_image and libpng read them, the LZW codes as a decoder counts them, TGA's
// packets, and numbered names that never replace a file.
#include <gif_lib.h>
#include <png.h>
#include <stb/stb_image.h>

#include <cstring>
#include <functional>

#include "capture/gif_writer.h"
#include "capture/screen_capture.h"
#include "capture/tga_writer.h"
#include "capture_test_support.h"
#include "gif_code_walk.h"

namespace orvet {
namespace {

using namespace orvet::testing;
using Rgb = std::array<uint8_t, 3>;

// A capture of an 800 x 600 surface whose pixel (2x, 2y) has the 12-bit colour picture(x, y).
// The pixels between are white and each field's low bits are set: neither may show.
ScreenCapture Capture(const std::function<uint16_t(int x, int y)>& picture) {
    std::vector<uint16_t> surface(800 * 600, 0xFFFF);
    for (int y = 0; y < kCaptureHeight; ++y) {
        for (int x = 0; x < kCaptureWidth; ++x) {
            const unsigned colour = picture(x, y);
            surface[2 * y * 800 + 2 * x] = uint16_t((colour >> 8) << 12 | 1 << 11 |
                                                    ((colour >> 4) & 15) << 7 | 3 << 5 |
                                                    (colour & 15) << 1 | 1);
        }
    }
    ScreenCapture capture;
    CaptureScreen(capture, surface.data(), 800);
    return capture;
}

// One of `colours` 12-bit colours (black among them), in blocks of 3 x 2 pixels.
uint16_t Scattered(int x, int y, int colours) {
    const uint32_t hash = (uint32_t(x / 3) * 7919u + uint32_t(y / 2) * 104729u) * 2654435761u;
    return uint16_t((hash >> 16) % colours * 4096 / colours);
}

// GIF and colour-mapped TGA colours: black stays black, other fields k become k x 16 + 15.
Rgb PaletteRgb(uint16_t colour) {
    if (colour == 0) return {0, 0, 0};
    return {uint8_t((colour >> 8) * 16 + 15), uint8_t(((colour >> 4) & 15) * 16 + 15),
            uint8_t((colour & 15) * 16 + 15)};
}

void ExpectPixels(const ScreenCapture& capture, const uint8_t* rgb,
                  const std::function<Rgb(uint16_t)>& expected, const std::string& reader) {
    ASSERT_NE(rgb, nullptr) << reader;
    for (int pixel = 0; pixel < kCapturePixels; ++pixel) {
        const Rgb want = expected(capture.shotPixels[pixel]);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), rgb + pixel * 3))
            << reader << ": pixel " << pixel % kCaptureWidth << ", " << pixel / kCaptureWidth;
    }
}

// giflib's reading of a GIF's bytes: each pixel's colour from the file's table; empty when it
// refuses the file.
std::vector<uint8_t> GiflibRgb(const std::vector<uint8_t>& file) {
    struct Reader {
        const std::vector<uint8_t>* bytes;
        size_t at = 0;
    } reader{&file};
    const auto read = [](GifFileType* gif, GifByteType* out, int wanted) {
        auto& from = *static_cast<Reader*>(gif->UserData);
        const size_t count = std::min(size_t(wanted), from.bytes->size() - from.at);
        std::memcpy(out, from.bytes->data() + from.at, count);
        from.at += count;
        return int(count);
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, read, &error);
    if (!gif) return {};
    std::vector<uint8_t> rgb;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 && gif->SColorMap) {
        const SavedImage& image = gif->SavedImages[0];
        for (int pixel = 0; pixel < image.ImageDesc.Width * image.ImageDesc.Height; ++pixel) {
            const GifColorType colour = gif->SColorMap->Colors[image.RasterBits[pixel]];
            rgb.insert(rgb.end(), {colour.Red, colour.Green, colour.Blue});
        }
    }
    DGifCloseFile(gif, &error);
    return rgb;
}

TEST(ScreenCapture, CountsColoursWithBlackAlwaysFirstAndGivesThemPaletteEntries) {
    const auto three = [](int x, int y) -> uint16_t {
        return y < 100 ? 0x123 : x < 200 ? 0x70F : 0xF00;
    };
    const struct {
        const char* picture;
        std::function<uint16_t(int, int)> colourAt;
        int colours;
    } cases[] = {
        {"black", [](int, int) -> uint16_t { return 0; }, 1},
        {"black and white", [](int x, int) -> uint16_t { return x < 200 ? 0 : 0xFFF; }, 2},
        {"white only", [](int, int) -> uint16_t { return 0xFFF; }, 2},
        {"three colours, no black", three, 4},
        {"300 colours", [](int x, int y) { return Scattered(x, y, 300); }, 300},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.picture);
        const ScreenCapture capture = Capture(test.colourAt);
        EXPECT_EQ(capture.colourCount, test.colours);
        EXPECT_EQ(capture.shotPixels[kCapturePixels - 1], test.colourAt(399, 299));
        EXPECT_EQ(capture.palette[0], (Rgb{0, 0, 0}));
    }
    // Indexes follow first appearance, top row first; the table stores blue, green, red.
    const ScreenCapture capture = Capture(three);
    EXPECT_EQ(capture.colourIndex[0x123], 1);
    EXPECT_EQ(capture.colourIndex[0x70F], 2);
    EXPECT_EQ(capture.colourIndex[0xF00], 3);
    EXPECT_EQ(capture.palette[1], (Rgb{0x3F, 0x2F, 0x1F}));
    EXPECT_EQ(capture.palette[3], (Rgb{0x0F, 0x0F, 0xFF}));
}

TEST_F(DataFolderTest, EachFormatIsReadBackByAnotherDecoderAsTheCapturedColours) {
    const ScreenCapture capture = Capture([](int x, int y) { return Scattered(x, y, 200); });
    ASSERT_EQ(capture.colourCount, 200);
    std::string name, error;
    const auto save = [&](const ScreenCapture& picture, PictureFormat format) {
        EXPECT_TRUE(SaveScreenshot(picture, DataFolder(), format, name, &error)) << error;
        return PathOf(name);
    };

    const std::vector<uint8_t> gif = ReadBytes(save(capture, PictureFormat::Gif));
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF87a");
    ExpectPixels(capture, GiflibRgb(gif).data(), PaletteRgb, "giflib");
    if (HaveProgram("convert")) {
        const CommandResult magick = RunCommand("convert '" + PathOf(name) + "' -depth 8 rgb:-");
        EXPECT_EQ(magick.output.size(), size_t(kCapturePixels) * 3);
        ExpectPixels(capture, reinterpret_cast<const uint8_t*>(magick.output.data()), PaletteRgb,
                     "ImageMagick");
    }

    int width = 0, height = 0, channels = 0;
    uint8_t* tga = stbi_load(save(capture, PictureFormat::Tga).c_str(), &width, &height, &channels, 3);
    EXPECT_EQ(ReadBytes(PathOf(name))[2], 9);  // colour-mapped, run-length coded
    ExpectPixels(capture, tga, PaletteRgb, "stb_image, colour-mapped TGA");
    stbi_image_free(tga);

    // PNG keeps each 4-bit field exactly: k x 17 puts 15 at 255.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, save(capture, PictureFormat::Png).c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> png(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, png.data(), 0, nullptr));
    EXPECT_EQ(image.width * image.height, unsigned(kCapturePixels));
    ExpectPixels(
        capture, png.data(),
        [](uint16_t colour) {
            return Rgb{uint8_t((colour >> 8) * 17), uint8_t(((colour >> 4) & 15) * 17),
                       uint8_t((colour & 15) * 17)};
        },
        "libpng");

    // More than 256 colours asked for as a GIF: a true-colour TGA, the same bytes each time.
    const ScreenCapture many = Capture([](int x, int y) { return Scattered(x, y, 300); });
    const std::vector<uint8_t> first = ReadBytes(save(many, PictureFormat::Gif));
    const std::vector<uint8_t> second = ReadBytes(save(many, PictureFormat::Gif));
    EXPECT_EQ(first, second);
    EXPECT_EQ(FilesIn("shot"), (std::vector<std::string>{"Orvet_000.gif", "Orvet_000.png",
                                                         "Orvet_000.tga", "Orvet_001.tga",
                                                         "Orvet_002.tga"}));
    ASSERT_EQ(first.size(), kTgaHeaderSize + kCapturePixels * 2);
    EXPECT_EQ(first[2], 2);    // true colour, not coded
    EXPECT_EQ(first[16], 16);  // bits a pixel
    // Each field k is stored as 2k of 31: however a reader widens it, k is its top four bits.
    uint8_t* rgb = stbi_load_from_memory(first.data(), int(first.size()), &width, &height,
                                         &channels, 3);
    for (int index = 0; rgb && index < kCapturePixels * 3; ++index) rgb[index] &= 0xF0;
    ExpectPixels(
        many, rgb,
        [](uint16_t colour) {
            return Rgb{uint8_t((colour >> 8) << 4), uint8_t(colour & 0xF0), uint8_t(colour << 4)};
        },
        "stb_image, true-colour TGA");
    stbi_image_free(rgb);
}

TEST(GifWriter, NoCodeStandsForMoreThan96PixelsAndEveryCodeComesInTheWidthADecoderReads) {
    const auto picture = [](const std::function<uint8_t(int pixel, uint32_t random)>& indexAt) {
        std::vector<uint8_t> indexes(kCapturePixels);
        uint32_t state = 1;
        for (int pixel = 0; pixel < kCapturePixels; ++pixel) {
            state = state * 1103515245u + 12345u;
            indexes[pixel] = indexAt(pixel, state);
        }
        return indexes;
    };
    const struct {
        const char* picture;
        std::vector<uint8_t> indexes;
        int clearedAt;  // a table size at which the dictionary must start afresh, or 0
    } cases[] = {
        {"one colour", picture([](int, uint32_t) { return 5; }), 0},
        {"stripes", picture([](int pixel, uint32_t) { return pixel % 7 ? 1 : 2; }), 0},
        {"noise", picture([](int, uint32_t random) { return uint8_t(random >> 24); }), 0},
        // A repeating pattern with specks: long strings fill the dictionary's store before its
        // codes run out, and here the code written just before the clear code is the one that
        // makes the next code a bit wider, so the clear code must come 12 bits wide.
        {"pattern with specks", picture([](int pixel, uint32_t random) {
             return (random >> 16) % 29 ? uint8_t(pixel % 123 * 37 % 200) : uint8_t(random >> 24);
         }),
         2048},
    };
    std::array<Rgb, 256> colours{};
    for (int index = 0; index < 256; ++index) colours[index] = {uint8_t(index), 0, 0};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.picture);
        const std::vector<uint8_t> gif =
            EncodeGif87a(test.indexes.data(), kCaptureWidth, kCaptureHeight, colours);
        const std::vector<uint8_t> rgb = GiflibRgb(gif);
        ASSERT_EQ(rgb.size(), test.indexes.size() * 3);
        for (size_t pixel = 0; pixel < test.indexes.size(); ++pixel) {
            ASSERT_EQ(rgb[pixel * 3], test.indexes[pixel]) << "pixel " << pixel;
        }
        const CodeWalk walk = WalkGifCodes(gif);
        EXPECT_TRUE(walk.ended);
        EXPECT_EQ(walk.pixels, size_t(kCapturePixels));
        EXPECT_LE(walk.longestCode, kGifLongestCode);
        EXPECT_EQ(walk.clearedAt.front(), 258);  // the data begin with a clear code
        if (test.clearedAt) {
            EXPECT_NE(std::find(walk.clearedAt.begin(), walk.clearedAt.end(), test.clearedAt),
                      walk.clearedAt.end());
        }
        // A picture of one colour is all 96-pixel codes once the strings have grown.
        if (test.indexes == cases[0].indexes) {
            EXPECT_EQ(walk.longestCode, kGifLongestCode);
        }
    }
}

TEST(TgaWriter, RunsAndRawBytesGoInPacketsOfAtMost128) {
    const auto packets = [](const std::vector<uint8_t>& bytes) {
        std::vector<uint8_t> out;
        TgaRunLength(bytes.data(), bytes.size(), out);
        return out;
    };
    EXPECT_EQ(packets(std::vector<uint8_t>(300, 7)),
              (std::vector<uint8_t>{0xFF, 7, 0xFF, 7, 0xAB, 7}));
    std::vector<uint8_t> mixed(130);
    for (int index = 0; index < 130; ++index) mixed[index] = uint8_t(index);
    mixed.insert(mixed.end(), 5, 200);
    std::vector<uint8_t> expected = {0x7F};
    expected.reserve(140);
    expected.insert(expected.end(), mixed.begin(), mixed.begin() + 128);
    expected.insert(expected.end(), {0x01, 128, 129, 0x84, 200});
    EXPECT_EQ(packets(mixed), expected);
    EXPECT_EQ(packets({1, 2, 3}), (std::vector<uint8_t>{0x01, 1, 2, 0x80, 3}));  // a lone last byte
}

TEST_F(DataFolderTest, NumbersAreCountedPerExtensionAndNoFileIsEverReplaced) {
    const ScreenCapture capture = Capture([](int x, int) -> uint16_t { return x < 9 ? 0 : 0xF0F; });
    WriteText(PathOf("shot/Orvet_000.gif"), "a picture kept by its owner");
    std::string name, error;
    for (const auto& [format, expected] :
         {std::pair{PictureFormat::Tga, "shot/Orvet_000.tga"},
          std::pair{PictureFormat::Tga, "shot/Orvet_001.tga"},
          std::pair{PictureFormat::Gif, "shot/Orvet_001.gif"}}) {
        ASSERT_TRUE(SaveScreenshot(capture, DataFolder(), format, name, &error)) << error;
        EXPECT_EQ(name, expected);
    }
    const std::vector<uint8_t> kept = ReadBytes(PathOf("shot/Orvet_000.gif"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "a picture kept by its owner");
    EXPECT_EQ(FilesIn("shot").size(), 4u);  // no temporary file left

    // A "shot" that is not a folder: the save fails, naming the file it would have made.
    fs::remove_all(folder_ / "shot");
    WriteText(PathOf("shot"), "");
    EXPECT_FALSE(SaveScreenshot(capture, DataFolder(), PictureFormat::Gif, name, &error));
    EXPECT_EQ(name, "shot/Orvet_000.gif");
    EXPECT_NE(error.find("shot/Orvet_000.gif"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvet
