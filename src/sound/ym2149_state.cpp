// The YM2149's share of a save state: the register file and select latch, the register writes
// logged so far in the frame in progress (the synthesiser replays them at the frame's end), the
// part of the synthesiser the reset line sets, and the tone, noise and envelope generators.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "sound/ym2149.h"
#include "sound/ym_synth.h"

namespace orvet {

void SerializeYm2149(StateStream& stream, Ym2149& ym) {
    stream.values(ym.registers);
    stream.value(ym.select);

    SoundRegisterLog& log = ym.soundLog;
    stream.value(log.count);
    stream.value(log.lastCycle);
    stream.value(log.droppedWrites);
    // One slot stays free for the end mark.
    stream.require(log.count < log.entries.size(), "a sound register log longer than its room");
    if (stream.failed()) return;
    for (uint32_t index = 0; index < log.count; ++index) {
        SoundLogEntry& entry = log.entries[index];
        stream.value(entry.cyclesSincePrevious);
        stream.value(entry.registerNumber);
        stream.value(entry.value);
        stream.require(entry.cyclesSincePrevious < kSoundLogEndMark,
                       "a sound register write logged at no time a frame holds");
    }

    YmSynthResetState& synth = ym.synth;
    stream.value(synth.mixer);
    stream.values(synth.mixerMasks);
    stream.values(synth.volumes);
    stream.values(synth.fixedLevels);
    stream.value(synth.noiseLevel);
    stream.value(synth.noiseShiftRegister);
}

void SerializeYmSynth(StateStream& stream, YmSynth& synth) {
    stream.values(synth.toneFine);
    stream.values(synth.toneCoarse);
    stream.values(synth.toneStep);
    stream.values(synth.tonePhase);
    stream.value(synth.noisePeriod);
    stream.value(synth.noiseStep);
    stream.value(synth.noiseAccumulator);
    stream.value(synth.envelopeFine);
    stream.value(synth.envelopeCoarse);
    stream.value(synth.envelopeStep);
    stream.value(synth.envelopePhase);
    stream.value(synth.envelopeShape);
    stream.value(synth.envelopeHalf);
    stream.value(synth.shapeWritten);
    stream.value(synth.timeCarry);
    // The envelope's table has 16 shapes of two 32-step halves.
    stream.require(synth.envelopeShape < 16 && synth.envelopeHalf <= 1,
                   "an envelope step outside the shape table");
}

}  // namespace orvet
