#include "fdc/wd1772.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "disk/disk_image.h"
#include "fdc/dma.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/status_messages.h"
#include "sound/drive_sounds.h"
#include "sound/ym2149.h"

namespace orvet {
namespace {

constexpr uint32_t kSectorBytes = 512;

// Offsets inside the block.
constexpr uint32_t kDataAccessOffset = 0x04;
constexpr uint32_t kDmaModeOffset = 0x06;
constexpr uint32_t kDmaAddressHighOffset = 0x09;
constexpr uint32_t kDmaAddressMiddleOffset = 0x0B;
constexpr uint32_t kDmaAddressLowOffset = 0x0D;

// Command bits.
constexpr uint8_t kNoSpinUp = 0x08;            // Type I and II: the motor is taken as up to speed
constexpr uint8_t kSettleDelay = 0x04;         // Type II: wait for the head to settle first
constexpr uint8_t kMultipleSectors = 0x10;     // Type II: read on to the end of the track
constexpr uint8_t kImmediateInterrupt = 0x08;  // Force Interrupt: now
constexpr uint8_t kIndexInterrupt = 0x04;      // Force Interrupt: at the next index pulse
constexpr uint8_t kForceInterruptNibble = 0xD;

// DMA mode bits.
constexpr uint16_t kModeTowardsDisk = 0x100;
constexpr uint16_t kModeFloppySide = 0x80;
constexpr uint16_t kModeDisabled = 0x40;
constexpr uint16_t kModeSectorCount = 0x10;
constexpr uint16_t kModeHardDiskRegisters = 0x08;

// What a finished command leaves in the status register.
constexpr uint32_t kTypeOneDone = kFdcStatusMotorOn | kFdcStatusSpinUpComplete;
constexpr uint32_t kTypeTwoBusy = kFdcStatusMotorOn | kFdcStatusBusy;
// The Type I bits that copy the drive's lines.
constexpr uint32_t kDriveLineBits = kFdcStatusWriteProtect | kFdcStatusTrackZero | kFdcStatusIndex;

// The track register is not limited by the drive's tracks; it only must not wrap.
int32_t stepTrack(int32_t track, int32_t direction) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{track} + direction,
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// ---- The outside world ----

// GPIP bit 5 follows the chip's INTRQ through an inverter: low means a request.
void setInterruptLine(Fdc& fdc, bool high) {
    if (fdc.connections.mfp) MfpSetGpipLine(*fdc.connections.mfp, kMfpGpipFloppy, high);
}

void showActivity(Fdc& fdc, const char* text) {
    if (fdc.connections.statusMessages) {
        SetStatusMessageText(*fdc.connections.statusMessages, 0, text);
    }
}

// A line for the user about the disk, shown once while it stands: a formatter refused on every
// track would otherwise fill every slot.
void showNotice(Fdc& fdc, const std::string& text) {
    StatusMessages* messages = fdc.connections.statusMessages;
    if (!messages) return;
    for (const StatusSlot& slot : messages->slots) {
        if (slot.active && slot.text == text.substr(0, kStatusTextMaxLength)) return;
    }
    ShowStatusMessage(*messages, text, kFdcNoticeMilliseconds, 0);
}

int32_t completionTime(const Fdc& fdc, int32_t now, int64_t mechanicalTime) {
    return fdc.fastDisk ? now + kFdcFastCompletionCycles : static_cast<int32_t>(mechanicalTime);
}

// ---- The drive ----

// Drive B's select line reaches no drive: the machine has only drive A.
bool driveASelected(const Fdc& fdc) {
    return !fdc.connections.ym || YmFloppyDriveSelected(*fdc.connections.ym, 0);
}

bool diskInDriveA(const Fdc& fdc) {
    return fdc.connections.disk && fdc.connections.disk->inserted();
}

// The index sensor sees the disk turn: the selected drive must hold one and its motor run.
bool indexPulsesCome(const Fdc& fdc) {
    return fdc.controller.motorOn && driveASelected(fdc) && diskInDriveA(fdc);
}

// The head cannot step out past the stop, so a negative register also finds it on track 0.
bool trackZeroSignal(const Fdc& fdc) {
    return driveASelected(fdc) && fdc.controller.track <= 0;
}

// An empty 3.5" drive reports its slot as protected. A disk whose file cannot take the writes
// back is protected as a write-protected floppy is, so that the program hears it at once rather
// than believing its data safe.
bool writeProtectSignal(const Fdc& fdc) {
    return driveASelected(fdc) &&
           (!diskInDriveA(fdc) || fdc.writeProtect || fdc.connections.disk->writeProtected);
}

int64_t rotationAngle(const FdcController& controller, int32_t now) {
    const int64_t angle = (int64_t{now} - controller.rotationOrigin) % kFdcRevolutionCycles;
    return angle < 0 ? angle + kFdcRevolutionCycles : angle;
}

bool indexSignal(const Fdc& fdc, int32_t now) {
    return indexPulsesCome(fdc) && rotationAngle(fdc.controller, now) < kFdcIndexPulseCycles;
}

int64_t nextIndexPulse(const FdcController& controller, int32_t now) {
    const int64_t angle = rotationAngle(controller, now);
    return angle == 0 ? now : now + kFdcRevolutionCycles - angle;
}

// The noises belong to the disk turning in the drive; an empty drive or one that is not there
// makes none.
bool driveHeard(const Fdc& fdc) {
    return fdc.connections.driveSounds && driveASelected(fdc) && diskInDriveA(fdc);
}

void startDriveSound(Fdc& fdc, DriveClip clip) {
    if (driveHeard(fdc)) StartDriveSound(*fdc.connections.driveSounds, clip);
}

void stopDriveSound(Fdc& fdc) {
    DriveSoundPlayer* player = fdc.connections.driveSounds;
    if (player && player->current != DriveClip::None && player->current != DriveClip::MotorStop) {
        StopDriveMotorSound(*player);
    }
}

// A disk taken out, or the drive deselected, while the motor runs: nothing turns to be heard.
void silenceUnheardDrive(Fdc& fdc) {
    if (!driveHeard(fdc)) stopDriveSound(fdc);
}

// Every command but Force Interrupt raises the motor line. With bit 3 clear and the motor off,
// the chip then lets six revolutions pass for it to reach speed; bit 3 says the program knows it
// is turning already. Returns when the command goes on.
int32_t startMotor(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    if (controller.motorOn) return now;
    controller.motorOn = true;
    controller.rotationOrigin = now;
    startDriveSound(fdc, DriveClip::SpinUp);
    return (command & kNoSpinUp) ? now : now + kFdcSpinUpCycles;
}

// The chip goes on when a drive answers; until then it looks again each revolution, so a disk
// put in or a drive selected meanwhile is found.
void waitForDrive(Fdc& fdc, int64_t from) {
    fdc.controller.state = FdcState::WaitingForDrive;
    fdc.controller.eventTime = static_cast<int32_t>(from + kFdcRevolutionCycles);
}

void finishAt(FdcController& controller, uint32_t finalStatus, int64_t time) {
    controller.finalStatus = finalStatus;
    controller.state = FdcState::Finishing;
    controller.eventTime = static_cast<int32_t>(time);
}

// ---- The medium ----

// The track register stands for the head position, so a track beyond the image's last reads the
// last track, and a negative register (Step Out past track 0) never matches a sector's ID field:
// record not found.
bool sectorExists(const Fdc& fdc) {
    const DiskImage* disk = fdc.connections.disk;
    const FdcController& controller = fdc.controller;
    return disk && controller.track >= 0 && controller.sector >= 1 &&
           controller.sector <= disk->sectors;
}

// The image's bytes of the current sector, or nullptr when the image is shorter than its
// geometry says.
uint8_t* sectorInImage(const Fdc& fdc) {
    DiskImage* disk = fdc.connections.disk;
    if (!disk || !disk->inserted() || disk->tracks < 1 || disk->sides < 1) return nullptr;
    const int64_t track = std::min(fdc.controller.track, disk->tracks - 1);
    const int64_t side =
        (disk->sides > 1 && fdc.connections.ym) ? YmFloppySide(*fdc.connections.ym) : 0;
    const int64_t offset =
        ((track * disk->sides + side) * disk->sectors + fdc.controller.sector - 1) * kSectorBytes;
    if (track < 0 || offset < 0 ||
        static_cast<uint64_t>(offset) + kSectorBytes > disk->data.size()) {
        return nullptr;
    }
    return disk->data.data() + offset;
}

// The sector goes to RAM at command time; the address counter moves on only when the event
// fires, which is when the real DMA would have finished the sector.
void transferSector(Fdc& fdc) {
    FdcDma& dma = fdc.dma;
    if (dma.sectorCount == 0 || dma.disabled || dma.towardsDisk || !fdc.connections.memory) {
        return;
    }
    const uint8_t* source = sectorInImage(fdc);
    if (!source) return;
    MachineMemory& memory = *fdc.connections.memory;
    const uint32_t length = DmaLengthInRam(memory, dma.address, kSectorBytes);
    if (length == 0) return;
    DmaCopyToRam(memory, dma.address, source, length);
    dma.stagedAddress = dma.address + length;
}

// The file is brought up to date once the drive has rested: a program writing a file sector by
// sector is saved once, after its last sector.
void noteWrite(DiskImage& disk) {
    disk.dirty = true;
    disk.framesSinceWrite = 0;
}

// A write goes from RAM into the image at command time, as a read goes the other way; the DMA
// must have been turned towards the disk for anything to come.
void transferSectorToDisk(Fdc& fdc) {
    FdcDma& dma = fdc.dma;
    if (dma.sectorCount == 0 || dma.disabled || !dma.towardsDisk || !fdc.connections.memory) {
        return;
    }
    uint8_t* target = sectorInImage(fdc);
    if (!target) return;
    const MachineMemory& memory = *fdc.connections.memory;
    const uint32_t length = DmaLengthInRam(memory, dma.address, kSectorBytes);
    if (length == 0) return;
    DmaCopyFromRam(memory, dma.address, target, length);
    dma.stagedAddress = dma.address + length;
    noteWrite(*fdc.connections.disk);
}

bool writeCommandNibble(uint8_t command) {
    return (command >> 4) == 0xA || (command >> 4) == 0xB;
}

// The search for the sector register's sector starts at `searchStart`: the chip reads it, gives
// up after four revolutions without its ID field, or, with no index pulse to count revolutions
// by, waits for a drive.
void readSectorFrom(Fdc& fdc, int32_t now, int64_t searchStart) {
    FdcController& controller = fdc.controller;
    if (!indexPulsesCome(fdc)) {
        waitForDrive(fdc, searchStart);
        return;
    }
    if (!sectorExists(fdc)) {
        finishAt(controller, kFdcStatusMotorOn | kFdcStatusRecordNotFound,
                 completionTime(fdc, now, searchStart + kFdcRecordNotFoundCycles));
        return;
    }
    const bool multiple = controller.command & kMultipleSectors;
    const bool continuing = controller.readUnderway;
    if (!continuing) {
        controller.readUnderway = true;
        const int32_t sectorsOnTrack =
            multiple ? fdc.connections.disk->sectors - controller.sector + 1 : 1;
        controller.sectorsLeft = std::min<int32_t>(sectorsOnTrack, fdc.dma.sectorCount);
    }
    if (writeCommandNibble(controller.command)) {
        transferSectorToDisk(fdc);
    } else {
        transferSector(fdc);
    }
    controller.sectorsLeft = std::max(controller.sectorsLeft - 1, 0);
    if (multiple && (continuing || controller.sectorsLeft >= 1)) controller.sector += 1;
    finishAt(controller, kFdcStatusMotorOn,
             completionTime(fdc, now, searchStart + kFdcSectorCycles));
    if (multiple && controller.sectorsLeft >= 1) controller.state = FdcState::Transferring;
}

// ---- Commands ----
// Each returns whether the pending event changed, so that the processor's slice must end.

using CommandHandler = bool (*)(Fdc& fdc, uint8_t command, int32_t now);

// The Restore's next look at the track-0 line, after the step pulses it has given.
void continueRestore(Fdc& fdc, int32_t now) {
    FdcController& controller = fdc.controller;
    if (trackZeroSignal(fdc)) {
        finishAt(controller, kTypeOneDone, int64_t{now} + kFdcHeadSettleCycles);
    } else if (controller.restoreSteps >= kFdcMostStepsPerCommand) {
        finishAt(controller, kTypeOneDone | kFdcStatusRecordNotFound, now);
    } else {
        controller.restoreSteps += 1;
        controller.eventTime = now + kFdcStepRateCycles[controller.command & 3];
    }
}

// Restore, Seek, Step, Step In and Step Out.
bool typeOne(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    const int nibble = command >> 4;
    const bool motorWasOn = controller.motorOn;
    controller.typeOneStatus = true;
    controller.status = kFdcStatusMotorOn | kFdcStatusBusy;

    // Restore steps out until the track-0 sensor answers: a negative register means the head is
    // there already. A Seek is counted by the register, as the chip does.
    int64_t steps = 1;
    if (nibble == 0x0) steps = std::clamp<int64_t>(controller.track, 0, kFdcMostStepsPerCommand);
    if (nibble == 0x1) steps = std::llabs(int64_t{controller.track} - controller.data);
    if (steps > 5) {
        startDriveSound(fdc, DriveClip::LongSeek);
    } else if (steps > 0) {
        startDriveSound(fdc, DriveClip::ShortStep);
    }

    const int32_t base = startMotor(fdc, command, now);
    if (!(command & kNoSpinUp) && motorWasOn) controller.status |= kFdcStatusSpinUpComplete;

    const int64_t stepRate = kFdcStepRateCycles[command & 3];
    const int64_t timedSteps = std::min<int64_t>(steps, kFdcMostStepsPerCommand);
    int64_t eventTime = base + stepRate * timedSteps + kFdcHeadSettleCycles;
    switch (nibble) {
        case 0x0:
            controller.track = 0;
            if (fdc.fastDisk) {
                const uint32_t seekError = trackZeroSignal(fdc) ? 0 : kFdcStatusRecordNotFound;
                finishAt(controller, kTypeOneDone | seekError, now + kFdcFastCompletionCycles);
            } else {
                // The first step at which the head can be on track 0; the line is looked at
                // there and at each step after it.
                controller.state = FdcState::Restoring;
                controller.restoreSteps = static_cast<int32_t>(steps);
                controller.eventTime = static_cast<int32_t>(base + stepRate * steps);
            }
            return true;
        case 0x1:
            if (controller.track != controller.data) {
                controller.stepInward = controller.track < controller.data;
            }
            controller.track = controller.data;
            break;
        default:
            // A single step, with no settle time: Step repeats the last direction.
            if (nibble >= 0x4) controller.stepInward = nibble < 0x6;
            controller.track = stepTrack(controller.track, controller.stepInward ? 1 : -1);
            eventTime = base + stepRate;
            break;
    }
    finishAt(controller, kTypeOneDone, completionTime(fdc, now, eventTime));
    return true;
}

bool readSector(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    controller.status = kTypeTwoBusy;
    controller.readUnderway = false;
    int64_t searchStart = startMotor(fdc, command, now);
    if (command & kSettleDelay) searchStart += kFdcHeadSettleCycles;
    readSectorFrom(fdc, now, searchStart);
    return true;
}

// A write finds drive A's write-protect line up: the chip refuses before anything moves, with
// an interrupt, so that the program reports the failure instead of believing its data saved. The
// first refusal of a disk whose file cannot take writes says why. False when the write may go
// on (or, with no drive selected, goes looking for a sector it never finds).
bool writeRefused(Fdc& fdc, int32_t now) {
    if (!driveASelected(fdc) || !writeProtectSignal(fdc)) return false;
    DiskImage* disk = fdc.connections.disk;
    if (diskInDriveA(fdc) && !disk->protectReason.empty() && !disk->protectReported) {
        disk->protectReported = true;
        showNotice(fdc, "Drive A is write-protected: " + disk->protectReason);
    }
    finishAt(fdc.controller, kFdcStatusMotorOn | kFdcStatusWriteProtect,
             now + kFdcFastCompletionCycles);
    return true;
}

bool writeSector(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    controller.status = kTypeTwoBusy;
    controller.readUnderway = false;
    int64_t searchStart = startMotor(fdc, command, now);
    if (command & kSettleDelay) searchStart += kFdcHeadSettleCycles;
    showActivity(fdc, "FDC WRITE SECTOR");
    if (!writeRefused(fdc, now)) readSectorFrom(fdc, now, searchStart);
    return true;
}

// ---- Write Track ----
// A formatter sends a whole revolution of raw track: gaps, then for each sector three 0xF5 (the
// chip writes the 0xA1 sync marks), the ID address mark 0xFE with track, side, sector and size
// code, 0xF7 (the chip writes the CRC), a gap, the sync again, the data mark 0xFB, the sector's
// bytes and 0xF7. The image keeps only sectors, so a track is taken when it is the layout the
// image already has; anything else could not be read back as it was written.

struct TrackSector {
    int number;
    const uint8_t* data;
};

// Finds the sectors of a raw track. Empty, with the reason, when the layout is not a standard one
// the image can hold.
std::vector<TrackSector> parseTrack(const std::vector<uint8_t>& track, int32_t trackNumber,
                                    int32_t side, std::string& why) {
    constexpr uint8_t kSync = 0xF5, kIdMark = 0xFE, kDataMark = 0xFB, kCrc = 0xF7;
    constexpr size_t kSizeCode512 = 2;
    std::vector<TrackSector> sectors;
    int pendingId = -1;  // the sector whose ID field came last, waiting for its data
    const size_t size = track.size();
    for (size_t index = 0; index < size; ++index) {
        if (track[index] != kSync) continue;
        while (index < size && track[index] == kSync) ++index;
        if (index >= size) break;
        const uint8_t mark = track[index];
        if (mark == kIdMark) {
            if (index + 5 >= size || track[index + 5] != kCrc) {
                why = "an ID field is cut short";
                return {};
            }
            if (pendingId >= 0) {
                why = "an ID field has no data";
                return {};
            }
            if (track[index + 1] != trackNumber || track[index + 2] != side ||
                track[index + 4] != kSizeCode512) {
                why = "an ID field names another track, side or sector size";
                return {};
            }
            pendingId = track[index + 3];
            index += 5;
        } else if (mark == kDataMark && pendingId >= 0) {
            const size_t first = index + 1;
            if (first + kSectorBytes >= size || track[first + kSectorBytes] != kCrc) {
                why = "a sector's data is cut short";
                return {};
            }
            // The chip turns these bytes into sync marks and CRCs, which no sector read gives back.
            for (size_t at = first; at < first + kSectorBytes; ++at) {
                if (track[at] >= kSync && track[at] <= kCrc) {
                    why = "a sector's data holds bytes the chip writes as marks";
                    return {};
                }
            }
            sectors.push_back({pendingId, track.data() + first});
            pendingId = -1;
            index = first + kSectorBytes;
        } else {
            why = "an address mark the image cannot hold";
            return {};
        }
    }
    if (pendingId >= 0) {
        why = "an ID field has no data";
        return {};
    }
    return sectors;
}

// The track under the head from RAM into the image; false, with the reason, when it is not the
// layout the image has.
bool formatTrack(Fdc& fdc, std::string& why) {
    const FdcDma& dma = fdc.dma;
    DiskImage& disk = *fdc.connections.disk;
    const int32_t track = fdc.controller.track;
    const int32_t side = fdc.connections.ym ? YmFloppySide(*fdc.connections.ym) : 0;
    if (track < 0 || track >= disk.tracks || side >= disk.sides) {
        why = "the track lies beyond the image";
        return false;
    }
    uint32_t length = 0;
    if (dma.sectorCount > 0 && !dma.disabled && dma.towardsDisk && fdc.connections.memory) {
        length = DmaLengthInRam(*fdc.connections.memory, dma.address,
                                std::min<uint32_t>(kFdcTrackBytes, dma.sectorCount * kSectorBytes));
    }
    std::vector<uint8_t> raw(length);
    const uint8_t* ram = length > 0 ? fdc.connections.memory->ramBase : nullptr;
    for (uint32_t index = 0; index < length; ++index) raw[index] = ram[(dma.address + index) ^ 1];

    std::vector<TrackSector> sectors = parseTrack(raw, track, side, why);
    if (sectors.empty()) {
        if (why.empty()) why = "no sector came";
        return false;
    }
    std::vector<bool> seen(size_t(std::max(disk.sectors, 0)) + 1, false);
    for (const TrackSector& sector : sectors) {
        if (sector.number < 1 || sector.number > disk.sectors || seen[sector.number]) {
            why = "its sectors are not numbered 1 to " + std::to_string(disk.sectors);
            return false;
        }
        seen[sector.number] = true;
    }
    if (sectors.size() != size_t(disk.sectors)) {
        why = "it holds " + std::to_string(sectors.size()) + " sectors, the image " +
              std::to_string(disk.sectors) + " a track";
        return false;
    }
    const int64_t trackStart = (int64_t{track} * disk.sides + side) * disk.sectors * kSectorBytes;
    if (trackStart < 0 ||
        uint64_t(trackStart) + uint64_t(disk.sectors) * kSectorBytes > disk.data.size()) {
        why = "the track lies beyond the image";
        return false;
    }
    for (const TrackSector& sector : sectors) {
        uint8_t* target = disk.data.data() + trackStart + (sector.number - 1) * kSectorBytes;
        for (uint32_t index = 0; index < kSectorBytes; ++index) {
            target[index ^ 1] = sector.data[index];
        }
    }
    fdc.dma.stagedAddress = dma.address + length;
    noteWrite(disk);
    return true;
}

// Write Track starts at the index pulse and writes one whole revolution.
void writeTrackFrom(Fdc& fdc, int32_t now, int64_t start) {
    FdcController& controller = fdc.controller;
    if (writeRefused(fdc, now)) return;
    if (!indexPulsesCome(fdc)) {
        waitForDrive(fdc, start);
        return;
    }
    std::string why;
    if (!formatTrack(fdc, why)) {
        // The track could not be kept as written: the program is told as it would be by a
        // protected disk, not left to believe a format that would read back otherwise.
        showNotice(fdc,
                   "Drive A: track " + std::to_string(controller.track) + " not formatted: " + why);
        finishAt(controller, kFdcStatusMotorOn | kFdcStatusWriteProtect,
                 now + kFdcFastCompletionCycles);
        return;
    }
    const int64_t firstIndex = nextIndexPulse(controller, static_cast<int32_t>(start));
    finishAt(controller, kFdcStatusMotorOn,
             completionTime(fdc, now, firstIndex + kFdcRevolutionCycles));
}

bool writeTrack(Fdc& fdc, uint8_t command, int32_t now) {
    fdc.controller.status = kTypeTwoBusy;
    const int64_t start = startMotor(fdc, command, now);
    showActivity(fdc, "FDC WRITE TRACK");
    writeTrackFrom(fdc, now, start);
    return true;
}

// No ID field or raw track data is produced: only the command's completion, once the disk
// turns under the head.
void finishSoon(Fdc& fdc, int32_t now) {
    FdcController& controller = fdc.controller;
    if (!indexPulsesCome(fdc)) {
        waitForDrive(fdc, now);
        return;
    }
    controller.status = kTypeOneDone;
    finishAt(controller, kTypeOneDone, now + kFdcFastCompletionCycles);
}

bool readAddress(Fdc& fdc, uint8_t command, int32_t now) {
    fdc.controller.status = kTypeTwoBusy;
    startMotor(fdc, command, now);
    finishSoon(fdc, now);
    return true;
}

bool readTrack(Fdc& fdc, uint8_t command, int32_t now) {
    fdc.controller.status = kTypeTwoBusy;
    startMotor(fdc, command, now);
    showActivity(fdc, "FDC READ TRACK");
    finishSoon(fdc, now);
    return true;
}

// The motor line stays up until nine revolutions have gone by without a command; the chip
// counts them by the index pulses.
void startMotorOffCount(FdcController& controller, int64_t from) {
    if (!controller.motorOn) {
        controller.state = FdcState::Idle;
        return;
    }
    controller.state = FdcState::MotorRunning;
    controller.eventTime = static_cast<int32_t>(from + kFdcMotorOffDelayCycles);
}

// The interrupt on the next index pulse, or, while none comes, once a drive gives them.
void interruptAtIndex(Fdc& fdc, int32_t now) {
    FdcController& controller = fdc.controller;
    if (!indexPulsesCome(fdc)) {
        waitForDrive(fdc, now);
        return;
    }
    finishAt(controller, controller.status, nextIndexPulse(controller, now));
}

bool forceInterrupt(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    if (controller.status & kFdcStatusBusy) {
        controller.status &= ~kFdcStatusBusy;  // the stopped command's status stays
    } else {
        controller.status = 0;
        controller.typeOneStatus = true;
    }
    if (command & kImmediateInterrupt) {
        finishAt(controller, controller.status, now);
        return true;
    }
    if (command & kIndexInterrupt) {
        interruptAtIndex(fdc, now);
        return true;
    }
    // Stops what runs with no interrupt at all. The motor's count can only come later than
    // anything the slice waits for, so the slice goes on.
    startMotorOffCount(controller, now);
    return false;
}

// A command that waited for a drive goes on from `now`, or looks again a revolution later.
void retryWithDrive(Fdc& fdc, int32_t now) {
    FdcController& controller = fdc.controller;
    switch (controller.command >> 4) {
        case 0x8:
        case 0x9:
            readSectorFrom(fdc, now, now);
            break;
        case 0xA:
        case 0xB:
            if (!writeRefused(fdc, now)) readSectorFrom(fdc, now, now);
            break;
        case 0xF:
            writeTrackFrom(fdc, now, now);
            break;
        case 0xD:
            interruptAtIndex(fdc, now);
            break;
        default:
            finishSoon(fdc, now);
            break;
    }
}

// By the command's high nibble.
constexpr std::array<CommandHandler, 16> kCommandTable = {
    typeOne,     typeOne,        typeOne,     typeOne,      // Restore, Seek, Step
    typeOne,     typeOne,        typeOne,     typeOne,      // Step In, Step Out
    readSector,  readSector,     writeSector, writeSector,  // Read / Write Sector
    readAddress, forceInterrupt, readTrack,   writeTrack,   // Type III, Force Interrupt
};

// ---- Registers ----

uint16_t selectedRegisterValue(const Fdc& fdc, int32_t now) {
    const FdcController& controller = fdc.controller;
    switch (fdc.dma.selectedRegister) {
        case FdcRegister::CommandStatus:
            return static_cast<uint16_t>(FdcStatus(fdc, now));
        case FdcRegister::Track:
            return static_cast<uint16_t>(controller.track);
        case FdcRegister::Sector:
            return static_cast<uint16_t>(controller.sector);
        case FdcRegister::Data:
            return static_cast<uint16_t>(controller.data);
        case FdcRegister::SectorCount:
            return fdc.dma.sectorCount;
    }
    return 0xFFFF;
}

void writeSelectedRegister(Fdc& fdc, CpuState& cpu, uint16_t value, int32_t now) {
    FdcDma& dma = fdc.dma;
    if (dma.hardDiskSelected) {
        // No hard disk answers: the DMA's buffer is left cleared.
        if (fdc.connections.memory) {
            DmaClearRam(*fdc.connections.memory, dma.address,
                        uint64_t{dma.sectorCount} * kSectorBytes);
        }
        return;
    }
    FdcController& controller = fdc.controller;
    switch (dma.selectedRegister) {
        case FdcRegister::CommandStatus:
            FdcCommand(fdc, cpu, static_cast<uint8_t>(value), now);
            break;
        case FdcRegister::Track:  // the chip's registers are 8 bits wide
            controller.track = value & 0xFF;
            break;
        case FdcRegister::Sector:
            controller.sector = value & 0xFF;
            break;
        case FdcRegister::Data:
            controller.data = value;
            break;
        case FdcRegister::SectorCount:
            dma.sectorCount = value;
            break;
    }
}

void writeDmaMode(FdcDma& dma, uint16_t mode) {
    dma.disabled = mode & kModeDisabled;
    dma.towardsDisk = mode & kModeTowardsDisk;
    dma.hardDiskSelected = !((mode & kModeFloppySide) && !(mode & kModeHardDiskRegisters));
    dma.selectedRegister = (mode & kModeSectorCount) ? FdcRegister::SectorCount
                                                     : static_cast<FdcRegister>((mode >> 1) & 3);
}

// The shift of an address byte's register inside the 24-bit counter, or -1.
int dmaAddressShift(uint32_t offset) {
    switch (offset) {
        case kDmaAddressHighOffset:
            return 16;
        case kDmaAddressMiddleOffset:
            return 8;
        case kDmaAddressLowOffset:
            return 0;
        default:
            return -1;
    }
}

// A program that sets the counter starts a new transfer: an advance still owed to the previous
// one must not overwrite it.
void writeDmaAddressByte(FdcDma& dma, int shift, uint8_t value) {
    dma.address = (dma.address & ~(0xFFu << shift)) | uint32_t{value} << shift;
    dma.stagedAddress = kFdcNoStagedAddress;
}

}  // namespace

void FdcConnect(Fdc& fdc, MachineMemory* memory, Mfp* mfp, Ym2149* ym, DiskImage* disk,
                StatusMessages* statusMessages, DriveSoundPlayer* driveSounds) {
    fdc.connections = FdcConnections{memory, mfp, ym, disk, statusMessages, driveSounds};
}

bool FdcHasRegister(uint32_t address) {
    const uint32_t address24 = address & 0xFFFFFF;
    return address24 >= kFdcBlockFirst && address24 <= kFdcBlockLast;
}

// The DMA address registers sit at odd addresses, the low byte of their words: a word access
// reaches the register through its low half, and the high half floats high.
uint8_t FdcReadByte(Fdc& fdc, CpuState&, uint32_t address, int32_t) {
    const int shift = dmaAddressShift(address & 0xFF);
    return shift < 0 ? 0xFF : static_cast<uint8_t>(fdc.dma.address >> shift);
}

uint16_t FdcReadWord(Fdc& fdc, CpuState& cpu, uint32_t address, int32_t cycleTime) {
    const uint32_t offset = address & 0xFE;
    if (offset == kDataAccessOffset) return selectedRegisterValue(fdc, cycleTime);
    if (offset == kDmaModeOffset) return 0xFFFF;  // the DMA status: never an error
    return 0xFF00 | FdcReadByte(fdc, cpu, address | 1, cycleTime);
}

void FdcWriteByte(Fdc& fdc, CpuState&, uint32_t address, uint8_t value, int32_t) {
    const int shift = dmaAddressShift(address & 0xFF);
    if (shift >= 0) writeDmaAddressByte(fdc.dma, shift, value);
}

void FdcWriteWord(Fdc& fdc, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime) {
    const uint32_t offset = address & 0xFE;
    if (offset == kDataAccessOffset) {
        writeSelectedRegister(fdc, cpu, value, cycleTime);
    } else if (offset == kDmaModeOffset) {
        writeDmaMode(fdc.dma, value);
    } else {
        FdcWriteByte(fdc, cpu, address | 1, static_cast<uint8_t>(value), cycleTime);
    }
}

uint32_t FdcStatus(const Fdc& fdc, int32_t now) {
    const FdcController& controller = fdc.controller;
    uint32_t status = controller.status & ~kFdcStatusMotorOn;
    if (controller.motorOn) status |= kFdcStatusMotorOn;
    if (!controller.typeOneStatus) return status;
    status &= ~kDriveLineBits;
    if (writeProtectSignal(fdc)) status |= kFdcStatusWriteProtect;
    if (trackZeroSignal(fdc)) status |= kFdcStatusTrackZero;
    if (indexSignal(fdc, now)) status |= kFdcStatusIndex;
    return status;
}

// Loading a command takes back the chip's interrupt request.
void FdcCommand(Fdc& fdc, CpuState& cpu, uint8_t command, int32_t now) {
    const int nibble = command >> 4;
    FdcController& controller = fdc.controller;
    if ((controller.status & kFdcStatusBusy) && nibble != kForceInterruptNibble) return;
    setInterruptLine(fdc, true);
    controller.command = command;
    if (nibble != kForceInterruptNibble) controller.typeOneStatus = nibble < 0x8;
    if (kCommandTable[nibble](fdc, command, now)) CpuEndSlice(cpu);
}

int32_t FdcEventTime(const Fdc& fdc) {
    return fdc.controller.state == FdcState::Idle ? kFdcNoEvent : fdc.controller.eventTime;
}

bool FdcFireEvent(Fdc& fdc, CpuState&, int32_t now) {
    FdcController& controller = fdc.controller;
    while (controller.state != FdcState::Idle && now >= controller.eventTime) {
        if (fdc.dma.stagedAddress != kFdcNoStagedAddress) {
            fdc.dma.address = fdc.dma.stagedAddress;
            fdc.dma.stagedAddress = kFdcNoStagedAddress;
        }
        const int32_t eventTime = controller.eventTime;
        switch (controller.state) {
            case FdcState::Finishing:
                controller.status = controller.finalStatus;
                startMotorOffCount(controller, now);
                setInterruptLine(fdc, false);
                return true;
            case FdcState::Transferring:
                ContinueSectorRead(fdc, eventTime);
                break;
            case FdcState::Restoring:
                continueRestore(fdc, eventTime);
                break;
            case FdcState::WaitingForDrive:
                silenceUnheardDrive(fdc);
                retryWithDrive(fdc, eventTime);
                break;
            case FdcState::MotorRunning:
                if (!indexPulsesCome(fdc)) {  // no revolutions to count
                    silenceUnheardDrive(fdc);
                    controller.eventTime = eventTime + kFdcRevolutionCycles;
                    break;
                }
                stopDriveSound(fdc);
                controller.state = FdcState::Idle;
                controller.motorOn = false;
                controller.status = 0;
                break;
            case FdcState::Idle:
                break;
        }
    }
    return false;
}

void ContinueSectorRead(Fdc& fdc, int32_t eventTime) {
    setInterruptLine(fdc, true);
    fdc.controller.status = kTypeTwoBusy;
    readSectorFrom(fdc, eventTime, eventTime);
}

void FdcRebase(Fdc& fdc, int32_t frameCycles) {
    FdcController& controller = fdc.controller;
    if (controller.state != FdcState::Idle) controller.eventTime -= frameCycles;
    // Only the angle matters: whole revolutions are dropped so that the origin never runs away.
    controller.rotationOrigin = static_cast<int32_t>(
        (int64_t{controller.rotationOrigin} - frameCycles) % kFdcRevolutionCycles);
}

void FdcSaveIdleDisk(Fdc& fdc) {
    DiskImage* disk = fdc.connections.disk;
    if (!disk || !disk->dirty) return;
    if (disk->framesSinceWrite < kFdcIdleSaveFrames) disk->framesSinceWrite += 1;
    if (disk->framesSinceWrite < kFdcIdleSaveFrames) return;
    if (fdc.controller.status & kFdcStatusBusy) return;
    const std::string before = disk->saveError;
    std::string error;
    if (SaveDiskImage(*disk, &error)) return;
    disk->framesSinceWrite = 0;  // tried again a second later
    if (error != before) showNotice(fdc, "Drive A's disk was not saved: " + error);
}

}  // namespace orvet
