// The MFP's share of a save state: its registers, and each timer's next time-out and period.
#include "machine/chip_state.h"
#include "machine/mfp.h"
#include "machine/state_stream.h"

namespace orvet {

void SerializeMfp(StateStream& stream, Mfp& mfp) {
    MfpRegisters& r = mfp.registers;
    stream.value(r.generalPurposeIo);
    stream.value(r.activeEdge);
    stream.value(r.dataDirection);
    stream.value(r.interruptEnable);
    stream.value(r.interruptPending);
    stream.value(r.interruptInService);
    stream.value(r.interruptMask);
    stream.value(r.vectorBase);
    stream.value(r.timerAControl);
    stream.value(r.timerBControl);
    stream.value(r.timerCDControl);
    stream.values(r.timerData);
    stream.values(r.usart);
    for (MfpTimerState& timer : mfp.timers) {
        stream.value(timer.nextTime);
        stream.value(timer.period);
        stream.value(timer.tickCycles);
        // The longest period is 256 counts at the 200 prescaler; a period with no tick length
        // would divide by zero when the count is read.
        stream.require(timer.period <= 256u * 200u * 4u &&
                           (timer.period == 0 || (timer.tickCycles != 0 &&
                                                  timer.tickCycles <= timer.period)),
                       "an MFP timer period no prescaler gives");
    }
    stream.value(mfp.timerBLinesLeft);
    stream.value(mfp.timerAEventsLeft);
}

}  // namespace orvet
