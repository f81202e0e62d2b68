// The drive noises' share of a save state: the clip playing and where each clip stands. The clips
// themselves are made from the drive's mechanics and are the same in every machine.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "sound/drive_sounds.h"

namespace orvet {

void SerializeDriveSounds(StateStream& stream, DriveSoundPlayer& player) {
    stream.value(player.current, DriveClip::None, DriveClip::MotorStop);
    stream.values(player.positions);
    stream.value(player.clipChanged);
    stream.value(player.lastSample);
    stream.value(player.seamOffset);
}

}  // namespace orvet
