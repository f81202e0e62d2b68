#include "sound/drive_sounds.h"

namespace orvet {

void StartDriveSound(DriveSoundPlayer& player, DriveClip clip) {
    if (clip == DriveClip::None) return;
    player.current = clip;
    player.positions[static_cast<std::size_t>(clip)] = 0;
}

void StopDriveMotorSound(DriveSoundPlayer& player) {
    player.current = DriveClip::MotorStop;
}

}  // namespace orvet
