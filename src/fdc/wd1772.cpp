#include "fdc/wd1772.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

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
constexpr uint8_t kNoSpinUp = 0x08;             // Type I and II: the motor is taken as up to speed
constexpr uint8_t kSettleDelay = 0x04;          // Type II: wait for the head to settle first
constexpr uint8_t kMultipleSectors = 0x10;      // Type II: read on to the end of the track
constexpr uint8_t kInterruptConditions = 0x0C;  // Force Interrupt: index pulse, immediate
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

uint32_t trackZeroBit(int32_t track) {
    return track == 0 ? kFdcStatusTrackZero : 0;
}

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

void startDriveSound(Fdc& fdc, DriveClip clip) {
    if (fdc.connections.driveSounds) StartDriveSound(*fdc.connections.driveSounds, clip);
}

void showActivity(Fdc& fdc, const char* text) {
    if (fdc.connections.statusMessages) {
        SetStatusMessageText(*fdc.connections.statusMessages, 0, text);
    }
}

int32_t completionTime(const Fdc& fdc, int32_t now, int64_t mechanicalTime) {
    return fdc.fastDisk ? now + kFdcFastCompletionCycles : static_cast<int32_t>(mechanicalTime);
}

// Every command raises the motor line. With bit 3 clear and the motor off, the chip then lets six
// revolutions pass for it to reach speed; bit 3 says the program knows it is turning already.
// Returns when the command goes on.
int32_t startMotor(Fdc& fdc, uint8_t command, int32_t now) {
    if (fdc.controller.motorOn) return now;
    fdc.controller.motorOn = true;
    startDriveSound(fdc, DriveClip::SpinUp);
    return (command & kNoSpinUp) ? now : now + kFdcSpinUpCycles;
}

// ---- The medium ----

// The drive has only the one image, whatever drive the port selects. The track register stands
// for the head position, so a track beyond the image's last reads the last track, and a negative
// register (Step Out past track 0) never matches a sector's ID field: record not found.
bool sectorExists(const Fdc& fdc) {
    const DiskImage* disk = fdc.connections.disk;
    const FdcController& controller = fdc.controller;
    return disk && controller.track >= 0 && controller.sector >= 1 &&
           controller.sector <= disk->sectors;
}

