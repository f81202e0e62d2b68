// The golden-picture comparison itself, in a scratch folder: a regression that passed unnoticed,
// or failed without its pictures, would make every picture test worthless.
#include "golden.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/png.h"

namespace orvet {
namespace {

namespace fs = std::filesystem;

// A folder of its own, removed however the test ends.
struct ScratchFolder {
    const fs::path path =
        fs::temp_directory_path() / ("orvet_golden_test_" + std::to_string(getpid()));
    ScratchFolder() { fs::remove_all(path); }
    ~ScratchFolder() { fs::remove_all(path); }
};

TEST(GoldenTest, StoresComparesAndLeavesPicturesOfADifference) {
    const ScratchFolder scratchFolder;
    const fs::path& scratch = scratchFolder.path;
    GoldenFolders folders{(scratch / "golden").string(), (scratch / "failures").string(), true};
    constexpr int kWidth = 20, kHeight = 10, kPitch = 24;
    std::vector<uint16_t> frame(kPitch * kHeight);
    for (size_t index = 0; index < frame.size(); ++index) frame[index] = uint16_t(index * 0x0841);

    const ::testing::AssertionResult missing =
        MatchesGoldenIn({folders.goldenFolder, folders.failuresFolder, false}, "bars", frame.data(),
                        kWidth, kHeight, kPitch);
    EXPECT_FALSE(missing);
    EXPECT_NE(std::string(missing.message()).find("ORVET_UPDATE_GOLDEN=1"), std::string::npos);
    EXPECT_TRUE(MatchesGoldenIn(folders, "bars", frame.data(), kWidth, kHeight, kPitch));
    folders.update = false;
    EXPECT_TRUE(MatchesGoldenIn(folders, "bars", frame.data(), kWidth, kHeight, kPitch));
    EXPECT_FALSE(MatchesGoldenIn(folders, "bars", frame.data(), kWidth, kHeight - 1, kPitch));

    const uint16_t unchanged = frame[9 * kPitch + 19];
    frame[3 * kPitch + 7] ^= 0x0020;
    frame[5 * kPitch + 2] = 0;
    const ::testing::AssertionResult differs =
        MatchesGoldenIn(folders, "bars", frame.data(), kWidth, kHeight, kPitch);
    EXPECT_FALSE(differs);
    const std::string message = differs.message();
    const std::string expectedAt = "in 2 of 200 pixels; first at (7, 3): expected 0x";
    EXPECT_NE(message.find(expectedAt), std::string::npos) << message;
    const fs::path actualPath = scratch / "failures" / "bars.actual.png";
    const fs::path differencesPath = scratch / "failures" / "bars.diff.png";
    EXPECT_NE(message.find(actualPath.string()), std::string::npos) << message;
    EXPECT_NE(message.find(differencesPath.string()), std::string::npos) << message;

    std::vector<uint16_t> actual, differences;
    int width = 0, height = 0;
    std::string error;
    ASSERT_TRUE(ReadPngRgb565(actualPath.string(), actual, width, height, &error)) << error;
    EXPECT_EQ(actual[3 * kWidth + 7], frame[3 * kPitch + 7]);
    ASSERT_TRUE(ReadPngRgb565(differencesPath.string(), differences, width, height, &error))
        << error;
    EXPECT_EQ(differences[3 * kWidth + 7], 0xF800);
    EXPECT_EQ(differences[5 * kWidth + 2], 0xF800);
    EXPECT_EQ(differences[9 * kWidth + 19],
              uint16_t((unchanged >> 13) << 11 | ((unchanged >> 7) & 0xF) << 5 |
                       (unchanged & 0x1F) >> 2));
    EXPECT_EQ(std::count(differences.begin(), differences.end(), 0xF800), 2);

    // Once the frame matches again, the pictures of the old failure go.
    frame[3 * kPitch + 7] ^= 0x0020;
    frame[5 * kPitch + 2] = uint16_t((5 * kPitch + 2) * 0x0841);
    EXPECT_TRUE(MatchesGoldenIn(folders, "bars", frame.data(), kWidth, kHeight, kPitch));
    EXPECT_FALSE(fs::exists(actualPath));
    EXPECT_FALSE(fs::exists(differencesPath));

    EXPECT_FALSE(MatchesGoldenIn(folders, "../bars", frame.data(), kWidth, kHeight, kPitch));
}

}  // namespace
}  // namespace orvet
