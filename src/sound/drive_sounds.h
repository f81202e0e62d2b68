// The floppy drive's noises: five clips, one playing at a time, chained so that a spin-up or a
// step runs into the motor's hum until the motor stops.
//
// The clips are synthesised once, the first time they are asked for, from the drive's mechanics:
// a spindle turning at 300 rpm with its motor's hum and the disk brushing its jacket, a stepper
// that clicks once per track, and a motor that needs a third of a second to reach speed and
// about as long to run down.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvet {

enum class DriveClip : int8_t {
    None = -1,
    MotorRunning = 0,  // loops
    SpinUp = 1,
    ShortStep = 2,
    LongSeek = 3,
    MotorStop = 4,
};

constexpr size_t kDriveClipCount = 5;

struct DriveSoundClip {
    std::vector<int16_t> samples;      // mono, 44,100 Hz
    DriveClip next = DriveClip::None;  // what plays when this clip ends
};

using DriveSoundClips = std::array<DriveSoundClip, kDriveClipCount>;

struct DriveSoundPlayer {
    DriveClip current = DriveClip::None;
    std::array<int32_t, kDriveClipCount> positions{};  // play position of each clip, in samples
    // A clip that takes over mid-way would jump from one waveform to another and click; the jump
    // is carried as an offset that dies away within a couple of milliseconds.
    bool clipChanged = false;
    int32_t lastSample = 0;
    int32_t seamOffset = 0;
};

// The controller starts a clip from its beginning: spin-up, a short step or a long seek.
void StartDriveSound(DriveSoundPlayer& player, DriveClip clip);

// The motor stops: its clip becomes current from where it last stopped.
void StopDriveMotorSound(DriveSoundPlayer& player);

// Adds `count` samples of the current clip chain to `mix`. Plays nothing when no clip is current.
void DriveSoundsRender(DriveSoundPlayer& player, int32_t* mix, int count);

// The clips every player uses, built on first use.
const DriveSoundClips& DriveSoundClipSet();

// Builds a fresh set; the same every time.
DriveSoundClips BuildDriveSoundClips();

}  // namespace orvet
