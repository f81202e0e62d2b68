#include "platform/audio_output.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/audio_ring.h"

namespace orvet {

namespace {

constexpr int kSamplesPerFrameWithoutDevice = 881;

// One sound device per process, as the host has one default output.
struct AudioDevice {
    SDL_AudioDeviceID id = 0;  // 0: none open
    AudioRing ring;
};
AudioDevice device;

void PlayFromRing(void* userdata, Uint8* stream, int byteCount) {
    static_cast<AudioRing*>(userdata)->Play(reinterpret_cast<int16_t*>(stream),
                                            byteCount / static_cast<int>(sizeof(int16_t)));
}

bool DevicePlaying() {
    return device.id != 0 && SDL_GetAudioDeviceStatus(device.id) == SDL_AUDIO_PLAYING;
}

}  // namespace

bool OpenAudio(std::string* error) {
    if (device.id != 0) return true;
    const auto fail = [error] {
        if (error != nullptr) *error = kAudioOpenFailedText;
        return false;
    };
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail();
    SDL_AudioSpec wanted{};
    wanted.freq = kAudioSampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = kAudioCallbackSamples;
    wanted.callback = PlayFromRing;
    wanted.userdata = &device.ring;
    SDL_AudioSpec obtained{};
    // No changes allowed: the ring is always 44,100 Hz mono 16-bit and SDL converts for the
    // hardware, so the played count is in the machine's own samples.
    device.id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device.id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail();
    }
    device.ring.Restart();
    return true;
}

void CloseAudio() {
    if (device.id == 0) return;
    SDL_CloseAudioDevice(device.id);
    device.id = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool IsAudioOpen() {
    return device.id != 0;
}

void StartAudio() {
    if (device.id == 0) return;
    // Pausing waits for a callback in progress to finish, so the ring can be emptied safely.
    SDL_PauseAudioDevice(device.id, 1);
    device.ring.Restart();
    device.ring.SetStreaming(true);
    SDL_PauseAudioDevice(device.id, 0);
}

void StopAudio() {
    if (device.id == 0) return;
    device.ring.SetStreaming(false);
    SDL_PauseAudioDevice(device.id, 1);
}

void SetAudioStreaming(bool streaming) {
    device.ring.SetStreaming(streaming);
}

int SamplesPlayed() {
    if (device.id == 0) return kSamplesPerFrameWithoutDevice;
    return device.ring.SamplesPlayed();
}

int FreeSamples() {
    if (device.id == 0) return AudioRing::kCapacitySamples;
    return device.ring.FreeSamples();
}

int WriteSamples(const int16_t* samples, int count) {
    if (device.id == 0) return 0;
    return device.ring.WriteSamples(samples, count);
}

bool WaitForRoom(int samples) {
    if (samples <= 0) return true;
    if (!DevicePlaying() || samples > AudioRing::kCapacitySamples) return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAudioWaitLimitMilliseconds);
    for (;;) {
        const int missing = device.ring.SamplesUntilFree(samples);
        if (missing == 0) return true;
        const auto now = Clock::now();
        if (now >= deadline || !DevicePlaying()) return false;
        // Sleep about as long as the device needs to play the missing samples; the room appears
        // a callback buffer at a time, so a short second sleep may follow.
        const auto needed =
            std::chrono::microseconds(int64_t{missing} * 1'000'000 / kAudioSampleRate);
        const auto nap =
            std::clamp<Clock::duration>(needed, std::chrono::milliseconds(1), deadline - now);
        std::this_thread::sleep_for(nap);
    }
}

uint64_t AudioUnderruns() {
    return device.ring.Underruns();
}

}  // namespace orvet