// The image's bytes of the current sector, or nullptr when the drive is empty or the image is
// shorter than its geometry says.
const uint8_t* sectorInImage(const Fdc& fdc) {
    const DiskImage* disk = fdc.connections.disk;
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

void recordNotFound(Fdc& fdc, int32_t now, int64_t searchStart) {
    FdcController& controller = fdc.controller;
    controller.finalStatus = kFdcStatusMotorOn | kFdcStatusRecordNotFound;
    controller.state = FdcState::Finishing;
    controller.eventTime = completionTime(fdc, now, searchStart + kFdcRecordNotFoundCycles);
}

// ---- Commands ----
// Each returns whether the pending event changed, so that the processor's slice must end.

using CommandHandler = bool (*)(Fdc& fdc, uint8_t command, int32_t now);

// Restore, Seek, Step, Step In and Step Out.
bool typeOne(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    const int nibble = command >> 4;
    setInterruptLine(fdc, true);
    const bool motorWasOn = controller.motorOn;
    controller.status = kFdcStatusMotorOn | kFdcStatusBusy | trackZeroBit(controller.track);

    // Restore steps out until the track-0 sensor answers: a negative register means the head is
    // there already. A Seek is counted by the register, as the chip does.
    int64_t steps = 1;
    if (nibble == 0x0) steps = std::max(controller.track, 0);
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
            break;
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
    controller.finalStatus = kTypeOneDone | trackZeroBit(controller.track);
    controller.state = FdcState::Finishing;
    controller.eventTime = completionTime(fdc, now, eventTime);
    return true;
}

bool readSector(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    setInterruptLine(fdc, true);
    controller.status = kTypeTwoBusy;
    int64_t eventTime = startMotor(fdc, command, now);
    if (command & kSettleDelay) eventTime += kFdcHeadSettleCycles;
    if (!sectorExists(fdc)) {
        recordNotFound(fdc, now, eventTime);
        return true;
    }
    const bool multiple = command & kMultipleSectors;
    const int32_t sectorsOnTrack =
        multiple ? fdc.connections.disk->sectors - controller.sector + 1 : 1;
    controller.sectorsLeft = std::min<int32_t>(sectorsOnTrack, fdc.dma.sectorCount);
    transferSector(fdc);
    controller.sectorsLeft = std::max(controller.sectorsLeft - 1, 0);
    controller.finalStatus = kFdcStatusMotorOn;
    if (multiple && controller.sectorsLeft >= 1) {
        controller.state = FdcState::Transferring;
        controller.sector += 1;
    } else {
        controller.state = FdcState::Finishing;
    }
    controller.eventTime = completionTime(fdc, now, eventTime + kFdcSectorCycles);
    return true;
}

// The disk is never written. The chip answers as it does for a write-protected disk, with an
// interrupt, so that the program reports the failure instead of believing its data was saved.
bool refuseWrite(Fdc& fdc, const char* activity, int32_t now) {
    FdcController& controller = fdc.controller;
    controller.status = kTypeTwoBusy;
    controller.finalStatus = kFdcStatusMotorOn | kFdcStatusWriteProtect;
    controller.state = FdcState::Finishing;
    controller.eventTime = now + kFdcFastCompletionCycles;
    showActivity(fdc, activity);
    return true;
}

bool writeSector(Fdc& fdc, uint8_t, int32_t now) {
    setInterruptLine(fdc, true);
    return refuseWrite(fdc, "FDC WRITE SECTOR", now);
}

bool writeTrack(Fdc& fdc, uint8_t, int32_t now) {
    return refuseWrite(fdc, "FDC WRITE TRACK", now);
}

// No ID field or raw track data is produced: only the command's completion.
bool finishSoon(Fdc& fdc, int32_t now) {
    FdcController& controller = fdc.controller;
    controller.state = FdcState::Finishing;
    controller.status = controller.finalStatus = kTypeOneDone;
    controller.eventTime = now + kFdcFastCompletionCycles;
    return true;
}

bool readAddress(Fdc& fdc, uint8_t, int32_t now) {
    return finishSoon(fdc, now);
}

bool readTrack(Fdc& fdc, uint8_t, int32_t now) {
    showActivity(fdc, "FDC READ TRACK");
    return finishSoon(fdc, now);
}

bool forceInterrupt(Fdc& fdc, uint8_t command, int32_t now) {
    FdcController& controller = fdc.controller;
    if ((command & kInterruptConditions) == 0) {
        // Terminates what runs without asking for an interrupt; the line still drops, so a
        // program polling GPIP sees the chip done. The motor winds down as after any command.
        setInterruptLine(fdc, false);
        controller.status = kTypeOneDone;
        controller.state = FdcState::MotorRunning;
        controller.eventTime = now + kFdcMotorOffDelayCycles;
        return false;
    }
    controller.state = FdcState::Finishing;
    controller.finalStatus = kTypeOneDone;
    controller.eventTime = now;
    return true;
}

// By the command's high nibble.
constexpr std::array<CommandHandler, 16> kCommandTable = {
    typeOne,     typeOne,        typeOne,     typeOne,      // Restore, Seek, Step
    typeOne,     typeOne,        typeOne,     typeOne,      // Step In, Step Out
    readSector,  readSector,     writeSector, writeSector,  // Read / Write Sector
    readAddress, forceInterrupt, readTrack,   writeTrack,   // Type III, Force Interrupt
};

// ---- Registers ----

uint16_t selectedRegisterValue(const Fdc& fdc) {
    const FdcController& controller = fdc.controller;
    switch (fdc.dma.selectedRegister) {
        case FdcRegister::CommandStatus:
            return static_cast<uint16_t>(controller.status);
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
    if (offset == kDataAccessOffset) return selectedRegisterValue(fdc);
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

void FdcCommand(Fdc& fdc, CpuState& cpu, uint8_t command, int32_t now) {
    const int nibble = command >> 4;
    if ((fdc.controller.status & kFdcStatusBusy) && nibble != kForceInterruptNibble) return;
    if (kCommandTable[nibble](fdc, command, now)) CpuEndSlice(cpu);
}

int32_t FdcEventTime(const Fdc& fdc) {
    return fdc.controller.state == FdcState::Idle ? kFdcNoEvent : fdc.controller.eventTime;
}

bool FdcFireEvent(Fdc& fdc, CpuState&, int32_t now) {
    FdcController& controller = fdc.controller;
    if (controller.state == FdcState::Idle || now < controller.eventTime) return false;
    if (fdc.dma.stagedAddress != kFdcNoStagedAddress) {
        fdc.dma.address = fdc.dma.stagedAddress;
        fdc.dma.stagedAddress = kFdcNoStagedAddress;
    }
    switch (controller.state) {
        case FdcState::Finishing:
            controller.status = controller.finalStatus;
            controller.eventTime = now + kFdcMotorOffDelayCycles;
            controller.state = FdcState::MotorRunning;
            setInterruptLine(fdc, false);
            return true;
        case FdcState::Transferring:
            ContinueSectorRead(fdc, controller.eventTime);
            return false;
        case FdcState::MotorRunning:
            if (fdc.connections.driveSounds) StopDriveMotorSound(*fdc.connections.driveSounds);
            controller.state = FdcState::Idle;
            controller.motorOn = false;
            controller.status = 0;
            return false;
        case FdcState::Idle:
            break;
    }
    return false;
}

void ContinueSectorRead(Fdc& fdc, int32_t eventTime) {
    FdcController& controller = fdc.controller;
    setInterruptLine(fdc, true);
    controller.status = kTypeTwoBusy;
    if (!sectorExists(fdc)) {
        recordNotFound(fdc, eventTime, eventTime);
        return;
    }
    transferSector(fdc);
    controller.eventTime = completionTime(fdc, eventTime, int64_t{eventTime} + kFdcSectorCycles);
    controller.finalStatus = kFdcStatusMotorOn;
    controller.sector += 1;
    controller.sectorsLeft = std::max(controller.sectorsLeft - 1, 0);
    controller.state = controller.sectorsLeft >= 1 ? FdcState::Transferring : FdcState::Finishing;
}

void FdcRebase(Fdc& fdc, int32_t frameCycles) {
    if (fdc.controller.state != FdcState::Idle) fdc.controller.eventTime -= frameCycles;
}

}  // namespace orvet
