// The WD1772 floppy disk controller and the DMA chip in front of it (I/O page 0xFF8600).
//
// The drive is modelled by events, not bit by bit: a command does its work when it is written (a
// Read Sector copies the sector into RAM at once) and only its completion waits. The controller
// works out the cycle at which the command finishes from a simple mechanical model (motor
// spin-up, step rate, head settle, one revolution's share per sector) and the frame loop fires
// that event: the status takes its final value, the interrupt line drops and, in a multi-sector
// read, the next sector is fetched. With FastDisk every completion comes 1,024 cycles after its
// command instead.
//
// The drive. Port A of the sound chip selects the drive (bit 1 drive A, bit 2 drive B, active
// low) and the side (bit 0 low: side 1). The machine has one drive, drive A: drive B's select
// line goes nowhere, and with no drive selected nothing answers on the lines back to the chip.
// What a drive gives the chip:
//   - the track-0 signal, while drive A is selected and its head is on track 0 (a track register
//     of 0 or below: the head cannot step out past the stop);
//   - the write-protect signal, while drive A is selected and empty (a 3.5" drive reports an
//     empty slot as protected), holds a disk whose file cannot take it back (a zip member, a
//     read-only file), or while the WriteProtect setting protects every disk;
//   - index pulses, once a revolution, while drive A is selected, holds a disk and its motor
//     turns. The chip counts time by them: without them no sector is ever found, no search ever
//     gives up, and the motor, which stops after nine idle revolutions, never stops.
// The select is sampled when it matters: at the command, at each step of a Restore looking for
// track 0, at each sector of a read, at each revolution while the chip waits for index pulses,
// and when the status register is read. The spin-up wait (six revolutions, command bit 3 clear
// with the motor off) is timed, whether or not a drive answers. The drive's noises play only for
// drive A with a disk in it.
//
// What each command does (A: drive A with a disk; empty: drive A selected, no disk; none: drive
// B or no drive selected). Every command but Force Interrupt turns the motor on and, as any
// command written, takes back the interrupt request; INTRQ below is the request that ends the
// command. The verify flag of the Type I commands is not acted on: no ID field is read after
// the steps.
//   Restore          A, empty: steps out to track 0, INTRQ. none: no track-0 signal answers, so
//                    it gives up after 255 steps: seek error, track register 0, INTRQ.
//   Seek, Step       any: the step pulses go out and the track register follows, INTRQ.
//   Read Sector      A: the sector, or record not found after four revolutions, INTRQ.
//                    empty, none: no index pulse: busy until Force Interrupt, no INTRQ.
//   Read Address,    A: completion only (no data), INTRQ. empty, none: as Read Sector.
//   Read Track
//   Write Sector     A: the sector from RAM into the image, or record not found, INTRQ; a
//                    protected disk or empty: refused as write-protected, INTRQ.
//   Write Track      A: a whole standard track (the image's sectors per track, 512 bytes
//                    each, numbered from 1, ID fields naming this track and side) goes into
//                    the image, INTRQ one revolution after the next index pulse; any other
//                    layout, or a protected disk or empty: refused as write-protected, INTRQ.
//   Write Sector,    none: no write-protect signal, no index pulse: busy until Force Interrupt.
//   Write Track
//   Force Interrupt  stops whatever runs; its status stays, without busy (with nothing running
//                    the status becomes a Type I status). Plain (0xD0): no INTRQ. Immediate
//                    (bit 3): INTRQ at once. Index (bit 2 alone): INTRQ at the next index pulse,
//                    so never while none comes.
// The status register (a Type I status follows Restore, Seek, Step and a Force Interrupt that
// found nothing running; the others leave a Type II status):
//   bit 7 motor on     the chip's motor line: set by every command but Force Interrupt, cleared
//                      nine revolutions of index pulses after the last command ends.
//   bit 6 protected    Type I: the write-protect signal, as it is when read (empty: set).
//                      Type II: set by a refused write.
//   bit 5 spin-up      Type I: set at the end of the command.
//   bit 4 not found    Type I: seek error of a Restore that found no track 0. Type II: record
//                      not found.
//   bit 2 track 0      Type I: the track-0 signal, as it is when read.
//   bit 1 index        Type I: the index pulse, as it is when read: with a disk turning in drive
//                      A, set for kFdcIndexPulseCycles of every revolution; otherwise never.
//   bit 0 busy         from the command until its end, or until Force Interrupt.
//
// Registers, block 0xFF8600-0xFF860F (word accesses unless stated):
//   0xFF8604  read: the register the DMA mode selects (status, track, sector, data, sector
//             count); write: that register, a command when the command register is selected.
//             With the hard-disk side selected a write clears sector count x 512 bytes of RAM
//             from the DMA address instead (the ACSI bus is not emulated).
//   0xFF8606  read: 0xFFFF (the DMA status: no error); write: the DMA mode.
//   0xFF8609/B/D (bytes)  the DMA address, high, middle and low byte; a word access to
//             0xFF8608/A/C reaches them through its low half, and its high half reads all ones.
//   Anything else in the block, and byte accesses to 0xFF8604-0xFF8607, read all ones and
//   ignore writes.
//
// What the machine calls:
//   - Start-up: FdcConnect once, with the chips the controller reaches.
//   - I/O layer, page 0xFF8600 (no wait states): FdcReadByte/FdcReadWord/FdcWriteByte/
//     FdcWriteWord for addresses kFdcBlockFirst-kFdcBlockLast. Commands end the processor's
//     slice so that the frame loop sees the new event time before the next instruction.
//   - Frame loop: when cycleCounter >= FdcEventTime(fdc), call FdcFireEvent; when it returns
//     true the controller has just lowered its interrupt line (GPIP bit 5, already done here):
//     raise MFP channel 7 (MfpRequestInterrupt). FdcEventTime also limits the slice. At the frame
//     end call FdcRebase.
//   - The I/O reset leaves the controller alone: a command in progress still completes.
//   - Frame end: FdcSaveIdleDisk, which brings a written disk's file up to date once the drive
//     has been idle for a second.
//   - Debugger: FdcStatus, the status register as a read would give it now.
//
// Writes change the DiskImage at once (a program reads back what it wrote) and mark it dirty;
// the file follows at FdcSaveIdleDisk, at eject and at the program's end (SaveDiskImage).
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace orvet {

struct CpuState;
struct DiskImage;
struct DriveSoundPlayer;
struct MachineMemory;
struct Mfp;
struct StatusMessages;
struct Ym2149;

constexpr uint32_t kFdcBlockFirst = 0xFF8600;
constexpr uint32_t kFdcBlockLast = 0xFF860F;

// FdcEventTime while nothing is pending.
constexpr int32_t kFdcNoEvent = std::numeric_limits<int32_t>::max();

// ---- Drive timing, in processor cycles ----
constexpr int32_t kFdcSpinUpCycles = 9'600'000;  // six revolutions at 300 rpm
constexpr int32_t kFdcHeadSettleCycles = 120'000;
constexpr int32_t kFdcSectorCycles = 160'000;            // a tenth of a revolution
constexpr int32_t kFdcRecordNotFoundCycles = 6'400'000;  // four revolutions without the sector
constexpr int32_t kFdcMotorOffDelayCycles = 14'400'000;  // 9 idle revolutions, then the motor stops
constexpr int32_t kFdcRevolutionCycles = 1'600'000;      // 300 rpm
constexpr int32_t kFdcIndexPulseCycles = 32'000;         // the index sensor's 4 ms pulse
constexpr int32_t kFdcFastCompletionCycles = 1'024;
// What one revolution holds at 250 kbit/s: the most a Write Track takes from the DMA.
constexpr uint32_t kFdcTrackBytes = 6'250;
// Machine frames (a second at 50 Hz) the drive must stay idle after a write before the file is
// brought up to date: a program writing many sectors is saved once, not once a sector.
constexpr int32_t kFdcIdleSaveFrames = 50;
// How long the status lines about protection and saving stay, in host milliseconds.
constexpr int32_t kFdcNoticeMilliseconds = 5'000;
// Cycles per step by command bits 0-1: 6, 12, 2 and 3 ms.
constexpr std::array<int32_t, 4> kFdcStepRateCycles = {48'000, 96'000, 16'000, 24'000};
// The chip's step counter is 8 bits wide, so no single command moves the head further.
constexpr int32_t kFdcMostStepsPerCommand = 255;

// ---- Status register bits ----
constexpr uint32_t kFdcStatusBusy = 0x01;
constexpr uint32_t kFdcStatusIndex = 0x02;           // Type I commands
constexpr uint32_t kFdcStatusTrackZero = 0x04;       // Type I commands
constexpr uint32_t kFdcStatusRecordNotFound = 0x10;  // also the seek error of Type I commands
constexpr uint32_t kFdcStatusSpinUpComplete = 0x20;  // Type I commands
constexpr uint32_t kFdcStatusWriteProtect = 0x40;
constexpr uint32_t kFdcStatusMotorOn = 0x80;

// A staged DMA address of this value: none pending.
constexpr uint32_t kFdcNoStagedAddress = 0xFFFFFFFF;

enum class FdcState : uint8_t {
    Idle = 0,
    Finishing = 1,     // a command's completion is pending
    MotorRunning = 2,  // done; the motor stops when the event fires
    Transferring = 3,  // a multi-sector read: the event fetches the next sector
    // The command waits for a drive to answer (index pulses, or drive A's write-protect line for
    // a write); the event looks again one revolution later.
    WaitingForDrive = 4,
    // A Restore stepping out: the event is the next step at which the track-0 signal may answer.
    Restoring = 5,
};

// What the DMA mode register selects at 0xFF8604.
enum class FdcRegister : uint8_t {
    CommandStatus = 0,
    Track = 1,
    Sector = 2,
    Data = 3,
    SectorCount = 4,
};

struct FdcController {
    uint32_t status = 0;
    // The track register, which also stands for the head's position: the model keeps no
    // separate one. Step Out below track 0 makes it negative.
    int32_t track = 0;
    int32_t sector = 0;
    int32_t data = 0;          // the Seek target
    uint32_t finalStatus = 0;  // what the status becomes when the pending event fires
    // The status shows the drive's lines as they are when it is read (track 0, index, write
    // protect): after Restore, Seek, Step, and a Force Interrupt that found the chip idle.
    bool typeOneStatus = false;
    uint8_t command = 0;    // the last command accepted
    int32_t eventTime = 0;  // frame-relative cycle of the pending event
    FdcState state = FdcState::Idle;
    bool motorOn = false;  // the chip's motor line: on from a command until the motor stops
    // Frame-relative cycle of an index pulse, which gives the disk's angle; kept within a
    // revolution of the frame start.
    int32_t rotationOrigin = 0;
    bool stepInward = false;    // the direction a plain Step repeats: towards higher tracks
    int32_t sectorsLeft = 0;    // sectors still to come in the current read
    bool readUnderway = false;  // the read's first sector was found; sectorsLeft counts the rest
    int32_t restoreSteps = 0;   // step pulses a Restore has given
};

struct FdcDma {
    uint32_t address = 0;  // 24 bits
    // The address the DMA counter shows once the pending event fires: the transfer is made at
    // command time, but a program watching the counter must see it move when the sector is due.
    uint32_t stagedAddress = kFdcNoStagedAddress;
    uint16_t sectorCount = 0;       // as written; the model never counts it down
    bool towardsDisk = false;       // mode bit 8
    bool disabled = false;          // mode bit 6
    bool hardDiskSelected = false;  // anything but mode bit 7 set with bit 3 clear
    FdcRegister selectedRegister = FdcRegister::CommandStatus;
};

// The chips and the medium the controller reaches. Any of them may be missing (a test's bare
// controller): no RAM means no transfers, no disk image an empty drive.
struct FdcConnections {
    MachineMemory* memory = nullptr;
    Mfp* mfp = nullptr;
    Ym2149* ym = nullptr;  // port A: the drive and side select; without it drive A, side 0
    DiskImage* disk = nullptr;
    StatusMessages* statusMessages = nullptr;
    DriveSoundPlayer* driveSounds = nullptr;
};

struct Fdc {
    FdcController controller;
    FdcDma dma;
    bool fastDisk = false;  // the FastDisk setting ("Ultra Fast" drive speed)
    bool writeProtect = false;  // the WriteProtect setting: every disk is write-protected
    FdcConnections connections;
};

void FdcConnect(Fdc& fdc, MachineMemory* memory, Mfp* mfp, Ym2149* ym, DiskImage* disk,
                StatusMessages* statusMessages, DriveSoundPlayer* driveSounds);

// ---- Register block ----
// The status register as a read at `now` gives it, the drive's lines included.
uint32_t FdcStatus(const Fdc& fdc, int32_t now);
bool FdcHasRegister(uint32_t address);
uint8_t FdcReadByte(Fdc& fdc, CpuState& cpu, uint32_t address, int32_t cycleTime);
uint16_t FdcReadWord(Fdc& fdc, CpuState& cpu, uint32_t address, int32_t cycleTime);
void FdcWriteByte(Fdc& fdc, CpuState& cpu, uint32_t address, uint8_t value, int32_t cycleTime);
void FdcWriteWord(Fdc& fdc, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime);

// A command byte as written to the command register at `now`; ignored while the controller is
// busy, except Force Interrupt.
void FdcCommand(Fdc& fdc, CpuState& cpu, uint8_t command, int32_t now);

// ---- Frame loop ----
int32_t FdcEventTime(const Fdc& fdc);
// Fires the pending events due at `now`. True when a command has just finished: the controller's
// line on GPIP bit 5 is low and MFP channel 7 must be raised.
bool FdcFireEvent(Fdc& fdc, CpuState& cpu, int32_t now);
// The next sector of a multi-sector read, due at `eventTime` (the event's own time, so that the
// sectors keep the disk's cadence whenever the frame loop gets round to them).
void ContinueSectorRead(Fdc& fdc, int32_t eventTime);
// The frame end: the pending event and the disk's angle move back by one frame.
void FdcRebase(Fdc& fdc, int32_t frameCycles);
// Once a frame, at its end: a disk written to is saved when kFdcIdleSaveFrames frames have
// passed since its last write and no command is in progress. A failed save is told on a status
// line and tried again a second later.
void FdcSaveIdleDisk(Fdc& fdc);

}  // namespace orvet
