// The YM2149's sound, measured on the samples it makes: tone frequencies, the noise's spread,
// the envelope shapes, and register writes heard at the time they were made.
#include "sound/ym_synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "cpu/cpu.h"

namespace orvet {
namespace {

struct Synth {
    Ym2149 chip;
    YmSynth synth;
    CpuState cpu;

    Synth() { YmReset(chip); }
    void Write(uint8_t registerNumber, uint8_t value, int32_t cycle = 0) {
        YmWriteByte(chip, cpu, 0xFF8800, registerNumber, cycle);
        YmWriteByte(chip, cpu, 0xFF8802, value, cycle);
    }
    // Frames as the frame end makes them: the log closed, rendered, restarted.
    std::vector<int32_t> Frames(int frames = 1, int count = 881) {
        std::vector<int32_t> all;
        for (int frame = 0; frame < frames; ++frame) {
            std::vector<int32_t> out(std::max(count, 0));
            SoundLogClose(chip.soundLog);
            EXPECT_EQ(YmRender(synth, chip, out.data(), count), std::max(count, 0));
            SoundLogRestart(chip.soundLog);
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    }
};

std::vector<int> RisingCrossings(const std::vector<int32_t>& samples) {
    std::vector<int> crossings;
    for (size_t index = 1; index < samples.size(); ++index) {
        if (samples[index - 1] < 0 && samples[index] >= 0) crossings.push_back(int(index));
    }
    return crossings;
}

bool AllZero(const std::vector<int32_t>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](int32_t s) { return s == 0; });
}

TEST(YmSynth, ToneOnChannelAIsTheChipClockOverSixteenTimesItsPeriod) {
    for (int period : {28, 113, 500, 1234, 4095}) {
        SCOPED_TRACE("period " + std::to_string(period));
        auto synth = std::make_unique<Synth>();
        synth->Write(7, 0x3E);  // tone A only
        synth->Write(8, 15);
        synth->Write(0, uint8_t(period & 0xFF));
        synth->Write(1, uint8_t(period >> 8));
        const std::vector<int> crossings = RisingCrossings(synth->Frames(40));
        ASSERT_GE(crossings.size(), 20u);
        // Every measured period is within one sample of 44,100 x 16 P / 2,005,312 samples.
        const double expected = 44100.0 * 16 * period / 2005312.0;
        for (size_t index = 1; index < crossings.size(); ++index) {
            ASSERT_NEAR(crossings[index] - crossings[index - 1], expected, 1.0);
        }
        EXPECT_NEAR(double(crossings.back() - crossings.front()) / double(crossings.size() - 1),
                    expected, 0.1);
    }
}

// Noise flips at random at up to 2,005,312 / (16 N) Hz: longer periods crowd it into lower
// frequencies, seen as fewer zero crossings. Below period 3 it stops, high.
TEST(YmSynth, NoisePeriodsSetHowWideTheNoiseIs) {
    std::vector<size_t> crossings;
    for (int period : {3, 8, 31, 2}) {
        auto synth = std::make_unique<Synth>();
        synth->Write(7, 0x37);  // noise A only
        synth->Write(8, 15);
        synth->Write(6, uint8_t(period));
        crossings.push_back(RisingCrossings(synth->Frames(10)).size());
    }
    EXPECT_GT(crossings[0], 2 * crossings[1]);
    EXPECT_GT(crossings[1], 2 * crossings[2]);
    EXPECT_GT(crossings[2], 50u);
    EXPECT_EQ(crossings[3], 0u);
}

// The shapes as drawn in the data sheet: '\' falls 15 to 0, '/' rises 0 to 15, '_' holds 0, '^'
// holds 15; each mark is 16 steps: the once-only half, then the repeating half twice.
TEST(YmSynth, EveryEnvelopeShapePlaysItsLevelsOverTwoPeriods) {
    const char* kShapes[16] = {"\\_____",      "\\_____", "\\_____",   "\\_____",
                               "/_____",       "/_____",  "/_____",    "/_____",
                               "\\\\\\\\\\\\", "\\_____", "\\/\\/\\/", "\\^^^^^",
                               "//////",       "/^^^^^",  "/\\/\\/\\", "/_____"};
    constexpr int kPeriod = 25;  // 96 steps of 8.8 samples fit one frame
    for (int shape = 0; shape < 16; ++shape) {
        SCOPED_TRACE("shape " + std::to_string(shape));
        auto synth = std::make_unique<Synth>();
        synth->Write(7, 0x3F);  // every gate open: the channel plays its level
        synth->Write(8, 0x10);  // channel A follows the envelope
        synth->Write(11, kPeriod);
        synth->Write(13, uint8_t(shape));
        const std::vector<int32_t> frame = synth->Frames();
        // Every shape passes 0 and 15 in its first half, so the centring is known.
        const int32_t others = 41 + 41 - 32768;
        const int32_t centre = (kYmVolumeTable[0] + kYmVolumeTable[15] + 2 * others) >> 1;
        std::string heard, expected;
        for (int step = 0; step < 96; ++step) {
            const int32_t level =
                frame[int((step + 0.5) * 16 * kPeriod * 44100 / 2005312)] + centre - others;
            const auto found = std::find(kYmVolumeTable.begin(), kYmVolumeTable.end(), level);
            heard += char('a' + (found - kYmVolumeTable.begin()));
            const char mark = kShapes[shape][step / 16];
            const int k = step % 16;
            expected += char('a' + (mark == '\\'  ? 15 - k
                                    : mark == '/' ? k
                                    : mark == '^' ? 15
                                                  : 0));
        }
        EXPECT_EQ(heard, expected);
    }
}

TEST(YmSynth, RegisterWritesAreHeardWhereTheyWereMade) {
    for (int count : {881, 441}) {
        auto synth = std::make_unique<Synth>();
        synth->Write(7, 0x3F);
        synth->Frames();
        synth->Write(8, 15, 80000);  // half a frame in
        const std::vector<int32_t> frame = synth->Frames(1, count);
        const auto change = std::find_if(frame.begin(), frame.end(),
                                         [&](int32_t sample) { return sample != frame[0]; });
        EXPECT_NEAR(double(change - frame.begin()), 80000.0 / 160256 * count, 2.0) << count;
    }
    // A write after the frame's last sample (its last dozen cycles) is heard from the next one.
    auto synth = std::make_unique<Synth>();
    synth->Write(0, 100);
    synth->Write(8, 15);
    synth->Frames();
    synth->Write(7, 0x3E, 160250);
    EXPECT_TRUE(AllZero(synth->Frames()));
    const std::vector<int32_t> next = synth->Frames();
    EXPECT_NE(next[0], 0);
    EXPECT_GE(RisingCrossings(next).size(), 10u);
}

// Sample playback: tone period 0 holds channel A high, and a new volume every 1,800 cycles
// (about 10 samples) plays a 4-bit sine, each level from the sample after its write.
TEST(YmSynth, VolumeRegisterWritesReproduceAKnownWaveform) {
    auto synth = std::make_unique<Synth>();
    synth->Write(7, 0x3E);
    synth->Frames();
    std::vector<int> levels;
    for (int index = 0; index < 88; ++index) {
        levels.push_back(int(std::lround(7.5 + 7.5 * std::sin(std::numbers::pi * index / 16))));
        synth->Write(8, uint8_t(levels.back()), 1000 + index * 1800);
    }
    const std::vector<int32_t> frame = synth->Frames();
    std::vector<int32_t> expected(881);
    for (int sample = 0; sample < 881; ++sample) {
        const int64_t time = (sample + 1) * (8021248LL * 4096 / 44100);  // 1/4,096 cycles
        int level = 0;
        for (int write = 0; write < 88 && (1000 + write * 1800) * 4096LL < time; ++write) {
            level = levels[write];
        }
        expected[sample] = kYmVolumeTable[level] - ((kYmVolumeTable[0] + kYmVolumeTable[15]) >> 1);
    }
    EXPECT_EQ(frame, expected);
}

TEST(YmSynth, SilentFramesAreZeroAndTheRecorderSeesTheRegisters) {
    auto synth = std::make_unique<Synth>();
    EXPECT_TRUE(AllZero(synth->Frames()));  // after reset
    const uint8_t written[14] = {0x12, 0xF3, 0x45, 0x06, 0x78, 0x19, 0xFF,
                                 0x3F, 0x2F, 0x10, 0x0A, 0x34, 0x56, 0x1E};
    for (uint8_t index = 0; index < 14; ++index) synth->Write(index, written[index]);
    synth->Write(9, 15);
    EXPECT_TRUE(AllZero(synth->Frames()));  // every gate open, every level fixed
    synth->Write(0, 0x21);
    EXPECT_EQ(synth->Frames(1, 0).size(), 0u);  // no samples, but the write is taken

    std::array<uint8_t, 14> registers{};
    bool shapeWritten = false;
    ReadRegisters(synth->synth, synth->chip.synth, registers, &shapeWritten);
    EXPECT_EQ(registers, (std::array<uint8_t, 14>{0x21, 0x03, 0x45, 0x06, 0x78, 0x09, 0x1F, 0x3F,
                                                  0x0F, 0x0F, 0x0A, 0x34, 0x56, 0x0E}));
    EXPECT_TRUE(shapeWritten);
    ReadRegisters(synth->synth, synth->chip.synth, registers, &shapeWritten);
    EXPECT_FALSE(shapeWritten);
}

}  // namespace
}  // namespace orvet
