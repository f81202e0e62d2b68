// The ring the host sound device plays: 4,096 mono signed 16-bit samples (8,192 bytes, about
// 93 ms at 44,100 Hz). The main thread writes each frame's samples behind the write cursor; the
// sound device's thread takes them from the read cursor, which is the play cursor the frame loop
// measures real time by.
//
// Two threads share it without locks. Each cursor has one owner: the writer moves the write
// cursor, the player the read cursor and the played count; each side only reads the other's.
// The cursors count samples since the last Restart and never wrap (64 bits last for millions of
// years of sound); a slot is the cursor modulo the ring's size. Publishing a cursor with release
// and reading the other side's with acquire is what keeps a slot's samples and its reuse in order.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace orvet {

class AudioRing {
public:
    static constexpr int kCapacitySamples = 4096;

    // ---- Main thread ----

    // Empties the ring and starts the played count afresh. The player must not be running
    // meanwhile (the device is paused around it): both cursors go back to 0 at once.
    void Restart();

    // Samples the device has played since the previous call (or since Restart), the silence it
    // played while the ring ran dry included: that silence is real time passing.
    int SamplesPlayed();

    // Samples that can be written now without overwriting any the device has yet to play.
    int FreeSamples() const;

    // How many more samples the device must play before `wanted` samples are free; 0 when they
    // already are. A caller that waits sleeps about this long instead of spinning.
    int SamplesUntilFree(int wanted) const;

    // Copies samples behind the write cursor, wrapping round the end of the ring. Samples the
    // device has not played are never overwritten: of a longer run only the first FreeSamples()
    // are kept. Returns the number kept; a negative count or no samples keeps none.
    int WriteSamples(const int16_t* samples, int count);

    // Whether the machine is producing sound. While it is off (machine stopped, fast forward)
    // the ring running dry is expected and is not counted as an underrun.
    void SetStreaming(bool streaming);

    // Times the device found the ring empty before it had played what it asked for, while
    // streaming and after the first samples since Restart arrived. Kept across Restarts.
    uint64_t Underruns() const;

    // ---- Player thread (the sound device's callback) ----

    // Fills `out` with `count` samples from the ring; what the ring cannot supply is silence.
    // Silence is never followed by stale samples: the read cursor stops at the write cursor.
    void Play(int16_t* out, int count);

private:
    std::array<int16_t, kCapacitySamples> samples_{};
    std::atomic<uint64_t> writeCursor_{0};  // written by the main thread
    std::atomic<uint64_t> readCursor_{0};   // written by the player
    std::atomic<uint64_t> playedTotal_{0};  // written by the player, silence included
    std::atomic<uint64_t> underruns_{0};    // written by the player
    std::atomic<bool> streaming_{false};    // written by the main thread
    uint64_t playedReported_ = 0;           // main thread only: playedTotal_ at the last report

    static_assert(std::atomic<uint64_t>::is_always_lock_free,
                  "the sound thread must never wait on a lock the main thread holds");
};

}  // namespace orvet
