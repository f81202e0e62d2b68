// Pictures drawn by 68000 programs (tests/programs), rendered by the whole machine and compared
// pixel for pixel with the known-good pictures in tests/video/golden. Where a picture depends on
// a write's exact cycle, the test also checks the log the program produced, so that a change in
// processor timing shows as what it is rather than as a different picture.
#include <gtest/gtest.h>

#include <vector>

#include "golden.h"
#include "machine/machine.h"
#include "program_machine.h"

namespace orvet {
namespace {

struct LoggedWrite {
    int32_t time;
    uint32_t kind;
    uint32_t value;
};

// Keeps the last frame's log as the renderer saw it: the frame end presents after rendering
// and before the log restarts.
struct LogKeeper : FrameOutput {
    std::vector<LoggedWrite> writes;
    bool topBorderOpen = false, bottomBorderOpen = false;
    void presentFrame(Machine& machine) override {
        writes.clear();
        const std::vector<uint32_t>& words = machine.shifter.log.words;
        int32_t time = 0;
        for (size_t at = 0; words[at] != kLogEndMark; at += 3) {
            time += static_cast<int32_t>(words[at]);
            writes.push_back({time, words[at + 1], words[at + 2]});
        }
        topBorderOpen = machine.shifter.topBorderOpen;
        bottomBorderOpen = machine.shifter.bottomBorderOpen;
    }
    std::vector<LoggedWrite> ofKind(uint32_t kind) const {
        std::vector<LoggedWrite> found;
        for (const LoggedWrite& write : writes) {
            if (write.kind == kind) found.push_back(write);
        }
        return found;
    }
};

constexpr uint32_t kPictureReady = 0x7FE;

struct Picture : ProgramMachine {
    LogKeeper log;
    explicit Picture(const std::string& program) : ProgramMachine(program) {
        machine.frameOutput = &log;
    }
    // The frame after the one in which the program finished drawing its screen (the screen
    // base takes effect at a frame's start).
    const uint16_t* frame() {
        for (int frame = 0; frame < 50 && word(kPictureReady) != 1; ++frame) runFrames(1);
        EXPECT_EQ(word(kPictureReady), 1) << "the program never got its picture ready";
        runFrames(2);
        return machine.screen.data();
    }
    uint16_t pixel(int x, int row) const { return machine.screen[row * kScreenWidth + x]; }
    uint16_t host(uint16_t colour) const { return machine.renderer.colourTable[colour]; }
};

TEST(Picture, LowResolutionSixteenColours) {
    Picture picture("low_resolution");
    EXPECT_TRUE(MatchesGolden("low_resolution", picture.frame()));
}

TEST(Picture, MediumResolutionFourColours) {
    Picture picture("medium_resolution");
    EXPECT_TRUE(MatchesGolden("medium_resolution", picture.frame()));
}

TEST(Picture, RasterBarsFromTimerB) {
    Picture picture("raster_bars");
    EXPECT_TRUE(MatchesGolden("raster_bars", picture.frame()));
    EXPECT_EQ(picture.log.ofKind(kLogPalette).size(), 201u) << "one per display line, and the VBL";
}

TEST(Picture, ColourChangeInABorderLandsOnItsTwoPixelPosition) {
    Picture picture("border_colour");
    const uint16_t* screen = picture.frame();
    EXPECT_TRUE(MatchesGolden("border_colour", screen));
    std::vector<LoggedWrite> changes = picture.log.ofKind(kLogPalette);
    ASSERT_EQ(changes.size(), 2u);
    const LoggedWrite& white = changes[1];
    ASSERT_EQ(white.time / 512, 30) << "in the HBL handler of line 30";
    const int row = 2 * (30 - 13), column = 16 + 2 * (white.time % 512 - 64);
    EXPECT_EQ(picture.pixel(column - 1, row), picture.host(0x003));
    EXPECT_EQ(picture.pixel(column, row), picture.host(0x777));
}

TEST(Picture, TopAndBottomBordersOpened) {
    Picture picture("open_borders");
    const uint16_t* screen = picture.frame();
    EXPECT_TRUE(picture.log.topBorderOpen);
    EXPECT_TRUE(picture.log.bottomBorderOpen);
    EXPECT_TRUE(MatchesGolden("open_borders", screen));
}

TEST(Picture, LeftAndRightBordersOpenedOnSomeLines) {
    Picture picture("side_borders");
    const uint16_t* screen = picture.frame();
    auto lines = [&](uint32_t kind, uint32_t position) {
        std::vector<int32_t> found;
        for (const LoggedWrite& write : picture.log.ofKind(kind)) {
            EXPECT_EQ(write.time % 512, static_cast<int32_t>(position))
                << "line " << write.time / 512;
            found.push_back(write.time / 512);
        }
        return found;
    };
    std::vector<int32_t> both(10), leftOnly(10), rightOnly(10);
    for (int i = 0; i < 10; ++i) both[i] = 100 + i, leftOnly[i] = 110 + i, rightOnly[i] = 120 + i;
    std::vector<int32_t> left = both, right = both;
    left.insert(left.end(), leftOnly.begin(), leftOnly.end());
    right.insert(right.end(), rightOnly.begin(), rightOnly.end());
    EXPECT_EQ(lines(kLogLeftBorderOpen, 8), left);
    EXPECT_EQ(lines(kLogRightBorderOpen, 388), right);
    EXPECT_TRUE(MatchesGolden("side_borders", screen));
}

TEST(Picture, DisplayPointerMovedInTheMiddleOfTheFrame) {
    Picture picture("display_pointer");
    const uint16_t* screen = picture.frame();
    std::vector<LoggedWrite> moves = picture.log.ofKind(kLogDisplayPointer);
    ASSERT_EQ(moves.size(), 6u) << "three writes after 100 lines, three more after 200";
    EXPECT_EQ(moves[0].value, 0x030000u) << "the first write already points at the new screen";
    // Timer B counts a line as its display ends; the first display line is line 63.
    EXPECT_EQ(moves[0].time / 512, 63 + 99);
    EXPECT_NEAR(moves[3].time - moves[0].time, 100 * 512, 4) << "a line's start jitters by 4";
    EXPECT_TRUE(MatchesGolden("display_pointer", screen));
}

TEST(Picture, StatusLinesOverAPicture) {
    Picture picture("low_resolution");
    StatusMessages& messages = picture.machine.statusMessages;
    messages.hostMilliseconds = [] { return 1000u; };
    OpenStartupStatusSlots(messages);
    SetStatusMessageText(messages, 0, "FDC READ SECTOR");
    ShowStatusMessage(messages, "Recording WAV file. (0:07)", kStatusNeverExpires, 0);
    ShowStatusMessage(messages, "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ", -1,
                      0);
    ShowStatusMessage(
        messages, "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~ and a line too long to end on the screen",
        -1, 0);
    EXPECT_TRUE(MatchesGolden("status_lines", picture.frame()));
}

}  // namespace
}  // namespace orvet
