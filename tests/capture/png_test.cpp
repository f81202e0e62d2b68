// The PNG writer and reader: exact round trips, what another decoder sees in the files written,
// the formats other programs write, and files and folders that fail part-way.
#include "capture/png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvet {
namespace {

namespace fs = std::filesystem;

class PngTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("orvet_png_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Pixels that barely compress, so their file is several kilobytes.
std::vector<uint16_t> Noise(size_t count) {
    std::vector<uint16_t> pixels(count);
    uint32_t state = 12345;
    for (uint16_t& pixel : pixels) {
        state = state * 1103515245 + 12345;
        pixel = static_cast<uint16_t>(state >> 16);
    }
    return pixels;
}

uint16_t Truncated565(int red, int green, int blue) {
    return static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

// A picture as another program might write it, straight through libpng.
void WriteWithLibpng(const std::string& path, int width, int height, int colourType, int bitDepth,
                     bool interlaced, const std::vector<uint8_t>& packedRows,
                     const std::vector<png_color>& palette = {},
                     const std::vector<png_byte>& transparency = {}) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!transparency.empty()) {
        png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()),
                     nullptr);
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows(height);
    const size_t rowBytes = packedRows.size() / height;
    for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(&packedRows[y * rowBytes]);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TEST_F(PngTest, Every565ValueSurvivesARoundTripAndReadsElsewhereAsWidenedRgb) {
    // All 65,536 values, so every machine intensity and every odd low bit, in rows with padding
    // that must not reach the file.
    constexpr int kSide = 256;
    constexpr int kPitch = 259;
    std::vector<uint16_t> surface(kPitch * kSide, 0xDEAD);
    std::vector<uint16_t> expected;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            surface[y * kPitch + x] = static_cast<uint16_t>(y * kSide + x);
            expected.push_back(static_cast<uint16_t>(y * kSide + x));
        }
    }
    const std::string path = PathOf("all.png");
    std::string error;
    ASSERT_TRUE(WritePngRgb565(path, surface.data(), kSide, kSide, kPitch, &error)) << error;

    std::vector<uint16_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(ReadPngRgb565(path, pixels, width, height, &error)) << error;
    EXPECT_EQ(width, kSide);
    EXPECT_EQ(height, kSide);
    EXPECT_EQ(pixels, expected);

    // libpng's own simple reader: channel order, and the ends of each field reaching 0 and 255.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
    auto rgbOf = [&](uint16_t value) {
        return std::vector<int>(rgb.begin() + value * 3, rgb.begin() + value * 3 + 3);
    };
    EXPECT_EQ(rgbOf(0xFFFF), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(rgbOf(0xF800), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgbOf(0x07E0), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgbOf(0x001F), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(rgbOf(0x8410), (std::vector<int>{132, 130, 132}));
    // The machine's brightest red, intensity 15 in the field's top four bits.
    EXPECT_EQ(rgbOf(0xF000), (std::vector<int>{247, 0, 0}));
}

TEST_F(PngTest, ReadsGreyPaletteAlphaSixteenBitAndInterlacedPictures) {
    std::string error;
    auto expectRead = [&](const char* name, int colourType, int bitDepth, int side,
                          const std::vector<uint8_t>& rows, const std::vector<uint16_t>& expected,
                          const std::vector<png_color>& palette = {}, bool interlaced = false) {
        SCOPED_TRACE(name);
        const std::string path = PathOf(std::string(name) + ".png");
        // A transparent first palette entry: its colour is kept, the transparency dropped.
        const std::vector<png_byte> transparency = {0, 255};
        WriteWithLibpng(path, side, side, colourType, bitDepth, interlaced, rows, palette,
                        palette.empty() ? std::vector<png_byte>{} : transparency);
        std::vector<uint16_t> pixels;
        int width = 0, height = 0;
        ASSERT_TRUE(ReadPngRgb565(path, pixels, width, height, &error)) << error;
        EXPECT_EQ(width, side);
        EXPECT_EQ(height, side);
        EXPECT_EQ(pixels, expected);
    };
    expectRead("grey", PNG_COLOR_TYPE_GRAY, 8, 1, {0x80}, {Truncated565(0x80, 0x80, 0x80)});
    expectRead("grey-2-bit", PNG_COLOR_TYPE_GRAY, 2, 2, {0b10'11'0000, 0b00'000000},
               {Truncated565(170, 170, 170), 0xFFFF, 0, 0});
    expectRead("rgba", PNG_COLOR_TYPE_RGBA, 8, 1, {1, 2, 200, 0}, {Truncated565(1, 2, 200)});
    expectRead("rgb-16-bit", PNG_COLOR_TYPE_RGB, 16, 1, {0xFF, 0, 0x80, 0xFF, 0x12, 0x34},
               {Truncated565(0xFF, 0x80, 0x12)});
    expectRead("palette-4-bit", PNG_COLOR_TYPE_PALETTE, 4, 2, {0x01, 0x10},
               {Truncated565(10, 20, 30), Truncated565(200, 100, 50), Truncated565(200, 100, 50),
                Truncated565(10, 20, 30)},
               {{10, 20, 30}, {200, 100, 50}});

    // Interlaced: seven passes each fill in part of the rows, so every pixel must be distinct.
    constexpr int kSide = 11;
    std::vector<uint8_t> rows;
    std::vector<uint16_t> expected;
    for (int index = 0; index < kSide * kSide; ++index) {
        const int red = index % kSide * 23, green = index / kSide * 23, blue = index * 2;
        rows.insert(rows.end(), {uint8_t(red), uint8_t(green), uint8_t(blue)});
        expected.push_back(Truncated565(red, green, blue));
    }
    expectRead("interlaced", PNG_COLOR_TYPE_RGB, 8, kSide, rows, expected, {}, true);
}

TEST_F(PngTest, AFailedWriteLeavesTheOldPictureAndNoPartialFile) {
    const std::vector<uint16_t> noise = Noise(128 * 128);
    std::string error;

    const std::string nowhere = PathOf("missing/shot.png");
    EXPECT_FALSE(WritePngRgb565(nowhere, noise.data(), 128, 128, 128, &error));
    EXPECT_EQ(error, "cannot write " + nowhere + ": No such file or directory");

    const std::string path = PathOf("shot.png");
    ASSERT_TRUE(WritePngRgb565(path, noise.data(), 128, 128, 128, &error)) << error;
    const std::vector<uint8_t> before = ReadBytes(path);
    ASSERT_GT(before.size(), 8000u);

    // The disk fills up part-way through the new picture. (Root ignores folder permissions, so
    // a file size limit stands in for a full disk.)
    const std::vector<uint16_t> other = Noise(128 * 129);
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    rlimit small = original;
    small.rlim_cur = 4000;
    auto* previousHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = WritePngRgb565(path, other.data() + 128, 128, 128, 128, &error);
    setrlimit(RLIMIT_FSIZE, &original);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + path + ": File too large");
    EXPECT_EQ(ReadBytes(path), before);

    // A folder where the picture should go cannot be replaced.
    fs::create_directories(folder_ / "taken" / "inside");
    const std::string taken = PathOf("taken");
    EXPECT_FALSE(WritePngRgb565(taken, noise.data(), 128, 128, 128, &error));
    EXPECT_EQ(error, "cannot write " + taken + ": Is a directory");

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"shot.png", "taken"}));
}

