#include "platform/audio_ring.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

namespace orvet {
namespace {

// Samples numbered from `first`, never 0, so they can be told from silence.
std::vector<int16_t> Numbered(int count, int first = 1) {
    std::vector<int16_t> samples(count);
    for (int index = 0; index < count; ++index) {
        samples[index] = static_cast<int16_t>(1 + (first + index - 1) % 32767);
    }
    return samples;
}

std::vector<int16_t> Played(AudioRing& ring, int count) {
    std::vector<int16_t> out(count, -1);
    ring.Play(out.data(), count);
    return out;
}

TEST(AudioRingTest, CursorsAndCountsAcrossWrapAround) {
    AudioRing ring;
    EXPECT_EQ(ring.FreeSamples(), 4096);
    EXPECT_EQ(ring.SamplesPlayed(), 0);
    EXPECT_EQ(ring.WriteSamples(Numbered(3500).data(), 3500), 3500);
    EXPECT_EQ(ring.FreeSamples(), 596);
    EXPECT_EQ(Played(ring, 3500), Numbered(3500));
    EXPECT_EQ(ring.SamplesPlayed(), 3500);
    EXPECT_EQ(ring.SamplesPlayed(), 0);  // counted once
    // A frame at sample 3,500: 596 samples fill the end of the ring, 285 its start.
    const std::vector<int16_t> frame = Numbered(881, 5000);
    EXPECT_EQ(ring.WriteSamples(frame.data(), 881), 881);
    EXPECT_EQ(ring.FreeSamples(), 4096 - 881);
    EXPECT_EQ(Played(ring, 881), frame);
    EXPECT_EQ(ring.FreeSamples(), 4096);
}

TEST(AudioRingTest, UnplayedSamplesAreNeverOverwritten) {
    AudioRing ring;
    ring.WriteSamples(Numbered(4000).data(), 4000);
    // Of a run longer than the room, only what fits is kept.
    EXPECT_EQ(ring.WriteSamples(Numbered(200, 4001).data(), 200), 96);
    EXPECT_EQ(ring.FreeSamples(), 0);
    EXPECT_EQ(ring.WriteSamples(Numbered(10).data(), 10), 0);
    EXPECT_EQ(ring.WriteSamples(nullptr, 10), 0);
    EXPECT_EQ(ring.WriteSamples(Numbered(10).data(), -5), 0);
    EXPECT_EQ(ring.SamplesUntilFree(881), 881);
    EXPECT_EQ(Played(ring, 500), Numbered(500));
    EXPECT_EQ(ring.SamplesUntilFree(881), 381);
    EXPECT_EQ(ring.SamplesUntilFree(400), 0);
    EXPECT_EQ(Played(ring, 3596), Numbered(3596, 501));
}

TEST(AudioRingTest, RunningDryPlaysSilenceCountedAsTimeAndAsUnderrunOnlyWhileStreaming) {
    AudioRing ring;
    ring.SetStreaming(true);
    // Before the first samples of a run arrive, silence is the start, not an underrun.
    EXPECT_EQ(Played(ring, 512), std::vector<int16_t>(512, 0));
    EXPECT_EQ(ring.Underruns(), 0u);

    ring.WriteSamples(Numbered(4096).data(), 4096);
    std::vector<int16_t> expected = Numbered(4096);
    expected.resize(4096 + 512, 0);
    EXPECT_EQ(Played(ring, 4096 + 512), expected);
    EXPECT_EQ(ring.Underruns(), 1u);
    // The ring still holds the old samples; running dry again must not replay them.
    EXPECT_EQ(Played(ring, 4096), std::vector<int16_t>(4096, 0));
    EXPECT_EQ(ring.Underruns(), 2u);
    EXPECT_EQ(ring.SamplesPlayed(), 512 + 4096 + 512 + 4096);
    EXPECT_EQ(ring.FreeSamples(), 4096);

    ring.SetStreaming(false);  // stopped or fast forward: the silence is expected
    Played(ring, 512);
    EXPECT_EQ(ring.Underruns(), 2u);
    EXPECT_EQ(ring.SamplesPlayed(), 512);

    ring.WriteSamples(Numbered(100).data(), 100);
    ring.Restart();
    EXPECT_EQ(ring.FreeSamples(), 4096);
    EXPECT_EQ(ring.SamplesPlayed(), 0);
    EXPECT_EQ(Played(ring, 100), std::vector<int16_t>(100, 0));
    EXPECT_EQ(ring.Underruns(), 2u);
}

// The main thread writes frames of changing size while the sound thread plays callback-sized
// blocks; every sample must arrive once, in order, and every block played must be counted.
TEST(AudioRingTest, SamplesCrossBetweenThreadsInOrderExactlyOnce) {
    constexpr int kTotal = 2'000'000;
    AudioRing ring;
    ring.SetStreaming(true);
    const std::vector<int16_t> sequence = Numbered(kTotal);
    std::vector<int16_t> received;
    received.reserve(kTotal);
    int64_t requestedByPlayer = 0;

    std::thread player([&] {
        std::vector<int16_t> block(512);
        while (static_cast<int>(received.size()) < kTotal) {
            ring.Play(block.data(), static_cast<int>(block.size()));
            requestedByPlayer += static_cast<int64_t>(block.size());
            for (int16_t sample : block) {
                if (sample != 0) received.push_back(sample);
            }
        }
    });
    int64_t playedSeenByWriter = 0;
    for (int sent = 0, frame = 0; sent < kTotal; ++frame) {
        const int wanted = std::min(kTotal - sent, 1 + frame * 37 % 1200);
        sent += ring.WriteSamples(sequence.data() + sent, wanted);
        playedSeenByWriter += ring.SamplesPlayed();
        if (ring.FreeSamples() == 0) std::this_thread::yield();
    }
    player.join();
    playedSeenByWriter += ring.SamplesPlayed();

    ASSERT_EQ(received.size(), sequence.size());
    EXPECT_TRUE(received == sequence);
    EXPECT_EQ(playedSeenByWriter, requestedByPlayer);
}

}  // namespace
}  // namespace orvet
