// The drive's noises: the clips' chaining as the floppy controller and the frame loop drive it,
// seams without clicks, and measurements that tell a drive from noise.
#include "sound/drive_sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace orvet {
namespace {

const std::vector<int16_t>& Samples(DriveClip clip) {
    return DriveSoundClipSet()[size_t(clip)].samples;
}

// Plays in frames of 881 samples, as the frame end asks for them.
std::vector<int32_t> Play(DriveSoundPlayer& player, int samples) {
    std::vector<int32_t> out(samples, 0);
    for (int done = 0; done < samples; done += 881) {
        DriveSoundsRender(player, out.data() + done, std::min(881, samples - done));
    }
    return out;
}

template <typename Signal>
int LargestStep(const Signal& signal, size_t from = 1) {
    int largest = 0;
    for (size_t index = std::max<size_t>(from, 1); index < signal.size(); ++index) {
        largest = std::max(largest, std::abs(int(signal[index]) - int(signal[index - 1])));
    }
    return largest;
}

double Rms(const std::vector<int16_t>& samples, size_t from, size_t length) {
    double sum = 0;
    for (size_t index = from; index < from + length; ++index)
        sum += samples[index] * samples[index];
    return std::sqrt(sum / double(length));
}

// A seek of 3 tracks plays the step clip, then the motor's loop until the motor stops.
TEST(DriveSounds, StepsRunIntoTheMotorLoopUntilTheMotorStops) {
    const std::vector<size_t> lengths = {43252, 17420, 2211, 13539, 13182};
    for (size_t clip = 0; clip < kDriveClipCount; ++clip) {
        EXPECT_EQ(DriveSoundClipSet()[clip].samples.size(), lengths[clip]);
        EXPECT_EQ(BuildDriveSoundClips()[clip].samples, DriveSoundClipSet()[clip].samples);
    }
    DriveSoundPlayer player;
    EXPECT_EQ(Play(player, 881), std::vector<int32_t>(881, 0));  // nothing current

    StartDriveSound(player, DriveClip::ShortStep);
    const std::vector<int32_t> stepping = Play(player, 2211 + 50000);
    EXPECT_EQ(player.current, DriveClip::MotorRunning);
    EXPECT_EQ(player.positions[size_t(DriveClip::MotorRunning)], 50000 - 43252);
    const std::vector<int16_t>& motor = Samples(DriveClip::MotorRunning);
    for (int index = 2211 + 300; index < 2211 + 50000; index += 97) {
        ASSERT_EQ(stepping[index], motor[(index - 2211) % 43252]);  // round the loop, too
    }

    StopDriveMotorSound(player);
    const std::vector<int32_t> stopping = Play(player, 13182 + 1000);
    EXPECT_EQ(player.current, DriveClip::None);
    EXPECT_LE(std::abs(stopping[13181]), 2);  // faded out: no click into the silence
    EXPECT_TRUE(std::all_of(stopping.begin() + 13182, stopping.end(), [](int s) { return !s; }));
}

// No clip change jumps further than the hum's own largest step: not the chained ends, not round
// the motor's loop, not a step cutting the hum off mid-way, not the motor stopping.
TEST(DriveSounds, ClipChangesDoNotClick) {
    const int humStep = LargestStep(Samples(DriveClip::MotorRunning));
    DriveSoundPlayer player;
    StartDriveSound(player, DriveClip::SpinUp);
    const std::vector<int32_t> hum = Play(player, 17420 + 43252 + 20000);
    EXPECT_LE(LargestStep(hum, 17420 - 100), humStep);
    StartDriveSound(player, DriveClip::ShortStep);
    const std::vector<int32_t> step = Play(player, 2211 + 500);
    EXPECT_LE(std::abs(step[0] - hum.back()), humStep);
    EXPECT_LE(LargestStep(step, 2211 - 20), humStep);
    StopDriveMotorSound(player);
    EXPECT_LE(std::abs(Play(player, 1)[0] - step.back()), humStep);
}

TEST(DriveSounds, TheMotorHumsTheStepsClickAndTheSeekRattles) {
    // A hum: few zero crossings (white noise has one every other sample), yet clearly heard.
    const std::vector<int16_t>& motor = Samples(DriveClip::MotorRunning);
    int crossings = 0;
    for (size_t index = 1; index < motor.size(); ++index) {
        crossings += (motor[index - 1] < 0) != (motor[index] < 0);
    }
    EXPECT_LT(crossings, 1500);
    EXPECT_GT(Rms(motor, 0, motor.size()), 300);

    // A step is a click that dies away into the hum within its 50 ms.
    const std::vector<int16_t>& step = Samples(DriveClip::ShortStep);
    EXPECT_GT(Rms(step, 0, 441), 4 * Rms(step, step.size() - 441, 441));

    // A seek repeats its click every 3 ms, which noise never does.
    const std::vector<int16_t>& seek = Samples(DriveClip::LongSeek);
    auto edgeCorrelation = [&](size_t lag) {
        double sum = 0, energy = 0;
        for (size_t index = 1; index + lag < 10000; ++index) {
            const double edge = seek[index] - seek[index - 1];
            sum += edge * (seek[index + lag] - seek[index + lag - 1]);
            energy += edge * edge;
        }
        return sum / energy;
    };
    EXPECT_GT(edgeCorrelation(132), 0.5);
    EXPECT_LT(std::abs(edgeCorrelation(66)), 0.3);

    // The motor gathers speed after the spin-up's clack, and runs down to nothing.
    EXPECT_LT(Rms(Samples(DriveClip::SpinUp), 4410, 4410),
              Rms(Samples(DriveClip::SpinUp), 13000, 4410));
    EXPECT_GT(Rms(Samples(DriveClip::MotorStop), 2205, 2205),
              4 * Rms(Samples(DriveClip::MotorStop), 13182 - 2205, 2205));
}

}  // namespace
}  // namespace orvet
