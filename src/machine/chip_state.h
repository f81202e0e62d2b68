// Each chip's share of a save state: one function per chip, defined in a file beside the chip
// (cpu/cpu_state.cpp, machine/mfp_state.cpp, ...), that walks the chip's values through a
// StateStream in a fixed order. The same function saves and loads, so the two cannot drift
// apart. Only values are carried: the pointers that wire a chip to the others (region lists, the
// controller's connections, the DMA sound's memory) belong to the machine that loads the state,
// which keeps its own.
//
// Adding a chip: write its function here and beside the chip, and add its section to the table
// in save_state.cpp. Changing a chip's layout: raise its section version there and, if older
// states should still load, read the older layout when stream.version() says so.
#pragma once

namespace orvet {

class StateStream;
struct CpuState;
struct DiskImage;
struct DmaSound;
struct DriveSoundPlayer;
struct Fdc;
struct Ikbd;
struct Mfp;
struct Renderer;
struct Shifter;
struct SoundFilter;
struct Ym2149;
struct YmSynth;

void SerializeCpu(StateStream& stream, CpuState& cpu);
void SerializeMfp(StateStream& stream, Mfp& mfp);
void SerializeIkbd(StateStream& stream, Ikbd& ikbd);
void SerializeYm2149(StateStream& stream, Ym2149& ym);
void SerializeYmSynth(StateStream& stream, YmSynth& synth);
void SerializeDmaSound(StateStream& stream, DmaSound& dma);
void SerializeSoundFilter(StateStream& stream, SoundFilter& filter);
void SerializeDriveSounds(StateStream& stream, DriveSoundPlayer& player);
void SerializeFdc(StateStream& stream, Fdc& fdc);
void SerializeDiskImage(StateStream& stream, DiskImage& disk);
void SerializeShifter(StateStream& stream, Shifter& shifter);
void SerializeRenderer(StateStream& stream, Renderer& renderer);

}  // namespace orvet
