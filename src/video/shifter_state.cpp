// The shifter's share of a save state: its register page, the display base programmed and in
// force, the borders opened so far, the frame's hardware-write log up to now, and the copy of
// screen memory the frame is drawn from. The debugger's record of which instruction made each
// entry is not carried: the loaded frame's entries have none.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "video/shifter.h"

namespace orvet {

void SerializeShifter(StateStream& stream, Shifter& shifter) {
    stream.values(shifter.registerFile);
    stream.value(shifter.videoBase);
    stream.value(shifter.frameDisplayBase);
    stream.value(shifter.topBorderOpen);
    stream.value(shifter.bottomBorderOpen);
    stream.value(shifter.displayEnable);

    HardwareWriteLog& log = shifter.log;
    uint32_t position = static_cast<uint32_t>(log.writePosition);
    stream.value(position);
    stream.value(log.lastLoggedTime);
    stream.value(log.droppedEntries);
    // Entries are three words each, and one word stays free for the end mark.
    stream.require(position % 3 == 0 && position < log.words.size(),
                   "a hardware-write log longer than its room");
    if (stream.failed()) return;
    log.writePosition = position;
    stream.values(std::span<uint32_t>(log.words.data(), position));
    if (stream.loading()) {
        log.words[position] = kLogEndMark;
        log.writers.clear();
        log.recordedFromStart = false;
    }

    stream.require(shifter.snapshot.size() == kScreenSnapshotBytes, "a screen copy of no size");
    stream.bytes(shifter.snapshot.data(), kScreenSnapshotBytes);
}

}  // namespace orvet
