#include "app/command_line.h"

#include <gtest/gtest.h>

namespace orvet {
namespace {

std::optional<CommandLine> Parse(std::vector<std::string> arguments, std::string* error = nullptr) {
    std::string reason;
    auto line = ParseCommandLine(arguments, reason);
    if (error) *error = reason;
    return line;
}

TEST(CommandLine, ReadsEveryOption) {
    auto line = Parse({"--headless", "--tos", "tos.img", "--cart", "c.img", "--ram", "4m",
                       "--machine", "ste", "--frames", "3000", "--benchmark", "--screenshot",
                       "shot.png", "--fast-disk", "--wav", "sound.wav", "--load-state", "s.ost",
                       "games.zip/disk1.st"});
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->headless && line->benchmark && line->ste);
    EXPECT_EQ(line->tosPath, "tos.img");
    EXPECT_EQ(line->cartridgePath, "c.img");
    EXPECT_EQ(line->ramSizeIndex, 3u);
    EXPECT_EQ(line->frames, 3000u);
    EXPECT_EQ(line->screenshotPath, "shot.png");
    EXPECT_EQ(line->diskPath, "games.zip/disk1.st");
    EXPECT_TRUE(line->fastDisk);
    EXPECT_EQ(line->wavPath, "sound.wav");
    EXPECT_EQ(line->loadStatePath, "s.ost");

    EXPECT_TRUE(line->ramGiven && line->machineGiven && line->framesGiven);

    // The window's own options; what is not given is left to the settings file.
    auto window = Parse({"--config", "my.ini", "--run", "--no-sound"});
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->headless);
    EXPECT_EQ(window->configPath, "my.ini");
    EXPECT_TRUE(window->run && window->noSound);
    EXPECT_FALSE(window->ramGiven || window->machineGiven || window->framesGiven);
    EXPECT_EQ(window->ramSizeIndex, 2u);
    EXPECT_TRUE(Parse({"--help"})->help);
    // Without --tos a headless run takes the built-in ROM.
    auto headless = Parse({"--headless"});
    ASSERT_TRUE(headless);
    EXPECT_TRUE(headless->headless && headless->tosPath.empty());
}

TEST(CommandLine, BadArgumentsGetOneLineReasons) {
    const std::vector<std::vector<std::string>> bad = {
        {"--ram", "3m"},     {"--machine", "falcon"},
        {"--frames", "0"},   {"--frames", "-5"},
        {"--frames", "12x"}, {"--frames", "99999999999999999999"},
        {"--tos"},           {"--bogus"},
        {"--tos", ""},       {"--screenshot", ""},
        {"one.st", "two.st"}, {"--config"},
        {"--load-state"},     {"--load-state", ""},
    };
    for (const auto& arguments : bad) {
        std::string error;
        EXPECT_FALSE(Parse(arguments, &error)) << arguments[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(CommandLine, ScreenshotNamesGetAFolderNameAndAnExtension) {
    EXPECT_EQ(ScreenshotFilePath("picture"), "picture.png");
    EXPECT_EQ(ScreenshotFilePath("picture.PNG"), "picture.PNG");
    EXPECT_EQ(ScreenshotFilePath("/tmp"), "/tmp/orvet.png");
    EXPECT_EQ(ScreenshotFilePath("shots.d/frame"), "shots.d/frame.png");
}

}  // namespace
}  // namespace orvet
