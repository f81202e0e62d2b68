// The mixer's share of a save state: the smoothing filter's memory of the last two mixed values,
// so that the first frame after a load joins the last one before the save without a seam.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "sound/mixer.h"

namespace orvet {

void SerializeSoundFilter(StateStream& stream, SoundFilter& filter) {
    stream.value(filter.previous);
    stream.value(filter.beforePrevious);
}

}  // namespace orvet