// A copy of bytes with the IHDR's width and height replaced and its CRC made good again.
std::vector<uint8_t> WithSize(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
    auto put = [&](size_t offset, uint32_t value) {
        for (int index = 0; index < 4; ++index)
            bytes[offset + index] = uint8_t(value >> (24 - 8 * index));
    };
    put(16, width);
    put(20, height);
    put(29, static_cast<uint32_t>(crc32(0, &bytes[12], 17)));
    return bytes;
}

TEST_F(PngTest, DamagedStrangeAndHugeFilesAreErrorsThatLeaveTheOutputAlone) {
    const std::vector<uint16_t> noise = Noise(64 * 48);
    const std::string good = PathOf("good.png");
    std::string error;
    ASSERT_TRUE(WritePngRgb565(good, noise.data(), 64, 48, 64, &error)) << error;
    const std::vector<uint8_t> bytes = ReadBytes(good);

    std::vector<uint8_t> flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x40;
    std::vector<uint8_t> garbage(3000);
    for (size_t index = 0; index < garbage.size(); ++index)
        garbage[index] = uint8_t(index * 131 + 7);

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;  // expected in the message, when it is ours rather than libpng's
    };
    std::vector<Case> cases = {
        {"empty", {}, "the file is empty"},
        {"garbage", garbage, "not a PNG file"},
        {"flipped-bit", flipped, ""},
        {"too-wide", WithSize(bytes, 8193, 48), "8193 x 48 pixels"},
        {"huge", WithSize(bytes, 100000, 100000), "100000 x 100000 pixels"},
    };
    for (size_t length : {size_t{5}, size_t{40}, bytes.size() / 2, bytes.size() - 1}) {
        cases.push_back({"cut-at-" + std::to_string(length),
                         std::vector<uint8_t>(bytes.begin(), bytes.begin() + length),
                         "the file ends before the picture does"});
    }

    std::vector<uint16_t> pixels(3, 0x1234);
    int width = 7, height = 9;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string path = PathOf(test.name + ".png");
        WriteBytes(path, test.bytes);
        error.clear();
        EXPECT_FALSE(ReadPngRgb565(path, pixels, width, height, &error));
        EXPECT_EQ(error.rfind("cannot read " + path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(test.reason), std::string::npos) << error;
    }
    EXPECT_FALSE(ReadPngRgb565(PathOf("absent.png"), pixels, width, height, &error));
    EXPECT_EQ(error, "cannot read " + PathOf("absent.png") + ": No such file or directory");
    EXPECT_FALSE(ReadPngRgb565(folder_.string(), pixels, width, height, &error));
    EXPECT_EQ(error, "cannot read " + folder_.string() + ": Is a directory");

    EXPECT_EQ(pixels, (std::vector<uint16_t>(3, 0x1234)));
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 9);
}

}  // namespace
}  // namespace orvet
