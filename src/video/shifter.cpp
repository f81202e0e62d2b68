#include "video/shifter.h"

#include <algorithm>
#include <cstring>

namespace orvet {
namespace {

constexpr uint32_t kLineCycles = 512;

// Register offsets within the page.
constexpr uint32_t kBaseHigh = 0x01;
constexpr uint32_t kBaseMiddle = 0x03;
constexpr uint32_t kCounterHigh = 0x05;
constexpr uint32_t kCounterMiddle = 0x07;
constexpr uint32_t kCounterLow = 0x09;
constexpr uint32_t kSyncMode = 0x0A;
constexpr uint32_t kPaletteFirst = 0x40;
constexpr uint32_t kPaletteLast = 0x5F;
constexpr uint32_t kResolution = 0x60;

// The sync switch that opens a border counts anywhere in these windows: the GLUE decides about
// the top and bottom borders once per line, around the line's end.
constexpr int32_t kTopBorderFirst = 17328, kTopBorderLast = 17424;          // lines 33-34
constexpr int32_t kBottomBorderFirst = 134624, kBottomBorderLast = 134752;  // lines 262-263

// The counter reaches the first display byte at line 63 position 96 and runs 160 bytes a line.
constexpr int32_t kCounterStart = 32236;
constexpr int32_t kTopBorderLines = 29;
constexpr int32_t kCounterEndNormal = 102380;   // 200 lines
constexpr int32_t kCounterEndTopOpen = 117228;  // 229 lines
constexpr uint32_t kRamWrap = 0x3FFFFF;

uint32_t linePosition(int32_t cycleTime) {
    return static_cast<uint32_t>(cycleTime) % kLineCycles;
}

void writeSyncMode(Shifter& shifter, uint8_t value, int32_t cycleTime) {
    value &= 3;
    shifter.registerFile[kSyncMode] = value;
    // Any value opens the top or bottom border here: the switch itself is what the GLUE sees.
    if (cycleTime >= kBottomBorderFirst && cycleTime <= kBottomBorderLast) {
        shifter.bottomBorderOpen = true;
        shifter.displayEnable = true;
    }
    if (cycleTime >= kTopBorderFirst && cycleTime <= kTopBorderLast) {
        shifter.topBorderOpen = true;
        shifter.displayEnable = true;
    }
    if (!shifter.displayEnable || value != 0) return;
    switch (linePosition(cycleTime)) {
        case 372:
        case 376:
        case 380:
        case 384:
            LogAppend(shifter.log, kLogLineShort, 0, cycleTime);
            break;
        case 388:
            LogAppend(shifter.log, kLogRightBorderOpen, 0, cycleTime);
            break;
        default:
            break;
    }
}

void writeResolution(Shifter& shifter, uint8_t value, int32_t cycleTime) {
    value &= 3;
    if (shifter.displayEnable && value == 2) {
        // A switch to high resolution at these positions is a line trick: the shifter never
        // settles in the new mode, so the register keeps what it had.
        switch (linePosition(cycleTime)) {
            case 8:
            case 12:
            case 16:
                LogAppend(shifter.log, kLogLeftBorderOpen, 0, cycleTime);
                return;
            case 168:
            case 172:
            case 176:
                LogAppend(shifter.log, kLogLineStop, 0, cycleTime);
                return;
            default:
                break;
        }
    }
    shifter.registerFile[kResolution] = value;
    LogAppend(shifter.log, kLogResolution, value, cycleTime);
}

void logPalette(Shifter& shifter, uint32_t offset, int32_t cycleTime) {
    int index = static_cast<int>((offset - kPaletteFirst) / 2);
    LogAppend(shifter.log, kLogPalette + 2 * index, ShifterColour(shifter, index), cycleTime);
}

// A display-pointer write changes the address the shifter reads from at once.
void writeCounterByte(Shifter& shifter, int shift, uint8_t value, int32_t cycleTime) {
    shifter.frameDisplayBase =
        (shifter.frameDisplayBase & ~(0xFFu << shift)) | (static_cast<uint32_t>(value) << shift);
    LogAppend(shifter.log, kLogDisplayPointer, shifter.frameDisplayBase & kRamWrap, cycleTime);
}

}  // namespace

Shifter::Shifter() {
    registerFile.fill(0xFF);
    for (uint32_t offset = 0; offset < 10; offset += 2) registerFile[offset + 1] = 0;
    registerFile[kSyncMode] = 0;
    registerFile[0x0D] = 0;
    registerFile[0x0F] = 0;
    std::fill(registerFile.begin() + kPaletteFirst, registerFile.begin() + kResolution + 1, 0);
    registerFile[0x64] = registerFile[0x65] = 0;
}

uint32_t ShifterVideoCounter(const Shifter& shifter, int32_t cycleTime) {
    int32_t time = cycleTime;
    if (shifter.topBorderOpen) time += kTopBorderLines * static_cast<int32_t>(kLineCycles);
    int32_t progress = time > kCounterStart ? time - kCounterStart : 0;
    if (!shifter.bottomBorderOpen) {
        progress =
            std::min(progress, shifter.topBorderOpen ? kCounterEndTopOpen : kCounterEndNormal);
    }
    uint32_t offset = static_cast<uint32_t>(progress / 512) * 160;
    int32_t position = progress % 512;
    if (position > 96) offset += static_cast<uint32_t>(std::min(position - 96, 320) / 2);
    return shifter.frameDisplayBase + offset;
}

uint8_t ShifterResolution(const Shifter& shifter) {
    return shifter.registerFile[kResolution];
}

uint16_t ShifterColour(const Shifter& shifter, int index) {
    uint32_t offset = kPaletteFirst + 2 * static_cast<uint32_t>(index);
    return static_cast<uint16_t>(shifter.registerFile[offset] << 8 |
                                 shifter.registerFile[offset + 1]);
}

uint8_t ShifterReadByte(Shifter& shifter, CpuState&, uint32_t address, int32_t cycleTime) {
    uint32_t offset = address & 0xFF;
    switch (offset) {
        case kBaseHigh:
        case kBaseMiddle:
        case kSyncMode:
        case kResolution:
            return shifter.registerFile[offset];
        case kCounterHigh:
            return static_cast<uint8_t>(ShifterVideoCounter(shifter, cycleTime) >> 16);
        case kCounterMiddle:
            // The middle byte runs ahead: the counter has moved on by the time it is latched.
            return static_cast<uint8_t>((ShifterVideoCounter(shifter, cycleTime) + 10) >> 8);
        case kCounterLow:
            return static_cast<uint8_t>(ShifterVideoCounter(shifter, cycleTime));
        default:
            if (offset >= kPaletteFirst && offset <= kPaletteLast) {
                return shifter.registerFile[offset];
            }
            return 0xFF;
    }
}

uint16_t ShifterReadWord(Shifter& shifter, CpuState&, uint32_t address, int32_t) {
    uint32_t offset = address & 0xFE;
    switch (offset) {
        case kBaseHigh - 1:
        case kBaseMiddle - 1:
        case kResolution:
            return static_cast<uint16_t>(shifter.registerFile[offset] << 8 |
                                         shifter.registerFile[offset + 1]);
        case kSyncMode:
            return static_cast<uint16_t>(shifter.registerFile[kSyncMode] << 8 | 0xFF);
        default:
            if (offset >= kPaletteFirst && offset <= kPaletteLast) {
                return ShifterColour(shifter, static_cast<int>(offset - kPaletteFirst) / 2);
            }
            return 0xFFFF;  // the video counter among them: only byte reads latch it
    }
}

void ShifterWriteByte(Shifter& shifter, CpuState&, uint32_t address, uint8_t value,
                      int32_t cycleTime) {
    uint32_t offset = address & 0xFF;
    switch (offset) {
        case kBaseHigh:
            shifter.registerFile[offset] = value;
            shifter.videoBase = (shifter.videoBase & 0x00FF00) | static_cast<uint32_t>(value) << 16;
            return;
        case kBaseMiddle:
            shifter.registerFile[offset] = value;
            shifter.videoBase = (shifter.videoBase & 0xFF0000) | static_cast<uint32_t>(value) << 8;
            return;
        case kSyncMode:
            writeSyncMode(shifter, value, cycleTime);
            return;
        case kResolution:
            writeResolution(shifter, value, cycleTime);
            return;
        default:
            if (offset >= kPaletteFirst && offset <= kPaletteLast) {
                shifter.registerFile[offset] = value;
                logPalette(shifter, offset & ~1u, cycleTime);
            }
            return;
    }
}

void ShifterWriteWord(Shifter& shifter, CpuState& cpu, uint32_t address, uint16_t value,
                      int32_t cycleTime) {
    uint32_t offset = address & 0xFE;
    uint8_t high = static_cast<uint8_t>(value >> 8);
    uint8_t low = static_cast<uint8_t>(value);
    switch (offset) {
        case kBaseHigh - 1:
        case kBaseMiddle - 1:
            ShifterWriteByte(shifter, cpu, address | 1, low, cycleTime);
            return;
        case kCounterHigh - 1:
            writeCounterByte(shifter, 16, low, cycleTime);
            return;
        case kCounterMiddle - 1:
            writeCounterByte(shifter, 8, low, cycleTime);
            return;
        case kCounterLow - 1:
            // The shifter fetches whole words: the display address is always even.
            writeCounterByte(shifter, 0, low & 0xFE, cycleTime);
            return;
        case kSyncMode:
            writeSyncMode(shifter, high, cycleTime);
            return;
        case kResolution:
            writeResolution(shifter, high, cycleTime);
            return;
        default:
            if (offset >= kPaletteFirst && offset <= kPaletteLast) {
                shifter.registerFile[offset] = high;
                shifter.registerFile[offset + 1] = low;
                logPalette(shifter, offset, cycleTime);
            }
            return;
    }
}

void LogAppend(HardwareWriteLog& log, uint32_t kind, uint32_t value, int32_t cycleTime) {
    // Room is kept for the end mark.
    if (log.writePosition + 3 + 1 > log.words.size()) {
        ++log.droppedEntries;
        return;
    }
    int32_t delta = std::max(cycleTime - log.lastLoggedTime, 0);
    uint32_t* entry = log.words.data() + log.writePosition;
    entry[0] = static_cast<uint32_t>(delta);
    entry[1] = kind;
    entry[2] = value;
    log.writePosition += 3;
    log.lastLoggedTime += delta;
    if (log.recordWriters) log.writers.push_back(log.currentWriter);
}

void LogClose(HardwareWriteLog& log) {
    log.words[log.writePosition] = kLogEndMark;
}

void ShifterStartFrame(Shifter& shifter, const MachineMemory* memory) {
    HardwareWriteLog& log = shifter.log;
    if (log.recordWriters) {
        const auto end = log.words.begin() + static_cast<ptrdiff_t>(log.writePosition);
        shifter.lastFrame.words.assign(log.words.begin(), end);
        shifter.lastFrame.words.push_back(kLogEndMark);
        shifter.lastFrame.writers = log.writers;
        shifter.lastFrame.complete = log.recordedFromStart;
        log.recordedFromStart = true;
    }
    log.writers.clear();
    shifter.frameDisplayBase = shifter.videoBase;
    shifter.topBorderOpen = shifter.bottomBorderOpen = false;
    shifter.displayEnable = false;
    shifter.log.writePosition = 0;
    shifter.log.lastLoggedTime = 0;
    shifter.log.droppedEntries = 0;
    LogClose(shifter.log);
    if (memory && memory->block) {
        // The block holds the ROM and cartridge areas after the 4 MB of RAM, so a base near
        // the top of RAM still copies from inside it.
        std::memcpy(shifter.snapshot.data(),
                    memory->block.get() + (shifter.frameDisplayBase & kRamWrap),
                    kScreenSnapshotBytes);
    }
}

void ShifterIoReset(Shifter& shifter) {
    shifter.videoBase = 0;
    shifter.frameDisplayBase = 0;
    shifter.registerFile[kBaseHigh] = shifter.registerFile[kBaseMiddle] = 0;
    shifter.registerFile[kResolution] = 0;
    shifter.registerFile[kSyncMode] = 0;
}

}  // namespace orvet
