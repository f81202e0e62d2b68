#include "platform/audio_ring.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace orvet {

namespace {

constexpr uint64_t kCapacity = AudioRing::kCapacitySamples;

}  // namespace

void AudioRing::Restart() {
    writeCursor_.store(0, std::memory_order_relaxed);
    readCursor_.store(0, std::memory_order_relaxed);
    playedTotal_.store(0, std::memory_order_relaxed);
    playedReported_ = 0;
}

int AudioRing::SamplesPlayed() {
    const uint64_t playedTotal = playedTotal_.load(std::memory_order_acquire);
    const uint64_t played = playedTotal - playedReported_;
    playedReported_ = playedTotal;
    return static_cast<int>(std::min<uint64_t>(played, INT_MAX));
}

int AudioRing::FreeSamples() const {
    // Acquire: the player's reads of the slots it has passed are done before we reuse them.
    const uint64_t read = readCursor_.load(std::memory_order_acquire);
    const uint64_t written = writeCursor_.load(std::memory_order_relaxed);
    return static_cast<int>(kCapacity - (written - read));
}

int AudioRing::SamplesUntilFree(int wanted) const {
    return std::max(0, wanted - FreeSamples());
}

int AudioRing::WriteSamples(const int16_t* samples, int count) {
    if (samples == nullptr || count <= 0) return 0;
    const int kept = std::min(count, FreeSamples());
    const uint64_t written = writeCursor_.load(std::memory_order_relaxed);
    const int slot = static_cast<int>(written % kCapacity);
    const int untilEnd = std::min(kept, kCapacitySamples - slot);
    std::memcpy(samples_.data() + slot, samples, untilEnd * sizeof(int16_t));
    std::memcpy(samples_.data(), samples + untilEnd, (kept - untilEnd) * sizeof(int16_t));
    // Release: the samples are in their slots before the player can see the cursor pass them.
    writeCursor_.store(written + kept, std::memory_order_release);
    return kept;
}

void AudioRing::SetStreaming(bool streaming) {
    streaming_.store(streaming, std::memory_order_relaxed);
}

uint64_t AudioRing::Underruns() const {
    return underruns_.load(std::memory_order_relaxed);
}

void AudioRing::Play(int16_t* out, int count) {
    if (out == nullptr || count <= 0) return;
    const uint64_t read = readCursor_.load(std::memory_order_relaxed);
    // Acquire: the samples up to the write cursor are in their slots.
    const uint64_t written = writeCursor_.load(std::memory_order_acquire);
    const int taken = static_cast<int>(std::min<uint64_t>(written - read, count));
    const int slot = static_cast<int>(read % kCapacity);
    const int untilEnd = std::min(taken, kCapacitySamples - slot);
    std::memcpy(out, samples_.data() + slot, untilEnd * sizeof(int16_t));
    std::memcpy(out + untilEnd, samples_.data(), (taken - untilEnd) * sizeof(int16_t));
    std::fill(out + taken, out + count, int16_t{0});
    // Release: our reads of those slots are done before the writer may refill them.
    readCursor_.store(read + taken, std::memory_order_release);
    playedTotal_.store(playedTotal_.load(std::memory_order_relaxed) + count,
                       std::memory_order_release);
    // Silence before the first samples of a run is the start, not a fault.
    if (taken < count && written != 0 && streaming_.load(std::memory_order_relaxed)) {
        underruns_.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace orvet
