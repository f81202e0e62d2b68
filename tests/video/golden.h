// Rendered frames compared with known-good pictures, kept as PNG files in tests/video/golden.
// A test checks a frame with EXPECT_TRUE(MatchesGolden("name", surface)); running the tests with
// ORVET_UPDATE_GOLDEN=1 stores what they render as the new known-good pictures instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace orvet {

// Where the known-good pictures and the pictures of a failed comparison go, and whether to store
// the frame rather than compare it. MatchesGolden takes them from the build and the environment.
struct GoldenFolders {
    std::string goldenFolder;
    std::string failuresFolder;
    bool update = false;
};

// Compares width x height pixels, rows pitchPixels apart, with goldenFolder/name.png. On a
// difference, failuresFolder gets name.actual.png (the frame) and name.diff.png (the frame at a
// quarter brightness, differing pixels bright red), and the failure says how many pixels differ,
// where the first one is and what it holds.
::testing::AssertionResult MatchesGoldenIn(const GoldenFolders& folders, const std::string& name,
                                           const uint16_t* pixels, int width, int height,
                                           int pitchPixels);

// MatchesGoldenIn with the source tree's tests/video/golden, the build tree's failure folder, and
// updating when the environment variable ORVET_UPDATE_GOLDEN is "1". The defaults are the whole
// 800 x 600 surface.
::testing::AssertionResult MatchesGolden(const std::string& name, const uint16_t* pixels,
                                         int width = 800, int height = 600, int pitchPixels = 800);

}  // namespace orvet
