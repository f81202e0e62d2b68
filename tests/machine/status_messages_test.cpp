#include "machine/status_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace orvet {
namespace {

constexpr uint16_t kRendered = 0x1234;  // what the frame left in the surface
constexpr std::array<uint8_t, 8> kGlyphA = {0x00, 0x18, 0x3C, 0x66, 0x66, 0x7E, 0x66, 0x00};
constexpr int kWhitePixelsOfA = 2 * 24;  // 24 set bits, each two pixels wide

// Messages on a clock the test sets, drawn into a surface wider than 800 whose extra columns
// must stay as rendered.
struct Screen {
    static constexpr int kPitch = 832;
    StatusMessages messages;
    uint32_t now = 1000;
    std::vector<uint16_t> surface = std::vector<uint16_t>(kPitch * kStatusSurfaceHeight);

    Screen() {
        messages.hostMilliseconds = [this] { return now; };
    }
    void Draw() {
        std::fill(surface.begin(), surface.end(), kRendered);
        DrawStatusMessages(messages, surface.data(), kPitch);
    }
    void DrawAt(uint32_t time) { now = time, Draw(); }
    uint16_t At(int column, int row) const { return surface[row * kPitch + column]; }
    long WhitePixels() const { return std::count(surface.begin(), surface.end(), 0xFFFF); }
    bool Active(int slot) const { return messages.slots[slot].active; }
};

TEST(StatusMessagesTest, SlotChoiceTextUpdatesAndTheCutTo138) {
    Screen screen;
    OpenStartupStatusSlots(screen.messages);
    for (int expected = 2; expected < kStatusSlotCount; ++expected)
        EXPECT_EQ(ShowStatusMessage(screen.messages, std::string(200, 'x'), -1, 0), expected);
    EXPECT_EQ(screen.messages.slots[7].text, std::string(138, 'x'));
    RemoveStatusMessage(screen.messages, 4);
    EXPECT_EQ(ShowStatusMessage(screen.messages, "again", -1, 0), 4);
    // All eight in use: slot 0 takes the new text and settings.
    EXPECT_EQ(ShowStatusMessage(screen.messages, "Recording canceled.", 1000, 1), 0);
    EXPECT_EQ(screen.messages.slots[0].text, "Recording canceled.");
    EXPECT_EQ(screen.messages.slots[0].expiry, 2000);
    EXPECT_EQ(screen.messages.slots[0].blink, 1u);

    RemoveStatusMessage(screen.messages, 3);
    SetStatusMessageText(screen.messages, 3, "back from the dead");
    EXPECT_FALSE(screen.Active(3));
    EXPECT_EQ(screen.messages.slots[3].text, "");
    SetStatusMessageText(screen.messages, 8, "x");  // out of range: ignored
    RemoveStatusMessage(screen.messages, -1);
}

TEST(StatusMessagesTest, ExpiryIsTestedAfterDrawingAndSurvivesClockWrap) {
    Screen screen;
    const int once = ShowStatusMessage(screen.messages, "A", 0, 0);
    const int timed = ShowStatusMessage(screen.messages, "A", 2000, 0);
    const int forever = ShowStatusMessage(screen.messages, "A", -1, 0);
    screen.Draw();
    EXPECT_EQ(screen.WhitePixels(), 3 * kWhitePixelsOfA);
    EXPECT_FALSE(screen.Active(once));
    screen.DrawAt(2999);
    EXPECT_TRUE(screen.Active(timed));
    screen.DrawAt(3000);
    EXPECT_EQ(screen.WhitePixels(), 2 * kWhitePixelsOfA);  // drawn on the frame it expires
    EXPECT_FALSE(screen.Active(timed));
    EXPECT_TRUE(screen.Active(forever));

    // Deadlines past the clock's turn to negative, past its wrap, and on the never value still
    // come.
    for (uint32_t start : {0x7FFF'FF00u, 0xFFFF'FF00u, 0xFFFF'FFFFu - 1000}) {
        screen.now = start;
        const int slot = ShowStatusMessage(screen.messages, "A", 1000, 0);
        screen.DrawAt(start + 999);
        EXPECT_TRUE(screen.Active(slot)) << start;
        screen.DrawAt(start + 1001);
        EXPECT_FALSE(screen.Active(slot)) << start;
    }
}

TEST(StatusMessagesTest, BlinkingShowsForLowByte0To127Only) {
    Screen screen;
    ShowStatusMessage(screen.messages, "A", -1, 1);
    ShowStatusMessage(screen.messages, "A", -1, 2);  // any value but 1 is steady
    for (uint32_t lowByte = 0; lowByte < 256; ++lowByte) {
        screen.DrawAt(0x1234'5600 + lowByte);
        EXPECT_EQ(screen.At(16 + 6, 2) == 0xFFFF, lowByte < 128) << lowByte;
        EXPECT_EQ(screen.At(16 + 6, 16 + 2), 0xFFFF) << lowByte;
    }
}

TEST(StatusMessagesTest, GlyphPixelsAreDoubledOnEvenRowsAndNothingElseIsTouched) {
    Screen screen;
    for (int slot = 0; slot < kStatusSlotCount; ++slot)
        ShowStatusMessage(screen.messages, "A", -1, 0);
    screen.Draw();
    for (int row = 0; row < kStatusSurfaceHeight; ++row) {
        for (int column = 0; column < Screen::kPitch; ++column) {
            const int fontRow = (row % 16) / 2, fontColumn = (column - 16) / 2;
            const bool white = row < 16 * kStatusSlotCount && row % 2 == 0 && column >= 16 &&
                               column < 32 && (kGlyphA[fontRow] & (0x80 >> fontColumn)) != 0;
            ASSERT_EQ(screen.At(column, row), white ? 0xFFFF : kRendered)
                << "column " << column << " row " << row;
        }
    }
}

TEST(StatusMessagesTest, DrawingStaysInside800By600) {
    Screen screen;
    for (int slot = 0; slot < kStatusSlotCount; ++slot)
        ShowStatusMessage(screen.messages, std::string(50, '#'), 0, 0);  // '#' fills its cell
    // A surface that is no 800 x 600 surface is refused, and the messages wait for a real one.
    std::vector<uint16_t> narrow(799 * kStatusSurfaceHeight, kRendered);
    DrawStatusMessages(screen.messages, narrow.data(), 799);
    EXPECT_EQ(std::count(narrow.begin(), narrow.end(), 0xFFFF), 0);
    EXPECT_TRUE(screen.Active(7));

    screen.Draw();
    for (int row = 0; row < kStatusSurfaceHeight; ++row)
        for (int column = kStatusSurfaceWidth; column < Screen::kPitch; ++column)
            ASSERT_EQ(screen.At(column, row), kRendered) << "column " << column << " row " << row;
    EXPECT_EQ(screen.WhitePixels(), kStatusSlotCount * 49 * 2 * 32);  // 49 of 50 characters
    EXPECT_EQ(screen.At(799, 7 * 16 + 4), 0xFFFF);
}

TEST(StatusMessagesTest, FontIsDistinctAndOtherBytesDrawAPlaceholder) {
    constexpr std::array<uint8_t, 8> kBlank{};
    std::set<std::array<uint8_t, 8>> distinct;
    for (int character = 0x20; character <= 0x7F; ++character) {
        const auto& glyph = StatusFontGlyph(static_cast<unsigned char>(character));
        EXPECT_EQ(glyph == kBlank, character == ' ') << character;
        distinct.insert(glyph);
    }
    const auto& placeholder = StatusFontGlyph(0x80);
    EXPECT_EQ(distinct.size(), 96u);
    EXPECT_FALSE(distinct.contains(placeholder));

    Screen screen;
    ShowStatusMessage(screen.messages, std::string_view("\xE9\0A", 3), -1, 0);
    screen.Draw();
    for (int column : {16 + 2, 32 + 2, 48 + 6}) EXPECT_EQ(screen.At(column, 2), 0xFFFF);
}

}  // namespace
}  // namespace orvet
