// The keyboard side's share of a save state: both ACIAs, the keyboard processor's settings and
// the command it is collecting, the bytes still on the serial line, and the keys and buttons it
// last saw, so that a key held when the state was made is released, not pressed again.
#include "machine/chip_state.h"
#include "machine/ikbd.h"
#include "machine/state_stream.h"

namespace orvet {

void SerializeIkbd(StateStream& stream, Ikbd& ikbd) {
    stream.value(ikbd.acia.status);
    stream.value(ikbd.acia.control);
    stream.value(ikbd.acia.data);
    stream.value(ikbd.midi.control);
    stream.value(ikbd.midi.data);

    IkbdProcessor& p = ikbd.processor;
    stream.value(p.mouseEnabled);
    stream.value(p.mouseAbsolute);
    stream.value(p.yAtTop);
    stream.value(p.buttonAction);
    stream.value(p.maxX);
    stream.value(p.maxY);
    stream.value(p.keycodeDeltaX);
    stream.value(p.keycodeDeltaY);
    stream.value(p.thresholdX);
    stream.value(p.thresholdY);
    stream.value(p.scaleX);
    stream.value(p.scaleY);
    stream.value(p.absoluteX);
    stream.value(p.absoluteY);
    stream.value(p.joystickEnabled);
    stream.value(p.joystickInterrogation);
    stream.value(p.paused);
    stream.value(p.command);
    stream.value(p.paramsLeft);
    stream.values(p.parameters);
    // The next parameter byte lands at (count - left): more left than the command takes would
    // write before the buffer.
    stream.require(p.paramsLeft >= 0 && p.paramsLeft <= IkbdCommandParameterCount(p.command),
                   "a keyboard command with more parameters due than it takes");

    stream.values(ikbd.queue.bytes);
    stream.value(ikbd.queue.writeIndex);
    stream.value(ikbd.queue.readIndex);
    stream.value(ikbd.queue.count);
    stream.value(ikbd.queue.droppedBytes);
    stream.require(static_cast<uint8_t>(ikbd.queue.writeIndex - ikbd.queue.readIndex) ==
                       ikbd.queue.count,
                   "a keyboard line whose count disagrees with its ends");

    stream.values(ikbd.host.previousKeys);
    stream.values(ikbd.host.currentKeys);
    stream.value(ikbd.host.leftButton);
    stream.value(ikbd.host.rightButton);
    stream.value(ikbd.host.previousLeftButton);
    stream.value(ikbd.host.previousRightButton);
    stream.value(ikbd.timeReportRequested);
    stream.value(ikbd.nextStepTime);
}

}  // namespace orvet
