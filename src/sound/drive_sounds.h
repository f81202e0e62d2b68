// The floppy drive's noises: five recorded clips, one playing at a time, chained so that a
// spin-up or a step runs into the motor's hum until the motor stops.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvet {

enum class DriveClip : int8_t {
    None = -1,
    MotorRunning = 0,  // loops
    SpinUp = 1,
    ShortStep = 2,
    LongSeek = 3,
    MotorStop = 4,
};

struct DriveSoundPlayer {
    DriveClip current = DriveClip::None;
    std::array<int32_t, 5> positions{};  // play position of each clip, in samples
};

// The controller starts a clip from its beginning: spin-up, a short step or a long seek.
void StartDriveSound(DriveSoundPlayer& player, DriveClip clip);

// The motor stops: its clip becomes current from where it last stopped.
void StopDriveMotorSound(DriveSoundPlayer& player);

}  // namespace orvet
