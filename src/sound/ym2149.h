// The YM2149's processor face: the register file behind the I/O page 0xFF8800, the register
// select latch, port A (the floppy drive and side lines) and the per-frame log of cycle-stamped
// sound register writes that the synthesiser replays at the frame end.
//
// Of the address inside the page only bit 1 reaches the chip, so it repeats every 4 bytes:
// 0xFF8800 + 4n selects a register (write) or reads the selected one; 0xFF8802 + 4n writes data
// and reads back the select latch.
// The chip sits on the upper half of the data bus: odd bytes read 0xFF and ignore writes, and a
// word access reaches the chip through its high byte (the low byte of a read floats high).
//
// What the frame loop and the I/O layer call:
//   - I/O layer, page 0xFF8800: YmHasRegister (true across the page), YmReadByte/YmWriteByte,
//     YmReadWord/YmWriteWord. It adds the YM wait states; no access changes timing, so no
//     slice is ended.
//   - Frame loop, frame end: SoundLogClose before the sound is generated, SoundLogRestart after.
//     The log holds deltas, so it needs no rebase.
//   - ResetMachine: YmReset.
//   - Floppy controller: YmPortA / YmFloppySide / YmFloppyDriveSelected.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orvet {

struct CpuState;

constexpr uint32_t kYmPageFirstAddress = 0xFF8800;
constexpr uint32_t kYmPageLastAddress = 0xFF88FF;
constexpr int kYmRegisterCount = 16;
constexpr uint8_t kYmPortARegister = 14;
constexpr uint8_t kYmMixerRegister = 7;

// One logged register write.
struct SoundLogEntry {
    uint32_t cyclesSincePrevious = 0;  // since the frame start for the frame's first entry
    uint32_t registerNumber = 0;       // 0-15
    uint32_t value = 0;                // the byte written, in the low 8 bits
};

// A first word of this value ends the frame's entries.
constexpr uint32_t kSoundLogEndMark = 0x7FFFFF;

// Every bus access takes at least 4 cycles, so a 160,256-cycle frame holds at most 40,064 data
// writes; the rest covers a last slice running past the frame end. One slot more is kept for the
// end mark, so closing the log never needs room that is not there.
constexpr uint32_t kSoundLogCapacity = 48 * 1024;

struct SoundRegisterLog {
    std::vector<SoundLogEntry> entries = std::vector<SoundLogEntry>(kSoundLogCapacity + 1);
    uint32_t count = 0;          // entries written this frame
    int32_t lastCycle = 0;       // frame cycle of the last entry (0 at the frame start)
    uint32_t droppedWrites = 0;  // writes that found the log full (kept in the register file)
};

// The part of the synthesiser's state that a reset sets; the tone, noise and envelope
// generators keep theirs across a reset and live with the synthesiser.
struct YmSynthResetState {
    uint8_t mixer = 127;  // everything off
    std::array<uint16_t, 6> mixerMasks = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    std::array<uint8_t, 3> volumes = {0, 0, 0};          // register 8-10 value AND 31
    std::array<uint16_t, 3> fixedLevels = {41, 41, 41};  // VolumeTable[volume AND 15]
    uint16_t noiseLevel = 0xFFFF;
    uint32_t noiseShiftRegister = 1;
};

struct Ym2149 {
    std::array<uint8_t, kYmRegisterCount> registers{};  // exactly as written, all 8 bits
    uint8_t select = 0;                                 // the whole byte written
    SoundRegisterLog soundLog;
    YmSynthResetState synth;
};

// The 16 chip output levels, the measured curve scaled by 2/3 so that three channels at full
// level sum to at most 65,532.
extern const std::array<uint16_t, 16> kYmVolumeTable;

// ---- Registers (page 0xFF8800) ----

bool YmHasRegister(uint32_t address);
uint8_t YmReadByte(Ym2149& ym, CpuState& cpu, uint32_t address, int32_t cycleTime);
void YmWriteByte(Ym2149& ym, CpuState& cpu, uint32_t address, uint8_t value, int32_t cycleTime);
// Word accesses use the even address of the pair and reach the chip through the high byte.
uint16_t YmReadWord(Ym2149& ym, CpuState& cpu, uint32_t address, int32_t cycleTime);
void YmWriteWord(Ym2149& ym, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime);

// ---- Sound register log ----

// Appends one write; false (and counted in droppedWrites) when the log is full.
bool SoundLogAppend(SoundRegisterLog& log, uint8_t registerNumber, uint8_t value,
                    int32_t cycleTime);
// Writes the end mark after the frame's entries.
void SoundLogClose(SoundRegisterLog& log);
void SoundLogRestart(SoundRegisterLog& log);
std::span<const SoundLogEntry> SoundLogEntries(const SoundRegisterLog& log);

// ---- Reset and port A ----

// The chip's reset line sets the mixer off and the volumes to 0; the register file and the
// select latch keep what the program wrote.
void YmReset(Ym2149& ym);

uint8_t YmPortA(const Ym2149& ym);
// Port A bit 0 low selects side 1.
int YmFloppySide(const Ym2149& ym);
// Port A bits 1 (drive A, drive 0) and 2 (drive B, drive 1) select a drive when low.
bool YmFloppyDriveSelected(const Ym2149& ym, int drive);

}  // namespace orvet
