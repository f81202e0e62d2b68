#include "golden.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "capture/png.h"

#if !defined(ORVET_GOLDEN_DIR) || !defined(ORVET_GOLDEN_FAILURES_DIR)
#error "tests/video/CMakeLists.txt defines ORVET_GOLDEN_DIR and ORVET_GOLDEN_FAILURES_DIR"
#endif

namespace orvet {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kBrightRed = 0xF800;

// Names become file names in a folder kept in git: nothing that climbs out of it or hides.
bool IsPlainName(const std::string& name) {
    if (name.empty() || name.front() == '.') return false;
    return std::all_of(name.begin(), name.end(), [](char character) {
        return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
               (character >= '0' && character <= '9') || character == '_' || character == '-' ||
               character == '.';
    });
}

std::string Hex(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// Each field at a quarter of its value: the picture stays recognisable, and the red of the
// differing pixels is brighter than anything around it.
uint16_t Dimmed(uint16_t pixel) {
    const unsigned red = (pixel >> 11) >> 2;
    const unsigned green = ((pixel >> 5) & 0x3F) >> 2;
    const unsigned blue = (pixel & 0x1F) >> 2;
    return static_cast<uint16_t>(red << 11 | green << 5 | blue);
}

// Writes one picture of a failed comparison; returns a note for the failure message when it
// could not.
std::string WriteFailurePicture(const fs::path& path, const uint16_t* pixels, int width, int height,
                                int pitchPixels) {
    std::string error;
    if (WritePngRgb565(path.string(), pixels, width, height, pitchPixels, &error)) return {};
    return "; " + error;
}

}  // namespace

::testing::AssertionResult MatchesGoldenIn(const GoldenFolders& folders, const std::string& name,
                                           const uint16_t* pixels, int width, int height,
                                           int pitchPixels) {
    if (!IsPlainName(name)) {
        return ::testing::AssertionFailure()
               << "golden picture name \"" << name
               << "\" must be letters, digits, '_', '-' and '.', and not start with '.'";
    }
    if (!pixels || width <= 0 || height <= 0 || pitchPixels < width) {
        return ::testing::AssertionFailure()
               << "no frame to compare with golden picture " << name << ": " << width << " x "
               << height << " pixels in rows " << pitchPixels << " apart"
               << (pixels ? "" : ", and no pixels");
    }
    const fs::path goldenPath = fs::path(folders.goldenFolder) / (name + ".png");
    const fs::path actualPath = fs::path(folders.failuresFolder) / (name + ".actual.png");
    const fs::path differencesPath = fs::path(folders.failuresFolder) / (name + ".diff.png");
    std::string error;
    std::error_code ignored;

    if (folders.update) {
        fs::create_directories(folders.goldenFolder, ignored);
        if (!WritePngRgb565(goldenPath.string(), pixels, width, height, pitchPixels, &error)) {
            return ::testing::AssertionFailure() << error;
        }
        return ::testing::AssertionSuccess() << "updated golden picture " << goldenPath.string();
    }

    if (!fs::exists(goldenPath, ignored)) {
        return ::testing::AssertionFailure()
               << "no golden picture " << goldenPath.string()
               << "; run ORVET_UPDATE_GOLDEN=1 build/tests/video/orvet_video_tests to create it";
    }
    std::vector<uint16_t> expected;
    int expectedWidth = 0;
    int expectedHeight = 0;
    if (!ReadPngRgb565(goldenPath.string(), expected, expectedWidth, expectedHeight, &error)) {
        return ::testing::AssertionFailure() << error;
    }

    // Pictures left by an earlier failure would only mislead once the frame matches, or once
    // this failure writes a different set.
    fs::remove(actualPath, ignored);
    fs::remove(differencesPath, ignored);

    if (expectedWidth != width || expectedHeight != height) {
        fs::create_directories(folders.failuresFolder, ignored);
        const std::string note =
            WriteFailurePicture(actualPath, pixels, width, height, pitchPixels);
        return ::testing::AssertionFailure()
               << "frame is " << width << " x " << height << " pixels but golden picture "
               << goldenPath.string() << " is " << expectedWidth << " x " << expectedHeight
               << "; actual: " << actualPath.string() << note;
    }

    std::vector<uint16_t> differences(static_cast<size_t>(width) * height);
    size_t differing = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < height; ++y) {
        const uint16_t* actualRow = pixels + static_cast<size_t>(y) * pitchPixels;
        const uint16_t* expectedRow = expected.data() + static_cast<size_t>(y) * width;
        uint16_t* differenceRow = differences.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (actualRow[x] == expectedRow[x]) {
                differenceRow[x] = Dimmed(actualRow[x]);
                continue;
            }
            differenceRow[x] = kBrightRed;
            if (differing++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();

    fs::create_directories(folders.failuresFolder, ignored);
    const std::string actualNote =
        WriteFailurePicture(actualPath, pixels, width, height, pitchPixels);
    const std::string differencesNote =
        WriteFailurePicture(differencesPath, differences.data(), width, height, width);
    const size_t firstOffset = static_cast<size_t>(firstY) * width + firstX;
    return ::testing::AssertionFailure()
           << "frame differs from golden picture " << goldenPath.string() << " in " << differing
           << " of " << static_cast<size_t>(width) * height << " pixels; first at (" << firstX
           << ", " << firstY << "): expected " << Hex(expected[firstOffset]) << ", got "
           << Hex(pixels[static_cast<size_t>(firstY) * pitchPixels + firstX])
           << "; actual: " << actualPath.string() << "; differences: " << differencesPath.string()
           << actualNote << differencesNote;
}

::testing::AssertionResult MatchesGolden(const std::string& name, const uint16_t* pixels, int width,
                                         int height, int pitchPixels) {
    const char* update = std::getenv("ORVET_UPDATE_GOLDEN");
    const GoldenFolders folders{ORVET_GOLDEN_DIR, ORVET_GOLDEN_FAILURES_DIR,
                                update != nullptr && std::string_view(update) == "1"};
    return MatchesGoldenIn(folders, name, pixels, width, height, pitchPixels);
}

}  // namespace orvet
