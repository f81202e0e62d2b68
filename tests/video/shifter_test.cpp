// The shifter's registers: what programs read back, and which writes become log entries at
// which cycle positions.
#include "video/shifter.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvet {
namespace {

struct Entry {
    uint32_t time;
    uint32_t kind;
    uint32_t value;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entries(const Shifter& shifter) {
    std::vector<Entry> result;
    uint32_t time = 0;
    for (size_t at = 0; at < shifter.log.writePosition; at += 3) {
        time += shifter.log.words[at];
        result.push_back({time, shifter.log.words[at + 1], shifter.log.words[at + 2]});
    }
    return result;
}

struct ShifterTest : ::testing::Test {
    Shifter shifter;
    CpuState cpu;
    uint8_t readByte(uint32_t address, int32_t time = 0) {
        return ShifterReadByte(shifter, cpu, address, time);
    }
    uint16_t readWord(uint32_t address, int32_t time = 0) {
        return ShifterReadWord(shifter, cpu, address, time);
    }
    void writeByte(uint32_t address, uint8_t value, int32_t time = 0) {
        ShifterWriteByte(shifter, cpu, address, value, time);
    }
    void writeWord(uint32_t address, uint16_t value, int32_t time = 0) {
        ShifterWriteWord(shifter, cpu, address, value, time);
    }
};

TEST_F(ShifterTest, ColourRegistersKeepAllSixteenBitsAndLogEveryWrite) {
    writeWord(0xFF8242, 0xFFFF, 100);
    EXPECT_EQ(readWord(0xFF8242), 0xFFFF) << "no bits masked on either model";
    writeByte(0xFF8243, 0x21, 120);    // the low byte alone
    writeWord(0xFF8242, 0xFF21, 140);  // the same value again
    EXPECT_EQ(readByte(0xFF8242), 0xFF);
    EXPECT_EQ(readByte(0xFF8243), 0x21);
    EXPECT_EQ(entries(shifter), (std::vector<Entry>{{100, kLogPalette + 2, 0xFFFF},
                                                    {120, kLogPalette + 2, 0xFF21},
                                                    {140, kLogPalette + 2, 0xFF21}}));
}

TEST_F(ShifterTest, RegistersThePageDoesNotDefine) {
    EXPECT_EQ(readByte(0xFF820D), 0xFF);  // no base low byte, line offset or scroll here
    writeByte(0xFF820D, 0x12);
    EXPECT_EQ(readByte(0xFF820D), 0xFF);
    EXPECT_EQ(readWord(0xFF820A), 0x00FF) << "sync mode, then an undefined byte";
    EXPECT_EQ(readWord(0xFF8260), 0x00FF);
    EXPECT_EQ(shifter.log.writePosition, 0u);
}

TEST_F(ShifterTest, LineTricksAreRecognisedOnlyAtTheirPositionsDuringTheDisplay) {
    constexpr int32_t kLine100 = 100 * 512;
    writeByte(0xFF8260, 1, kLine100 + 8);
    EXPECT_EQ(entries(shifter).back().kind, kLogResolution) << "display lines not begun yet";
    writeByte(0xFF820A, 0, kLine100 + 388);
    EXPECT_EQ(entries(shifter).size(), 1u) << "before line 64 a sync write only stores";

    shifter.displayEnable = true;
    shifter.log.writePosition = 0;
    shifter.log.lastLoggedTime = 0;
    writeByte(0xFF8260, 2, kLine100 + 8);
    EXPECT_EQ(readByte(0xFF8260), 1) << "the left-border switch is not stored";
    writeWord(0xFF8260, 0x0200, kLine100 + 172);
    writeByte(0xFF820A, 0, kLine100 + 376);
    writeByte(0xFF820A, 0, kLine100 + 388);
    writeByte(0xFF820A, 2, kLine100 + 392);
    writeByte(0xFF820A, 0, kLine100 + 392);  // not a trick position: stored only
    writeByte(0xFF8260, 2, kLine100 + 20);   // a real switch to high resolution
    EXPECT_EQ(entries(shifter), (std::vector<Entry>{{kLine100 + 8, kLogLeftBorderOpen, 0},
                                                    {kLine100 + 172, kLogLineStop, 0},
                                                    {kLine100 + 376, kLogLineShort, 0},
                                                    {kLine100 + 388, kLogRightBorderOpen, 0},
                                                    {kLine100 + 388, kLogResolution, 2}}))
        << "times only move forward in the log";
    EXPECT_EQ(readByte(0xFF8260), 2);
}

TEST_F(ShifterTest, SyncSwitchesInTheirWindowsOpenTheTopAndBottomBorders) {
    writeByte(0xFF820A, 2, 17400);  // 50 Hz, but the switch is what counts
    EXPECT_TRUE(shifter.topBorderOpen);
    EXPECT_TRUE(shifter.displayEnable);
    EXPECT_FALSE(shifter.bottomBorderOpen);
    writeByte(0xFF820A, 0, 134623);
    EXPECT_FALSE(shifter.bottomBorderOpen) << "one cycle too early";
    writeByte(0xFF820A, 0xFE, 134752);
    EXPECT_TRUE(shifter.bottomBorderOpen);
    EXPECT_EQ(readByte(0xFF820A), 2) << "only two bits are kept";
}

TEST_F(ShifterTest, VideoCounterFollowsTheBeam) {
    writeByte(0xFF8201, 0x12);
    writeByte(0xFF8203, 0x34);
    EXPECT_EQ(readWord(0xFF8200), 0xFF12);
    ShifterStartFrame(shifter, nullptr);
    constexpr uint32_t kBase = 0x123400;
    auto counter = [&](int32_t time) {
        return static_cast<uint32_t>(readByte(0xFF8205, time)) << 16 |
               static_cast<uint32_t>(readByte(0xFF8207, time)) << 8 | readByte(0xFF8209, time);
    };
    EXPECT_EQ(counter(0), kBase);
    EXPECT_EQ(counter(150000), kBase + 32000) << "stops after 200 lines";
    EXPECT_EQ(ShifterVideoCounter(shifter, 32236 + 512 * 10 + 96 + 40), kBase + 1600 + 20);
    EXPECT_EQ(readByte(0xFF8209, 32236 + 512 + 268), 0xF6);  // base + 246 on the second line
    EXPECT_EQ(readByte(0xFF8207, 32236 + 512 + 268), 0x35)
        << "the middle byte is read ten bytes ahead";
    EXPECT_EQ(readWord(0xFF8204, 100000), 0xFFFF);
    EXPECT_EQ(readWord(0xFF8208, 100000), 0xFFFF);
    writeByte(0xFF8209, 0x80);
    EXPECT_EQ(counter(0), kBase) << "byte writes to the counter are ignored";

    // The programmed base takes effect at the next frame; a counter write at once.
    writeByte(0xFF8201, 0x05);
    EXPECT_EQ(counter(0), kBase);
    writeWord(0xFF8206, 0x0077, 5000);
    writeWord(0xFF8208, 0x0081, 5004);
    EXPECT_EQ(counter(0), 0x127780u) << "the display address is always even";
    EXPECT_EQ(entries(shifter).back(), (Entry{5004, kLogDisplayPointer, 0x127780}));
    ShifterStartFrame(shifter, nullptr);
    EXPECT_EQ(counter(0), 0x053400u);

    shifter.topBorderOpen = true;
    EXPECT_EQ(counter(159000), 0x053400u + 36640) << "229 lines with the top border open";
    shifter.bottomBorderOpen = true;
    EXPECT_EQ(counter(160000) - 0x053400u, 278u * 160 + 90) << "both open: no stop";
}

TEST_F(ShifterTest, AFullLogDropsEntriesAndKeepsRoomForItsEnd) {
    for (int32_t time = 0; time < 90000; ++time) writeWord(0xFF8240, 0x777, time);
    EXPECT_GT(shifter.log.droppedEntries, 0u);
    LogClose(shifter.log);
    ASSERT_LT(shifter.log.writePosition, shifter.log.words.size());
    EXPECT_EQ(shifter.log.words[shifter.log.writePosition], kLogEndMark);
}

}  // namespace
}  // namespace orvet
