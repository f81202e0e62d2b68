#include "sound/ym2149.h"

namespace orvet {
namespace {

constexpr std::array<uint16_t, 16> kMeasuredLevels = {
    62, 161, 265, 377, 580, 774, 1155, 1575, 2260, 3088, 4570, 6233, 9330, 13187, 21220, 32767};

constexpr std::array<uint16_t, 16> ScaleToTwoThirds(const std::array<uint16_t, 16>& levels) {
    std::array<uint16_t, 16> scaled{};
    for (size_t i = 0; i < levels.size(); ++i) {
        scaled[i] = static_cast<uint16_t>((2ull * levels[i] * 1431655766ull) >> 32);
    }
    return scaled;
}

// Address bit 1 picks the chip's BDIR/BC lines: 0 = register select / read, 1 = data write.
bool IsDataAddress(uint32_t address) {
    return (address & 2) != 0;
}

uint8_t ReadSelected(const Ym2149& ym) {
    return ym.select < kYmRegisterCount ? ym.registers[ym.select] : 0xFF;
}

void WriteData(Ym2149& ym, uint8_t value, int32_t cycleTime) {
    if (ym.select >= kYmRegisterCount) return;  // no register answers
    SoundLogAppend(ym.soundLog, ym.select, value, cycleTime);
    ym.registers[ym.select] = value;
}

}  // namespace

const std::array<uint16_t, 16> kYmVolumeTable = ScaleToTwoThirds(kMeasuredLevels);

bool YmHasRegister(uint32_t address) {
    address &= 0xFFFFFF;
    return address >= kYmPageFirstAddress && address <= kYmPageLastAddress;
}

uint8_t YmReadByte(Ym2149& ym, CpuState&, uint32_t address, int32_t) {
    if (address & 1) return 0xFF;  // the chip drives only the upper data lines
    return IsDataAddress(address) ? ym.select : ReadSelected(ym);
}

void YmWriteByte(Ym2149& ym, CpuState&, uint32_t address, uint8_t value, int32_t cycleTime) {
    if (address & 1) return;
    if (IsDataAddress(address)) {
        WriteData(ym, value, cycleTime);
    } else {
        ym.select = value;
    }
}

uint16_t YmReadWord(Ym2149& ym, CpuState&, uint32_t address, int32_t) {
    const uint8_t high = IsDataAddress(address) ? ym.select : ReadSelected(ym);
    return static_cast<uint16_t>(high << 8 | 0xFF);
}

void YmWriteWord(Ym2149& ym, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime) {
    YmWriteByte(ym, cpu, address & ~1u, static_cast<uint8_t>(value >> 8), cycleTime);
}

bool SoundLogAppend(SoundRegisterLog& log, uint8_t registerNumber, uint8_t value,
                    int32_t cycleTime) {
    // The last slot is the end mark's.
    if (log.count + 1 >= log.entries.size()) {
        ++log.droppedWrites;
        return false;
    }
    // Times only move forward within a frame; a delta must never read as the end mark.
    int64_t delta = static_cast<int64_t>(cycleTime) - log.lastCycle;
    if (delta < 0) delta = 0;
    if (delta >= kSoundLogEndMark) delta = kSoundLogEndMark - 1;
    log.entries[log.count++] = {static_cast<uint32_t>(delta), registerNumber, value};
    if (cycleTime > log.lastCycle) log.lastCycle = cycleTime;
    return true;
}

void SoundLogClose(SoundRegisterLog& log) {
    if (log.entries.size() <= log.count) log.entries.resize(log.count + 1);
    log.entries[log.count] = {kSoundLogEndMark, 0, 0};
}

void SoundLogRestart(SoundRegisterLog& log) {
    log.count = 0;
    log.lastCycle = 0;
}

std::span<const SoundLogEntry> SoundLogEntries(const SoundRegisterLog& log) {
    return {log.entries.data(), log.count};
}

void YmReset(Ym2149& ym) {
    YmSynthResetState& synth = ym.synth;
    synth.mixer = 127;
    for (int bit = 0; bit < 6; ++bit) {
        synth.mixerMasks[bit] = (synth.mixer >> bit) & 1 ? 0xFFFF : 0;
    }
    synth.volumes = {0, 0, 0};
    synth.fixedLevels.fill(kYmVolumeTable[0]);
    synth.noiseLevel = 0xFFFF;
    synth.noiseShiftRegister = 1;
}

uint8_t YmPortA(const Ym2149& ym) {
    return ym.registers[kYmPortARegister];
}

int YmFloppySide(const Ym2149& ym) {
    return (YmPortA(ym) & 1) ? 0 : 1;
}

bool YmFloppyDriveSelected(const Ym2149& ym, int drive) {
    if (drive < 0 || drive > 1) return false;
    return (YmPortA(ym) & (2 << drive)) == 0;
}

}  // namespace orvet
