// The host sound device: SDL's default output at 44,100 Hz, mono, signed 16-bit, fed from the
// AudioRing by SDL's audio thread. Everything here is called from the main thread.
//
// With no device open the machine runs without sound as designed: SamplesPlayed answers 881 (one
// frame's worth), writes are dropped and nothing waits, so the paced sync mode runs unpaced.
#pragma once

#include <cstdint>
#include <string>

namespace orvet {

constexpr int kAudioSampleRate = 44100;
// 10 ms a call: a whole number of milliseconds, so devices that keep time in milliseconds (SDL's
// disk and dummy drivers among them) play at exactly 44,100 samples a second.
constexpr int kAudioCallbackSamples = 441;
// The longest WaitForRoom blocks: about ten frames of sound. A device that plays nothing for that
// long has stalled, and the machine carries on rather than hang.
constexpr int kAudioWaitLimitMilliseconds = 200;
// The text shown (captioned "Audio Error") when no device can be opened.
inline constexpr const char* kAudioOpenFailedText = "Unable to create Direct Sound device.";

// Starts SDL's audio subsystem itself (SDL counts the starts, so a caller that already did
// SDL_Init(SDL_INIT_AUDIO) is unaffected) and opens the default device, paused. The format is
// fixed: SDL converts when the hardware differs, so what is captured with SDL_AUDIODRIVER=disk is
// exactly our stream. On failure returns false with kAudioOpenFailedText in *error (when given)
// and leaves the machine without sound.
bool OpenAudio(std::string* error);
// Closes the device and stops the audio subsystem this module started.
void CloseAudio();
bool IsAudioOpen();

// The machine starts running: the ring empties and the device plays from its start, streaming.
void StartAudio();
// The machine stops: the device pauses (it then plays nothing and counts no time).
void StopAudio();
// Off while fast forward runs the machine faster than the device plays: the gaps are expected.
void SetAudioStreaming(bool streaming);

// Samples played since the previous call, the silence of an underrun included; 881 with no device.
int SamplesPlayed();
// Samples that fit in the ring now; 4,096 with no device.
int FreeSamples();
// Copies samples into the ring; of more than fit, only those that fit are kept. Returns the
// number kept; 0 with no device, where they are dropped.
int WriteSamples(const int16_t* samples, int count);
// Blocks, sleeping, until `samples` fit in the ring. Returns at once with no device, a paused or
// stopped one, or a count the ring can never hold; returns after kAudioWaitLimitMilliseconds
// whatever the device does. True when the room is there.
bool WaitForRoom(int samples);
// Underruns counted since the program started.
uint64_t AudioUnderruns();

}  // namespace orvet
