// The renderer's replay of a frame's log: where each change lands on the picture, what the line
// tricks do to the lines, and that no log, however odd, draws outside the picture.
#include "video/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "video/shifter.h"

namespace orvet {
namespace {

constexpr uint16_t kUntouched = 0x1234;  // what the surface holds before the frame
constexpr uint16_t kRed = 0x700, kGreen = 0x070, kBlue = 0x007, kWhite = 0x777;
constexpr int32_t kFirstDisplayLine = 63;  // the top border shows 50 lines from line 13
constexpr int32_t kDisplayStart = 96;      // line position of the first display cycle

struct RenderFixture : ::testing::Test {
    Shifter shifter;
    Renderer renderer;
    MachineMemory memory;
    std::vector<uint16_t> surface = std::vector<uint16_t>(kScreenWidth * kScreenHeight, kUntouched);

    RenderFixture() {
        memory.block.reset(new uint8_t[kMachineMemorySize + 16]());
        renderer.palette[0] = kRed;
        renderer.palette[1] = kGreen;
        renderer.BuildColourTable(kRgb565);
        LogClose(shifter.log);
    }
    uint16_t host(uint16_t colour) const { return renderer.colourTable[colour]; }
    // Colour index 1 for all 16 pixels of the block at `offset` of the snapshot (plane 0 set).
    void markBlock(uint32_t offset) { std::memset(shifter.snapshot.data() + offset, 0xFF, 2); }
    void log(uint32_t kind, uint32_t value, int32_t time) {
        LogAppend(shifter.log, kind, value, time);
        LogClose(shifter.log);
    }
    void render() { RenderFrame(renderer, shifter, memory, surface.data(), kScreenWidth); }
    uint16_t pixel(int x, int row) const { return surface[row * kScreenWidth + x]; }
    // The surface row of an emulated line; the frame shows lines 13 to 312.
    static int rowOf(int line) { return 2 * (line - 13); }
    // The host column of a line position within the drawn part of a line.
    static int columnOf(int position) { return 16 + 2 * (position - 64); }
};

TEST_F(RenderFixture, AnEmptyFrameShowsBorderAround200LinesOfTheSnapshot) {
    markBlock(0);                // the first block of the first display line
    markBlock(199 * 160 + 152);  // the last block of the last one
    render();
    for (int row : {0, 98, 100, 200, 498, 500, 598}) {
        EXPECT_EQ(pixel(15, row), kUntouched) << row;
        EXPECT_EQ(pixel(16, row), host(kRed)) << row;
        EXPECT_EQ(pixel(783, row), host(kRed)) << row;
        EXPECT_EQ(pixel(784, row), kUntouched) << row;
        EXPECT_EQ(pixel(400, row + 1), kUntouched) << "odd rows stay dark";
    }
    EXPECT_EQ(pixel(79, 100), host(kRed));
    EXPECT_EQ(pixel(80, 100), host(kGreen)) << "display starts 64 pixels in";
    EXPECT_EQ(pixel(111, 100), host(kGreen));
    EXPECT_EQ(pixel(112, 100), host(kRed));
    EXPECT_EQ(pixel(687, 498), host(kRed));
    EXPECT_EQ(pixel(688, 498), host(kGreen));
    EXPECT_EQ(pixel(719, 498), host(kGreen));
    EXPECT_EQ(pixel(720, 498), host(kRed)) << "the right border";
    EXPECT_EQ(pixel(80, 102), host(kRed)) << "each line reads 160 bytes on";
}

TEST_F(RenderFixture, ColourChangesLandOnTheirCycle) {
    // In a border, on the exact two-pixel position.
    log(kLogPalette, kBlue, 20 * 512 + 165);
    // In the display, from the start of the quarter; a second change in the same quarter waits
    // for the next one.
    const int32_t displayLine = 100 * 512;
    log(kLogPalette, kWhite, displayLine + kDisplayStart + 53);
    log(kLogPalette, kGreen, displayLine + kDisplayStart + 54);
    render();
    EXPECT_EQ(pixel(columnOf(165) - 1, rowOf(20)), host(kRed));
    EXPECT_EQ(pixel(columnOf(165), rowOf(20)), host(kBlue));
    EXPECT_EQ(pixel(columnOf(165), rowOf(19)), host(kRed));
    const int quarterStart = columnOf(kDisplayStart + 52);
    EXPECT_EQ(pixel(quarterStart - 1, rowOf(100)), host(kBlue));
    EXPECT_EQ(pixel(quarterStart, rowOf(100)), host(kWhite));
    EXPECT_EQ(pixel(quarterStart + 7, rowOf(100)), host(kWhite));
    EXPECT_EQ(pixel(quarterStart + 8, rowOf(100)), host(kGreen));
    EXPECT_EQ(renderer.palette[0], kGreen) << "the palette carries over to the next frame";
}

TEST_F(RenderFixture, OpenedBordersWidenTheLineAndMoveTheNextOne) {
    const int line = kFirstDisplayLine + 37;
    const uint32_t lineStart = 37 * 160;
    log(kLogLeftBorderOpen, 0, line * 512 + 12);
    log(kLogRightBorderOpen, 0, line * 512 + 388);
    markBlock(lineStart + 8);           // the left border open skips 8 bytes first
    markBlock(lineStart + 8 + 23 * 8);  // the 24th block, drawn where the right border was
    markBlock(lineStart + 230);         // the next line starts 230 bytes on
    render();
    EXPECT_EQ(pixel(16, rowOf(line)), host(kGreen)) << "no left border";
    EXPECT_EQ(pixel(47, rowOf(line)), host(kGreen));
    EXPECT_EQ(pixel(48, rowOf(line)), host(kRed));
    EXPECT_EQ(pixel(752, rowOf(line)), host(kGreen));
    EXPECT_EQ(pixel(783, rowOf(line)), host(kGreen)) << "no right border";
    EXPECT_EQ(pixel(784, rowOf(line)), kUntouched);
    EXPECT_EQ(pixel(80, rowOf(line + 1)), host(kGreen));
}

TEST_F(RenderFixture, DisplayPointerChangeReadsLiveMemoryForTheRestOfTheLine) {
    const int line = kFirstDisplayLine + 10;
    // Plane 0 of the block at 0x20000 in RAM, stored a word at a time in host order.
    const uint16_t ones = 0xFFFF;
    std::memcpy(memory.block.get() + 0x20000, &ones, 2);
    // The block in which the change falls has been fetched already; the next one reads from
    // the new address.
    log(kLogDisplayPointer, 0x20000 - 4 * 8, line * 512 + kDisplayStart + 10 * 16);
    render();
    EXPECT_EQ(pixel(columnOf(kDisplayStart + 15 * 16) - 1, rowOf(line)), host(kRed));
    EXPECT_EQ(pixel(columnOf(kDisplayStart + 15 * 16), rowOf(line)), host(kGreen));
    EXPECT_EQ(pixel(columnOf(kDisplayStart + 15 * 16), rowOf(line + 1)), host(kRed));
}

TEST_F(RenderFixture, LineTricksOutOfAllReasonStayInsideThePicture) {
    // Every display line opened on the left three times and stopped three times: lines wider
    // than the picture, and a source position running back before the screen memory.
    for (int line = kFirstDisplayLine; line < kFirstDisplayLine + 200; ++line) {
        for (int position : {8, 12, 16}) log(kLogLeftBorderOpen, 0, line * 512 + position);
        for (int position : {168, 172, 176}) log(kLogLineStop, 0, line * 512 + position);
        log(kLogRightBorderOpen, 0, line * 512 + 388);
        log(kLogPalette + 2, kWhite, line * 512 + 440);
        log(kLogPalette + 2, kGreen, line * 512 + 441);  // held back past the display's end
    }
    std::memset(shifter.snapshot.data(), 0xFF, shifter.snapshot.size());
    render();
    for (int row = 0; row < kScreenHeight; ++row) {
        for (int x = 0; x < kScreenWidth; ++x) {
            bool drawn = row % 2 == 0 && x >= 16 && x < 784;
            if (!drawn) {
                ASSERT_EQ(pixel(x, row), kUntouched) << x << "," << row;
            }
        }
    }
}

TEST_F(RenderFixture, EntriesTheDrawingNeverReachesStillTakeEffect) {
    // A frame in high resolution is not drawn, but its switch back to low resolution and its
    // colours must not be lost, or the machine would stay blank.
    renderer.resolution = 2;
    log(kLogPalette + 4, kBlue, 1000);
    log(kLogResolution, 0, 50000);
    render();
    EXPECT_EQ(pixel(400, 200), kUntouched);
    EXPECT_EQ(renderer.resolution, 0);
    EXPECT_EQ(renderer.palette[2], kBlue);

    // A change in the frame's last cycles, after the last line is drawn.
    shifter.log.writePosition = 0;
    shifter.log.lastLoggedTime = 0;
    log(kLogPalette, kWhite, 160250);
    render();
    EXPECT_EQ(pixel(400, 598), host(kRed));
    EXPECT_EQ(renderer.palette[0], kWhite);
}

TEST_F(RenderFixture, MediumResolutionFromTheQuarterOfTheSwitch) {
    const int line = kFirstDisplayLine + 5;
    renderer.palette[3] = kWhite;
    renderer.palette[13] = kBlue;
    renderer.BuildColourTable(kRgb565);
    // Block 2 of the line: plane pair 0xFFFF, 0x0000 then 0xFFFF, 0xFFFF.
    const uint32_t block = 5 * 160 + 16;
    std::memset(shifter.snapshot.data() + block, 0xFF, 2);
    std::memset(shifter.snapshot.data() + block + 4, 0xFF, 4);
    log(kLogResolution, 1, line * 512 + kDisplayStart + 2 * 16 + 9);
    log(kLogResolution, 0, line * 512 + kDisplayStart + 3 * 16);
    render();
    const int x = columnOf(kDisplayStart + 2 * 16);
    EXPECT_EQ(pixel(x, rowOf(line)), host(kBlue)) << "low: planes 0, 2 and 3 give index 13";
    EXPECT_EQ(pixel(x + 15, rowOf(line)), host(kBlue));
    EXPECT_EQ(pixel(x + 16, rowOf(line)), host(kWhite)) << "medium: the second pair, index 3";
    EXPECT_EQ(pixel(x + 31, rowOf(line)), host(kWhite));
    EXPECT_EQ(pixel(x + 32, rowOf(line)), host(kRed)) << "low again";
}

}  // namespace
}  // namespace orvet
