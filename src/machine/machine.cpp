#include "machine/machine.h"

#include <algorithm>

#include "machine/builtin_rom.h"

namespace orvet {
namespace {

static_assert(kDmaSoundFrameCycles == kFrameCycles, "the DMA sound is made for the frame's length");

// The shifter starts each line a few cycles late or early against the processor, in a pattern
// that repeats every 33 lines.
constexpr int32_t kLineJitter[33] = {0, 0, 0, 0, 4, 0, 4, 0, 0, 4, 0, 4, 0, 4, 0, 0, 4,
                                     0, 4, 0, 4, 0, 0, 4, 0, 4, 0, 4, 0, 0, 4, 0, 4};

int32_t lineJitter(const FrameState& frame) {
    return kLineJitter[(frame.frameNumber - frame.lineNumber) % 33];
}

// ---- I/O pages ----

// A page whose four handlers forward to a chip's register functions.
template <typename Chip, auto ReadByte, auto ReadWord, auto WriteByte, auto WriteWord>
IoPage chipPage(Chip& chip, uint8_t firstOffset, uint8_t lastOffset, IoWaitRule wait) {
    IoPage page;
    page.readByte = [](void* device, CpuState& cpu, uint32_t address, int32_t time) -> uint8_t {
        return ReadByte(*static_cast<Chip*>(device), cpu, address, time);
    };
    page.readWord = [](void* device, CpuState& cpu, uint32_t address, int32_t time) -> uint16_t {
        return ReadWord(*static_cast<Chip*>(device), cpu, address, time);
    };
    page.writeByte = [](void* device, CpuState& cpu, uint32_t address, uint8_t value,
                        int32_t time) {
        WriteByte(*static_cast<Chip*>(device), cpu, address, value, time);
    };
    page.writeWord = [](void* device, CpuState& cpu, uint32_t address, uint16_t value,
                        int32_t time) {
        WriteWord(*static_cast<Chip*>(device), cpu, address, value, time);
    };
    page.device = &chip;
    page.firstOffset = firstOffset;
    page.lastOffset = lastOffset;
    page.wait = wait;
    return page;
}

// A machine-driven GPIP line changed inside a processor slice: its active edge leaves the
// line's channel pending, for the frame loop to deliver before the next instruction.
void driveGpipInSlice(Machine& machine, CpuState& cpu, int bit, bool high) {
    if (MfpDriveGpipLine(machine.mfp, bit, high)) {
        MfpLatchRequest(machine.mfp, MfpGpipChannel(bit));
        CpuEndSlice(cpu);
    }
}

// The keyboard ACIA's interrupt request line is wired to MFP GPIP bit 4, active low: reading the
// data register releases it, and enabling receive interrupts with a byte waiting raises it.
void mirrorAciaLine(Machine& machine, CpuState& cpu) {
    driveGpipInSlice(machine, cpu, kMfpGpipKeyboardAcia, !IkbdInterruptLineActive(machine.ikbd));
}
uint8_t aciaReadByte(Machine& machine, CpuState& cpu, uint32_t address, int32_t time) {
    uint8_t value = IkbdReadByte(machine.ikbd, cpu, address, time);
    mirrorAciaLine(machine, cpu);
    return value;
}
uint16_t aciaReadWord(Machine& machine, CpuState& cpu, uint32_t address, int32_t time) {
    uint16_t value = IkbdReadWord(machine.ikbd, cpu, address, time);
    mirrorAciaLine(machine, cpu);
    return value;
}
void aciaWriteByte(Machine& machine, CpuState& cpu, uint32_t address, uint8_t value, int32_t time) {
    IkbdWriteByte(machine.ikbd, cpu, address, value, time);
    mirrorAciaLine(machine, cpu);
}
void aciaWriteWord(Machine& machine, CpuState& cpu, uint32_t address, uint16_t value,
                   int32_t time) {
    IkbdWriteWord(machine.ikbd, cpu, address, value, time);
    mirrorAciaLine(machine, cpu);
}

// GPIP 7 is the monitor detect, 1 for the colour monitor; on the STE the DMA sound's active line
// is XORed into it.
bool monitorDetectLine(const Machine& machine) {
    return !(machine.steMode && DmaSoundActive(machine.sound.dmaSound));
}

// Every access may have run the DMA sound on past a frame end: its pulse for Timer A waits for
// the frame loop, and a start or a stop moves GPIP 7.
void afterDmaSoundAccess(Machine& machine, CpuState& cpu) {
    driveGpipInSlice(machine, cpu, kMfpGpipMonochromeDetect, monitorDetectLine(machine));
    if (machine.sound.dmaSound.endPulsesOwed != 0) CpuEndSlice(cpu);
}
uint8_t dmaSoundReadByte(Machine& machine, CpuState& cpu, uint32_t address, int32_t time) {
    uint8_t value = DmaSoundReadByte(machine.sound.dmaSound, cpu, address, time);
    afterDmaSoundAccess(machine, cpu);
    return value;
}
uint16_t dmaSoundReadWord(Machine& machine, CpuState& cpu, uint32_t address, int32_t time) {
    uint16_t value = DmaSoundReadWord(machine.sound.dmaSound, cpu, address, time);
    afterDmaSoundAccess(machine, cpu);
    return value;
}
void dmaSoundWriteByte(Machine& machine, CpuState& cpu, uint32_t address, uint8_t value,
                       int32_t time) {
    DmaSoundWriteByte(machine.sound.dmaSound, cpu, address, value, time);
    afterDmaSoundAccess(machine, cpu);
}
void dmaSoundWriteWord(Machine& machine, CpuState& cpu, uint32_t address, uint16_t value,
                       int32_t time) {
    DmaSoundWriteWord(machine.sound.dmaSound, cpu, address, value, time);
    afterDmaSoundAccess(machine, cpu);
}

void installPages(Machine& machine) {
    IoSetPage(machine.io, 0xFF8000, MemoryConfigurationPage(machine.memory));
    IoSetPage(
        machine.io, 0xFFFA00,
        chipPage<Mfp, MfpReadByte, MfpReadWord, MfpWriteByte, MfpWriteWord>(
            machine.mfp, kMfpBlockFirst & 0xFF, kMfpBlockLast & 0xFF, IoWaitRule::EveryAccess));
    // The YM2149 answers across its whole page: it decodes only two address lines.
    IoSetPage(machine.io, 0xFF8800,
              chipPage<Ym2149, YmReadByte, YmReadWord, YmWriteByte, YmWriteWord>(
                  machine.ym, 0x00, 0xFF, IoWaitRule::SoundChip));
    IoSetPage(machine.io, 0xFF8600,
              chipPage<Fdc, FdcReadByte, FdcReadWord, FdcWriteByte, FdcWriteWord>(
                  machine.fdc, kFdcBlockFirst & 0xFF, kFdcBlockLast & 0xFF, IoWaitRule::None));
    IoSetPage(
        machine.io, 0xFF8200,
        chipPage<Shifter, ShifterReadByte, ShifterReadWord, ShifterWriteByte, ShifterWriteWord>(
            machine.shifter, kShifterBlockFirst & 0xFF, kShifterBlockLast & 0xFF,
            IoWaitRule::None));
    IoSetPage(machine.io, 0xFFFC00,
              chipPage<Machine, aciaReadByte, aciaReadWord, aciaWriteByte, aciaWriteWord>(
                  machine, 0x00, 0x07, IoWaitRule::None));
}

void resetHook(CpuState&, void* context) {
    IoReset(*static_cast<Machine*>(context));
}

// ---- The scheduler's steps ----

// A channel's pending request, delivered when nothing of higher priority is in service.
bool postPending(Machine& machine, int channel, EventKind kind) {
    if (!MfpPostPending(machine.mfp, machine.cpu, channel)) return false;
    machine.frame.eventKind = kind;
    return true;
}

// A timer counting time: fires when due, then limits the slice to its next time-out.
bool runTimer(Machine& machine, MfpTimer timer, EventKind kind, int32_t now, int32_t& limit) {
    if (MfpFireDueTimer(machine.mfp, machine.cpu, timer, now)) {
        machine.frame.eventKind = kind;
        return true;
    }
    int32_t next = MfpTimerEventTime(machine.mfp, timer);
    if (next != kMfpNoEvent && next < limit) {
        limit = next;
        machine.frame.eventKind = kind;
    }
    return false;
}

// The STE's DMA sound: runs it to a frame end that is due, pulses Timer A's input once per frame
// end and moves GPIP 7, one interrupt per call, then limits the slice to the next frame end.
bool dmaSoundStep(Machine& machine, int32_t now, int32_t& limit) {
    DmaSound& dma = machine.sound.dmaSound;
    if (now >= DmaSoundNextEventTime(dma)) DmaSoundAdvance(dma, now);
    if (MfpDriveGpipLine(machine.mfp, kMfpGpipMonochromeDetect, monitorDetectLine(machine)) &&
        MfpRequestInterrupt(machine.mfp, machine.cpu, kMfpChannelMonitorDetect)) {
        machine.frame.eventKind = EventKind::TimerA;
        return true;
    }
    while (DmaSoundTakeEndPulse(dma)) {
        if (MfpTimerAInputPulse(machine.mfp, machine.cpu)) {
            machine.frame.eventKind = EventKind::TimerA;
            return true;
        }
    }
    if (DmaSoundNextEventTime(dma) < limit) {
        limit = DmaSoundNextEventTime(dma);
        machine.frame.eventKind = EventKind::TimerA;
    }
    return false;
}

int32_t endFrame(Machine& machine) {
    FrameState& frame = machine.frame;
    frame.eventKind = EventKind::FrameEnd;
    FrameOutput& output = machine.frameOutput ? *machine.frameOutput : machine.noOutput;
    LogClose(machine.shifter.log);
    RenderFrame(machine.renderer, machine.shifter, machine.memory, machine.screen.data(),
                kScreenWidth);
    DrawStatusMessages(machine.statusMessages, machine.screen.data(), kScreenWidth);
    output.presentFrame(machine);
    int samples = output.samplesForFrame(machine);
    machine.lastSampleCount = samples;
    // A count outside what one frame can take (a device that stalled or ran away) makes no sound,
    // but the frame's register writes still reach the synthesiser.
    if (samples < 1 || samples > kMaxSamplesPerFrame) samples = 0;
    SoundLogClose(machine.ym.soundLog);
    int made = SoundFrame(machine.sound, machine.ym, machine.driveSounds, machine.soundSettings,
                          samples, machine.samples.data());
    if (made > 0) output.playSamples(machine, machine.samples.data(), made);

    SoundLogRestart(machine.ym.soundLog);
    machine.cpu.cycleCounter -= kFrameCycles;
    MfpRebase(machine.mfp, kFrameCycles);
    IkbdRebase(machine.ikbd, kFrameCycles);
    FdcRebase(machine.fdc, kFrameCycles);
    FdcSaveIdleDisk(machine.fdc);
    frame.hblTime -= kFrameCycles;
    frame.lineNumber = 0;
    frame.vblTime = kVblTime;
    frame.nextLineTime = kFirstLineTime + kLineJitter[frame.frameNumber % 33];
    frame.frameNumber += 1;
    ShifterStartFrame(machine.shifter, &machine.memory);
    machine.framesRun += 1;
    return -1;
}

}  // namespace

bool CreateMachine(Machine& machine, unsigned ramSizeIndex) {
    CpuBuildDispatch();
    if (!CreateMachineMemory(machine.memory, IoSpaceHandlers(machine.io))) return false;
    installPages(machine);
    InstallMemoryLists(machine.memory, machine.cpu);
    machine.sound.dmaSound.memory = &machine.memory;
    FdcConnect(machine.fdc, &machine.memory, &machine.mfp, &machine.ym, &machine.driveA,
               &machine.statusMessages, &machine.driveSounds);
    machine.cpu.resetHook = resetHook;
    machine.cpu.resetHookContext = &machine;
    machine.cpu.cycleCounter = 0;
    SetRamSize(machine.memory, ramSizeIndex);
    LoadCartridge(machine.memory, "");
    return true;
}

bool StartMachine(Machine& machine, const MachineSettings& settings, std::string& error,
                  std::vector<std::string>* unusable) {
    if (!CreateMachine(machine, settings.ramSizeIndex)) {
        error = "not enough memory for the machine";
        return false;
    }
    SetMachineModel(machine, settings.ste);
    machine.fdc.fastDisk = settings.fastDisk;
    machine.fdc.writeProtect = settings.writeProtect;
    machine.soundSettings = settings.sound;
    machine.soundSettings.FastDisk = settings.fastDisk;
    // A failed load leaves its area as it was: the drive empty, the ROM area unmapped, the
    // cartridge area all ones.
    auto refuse = [&](const std::string& reason) {
        if (!unusable) {
            error = reason;
            return true;
        }
        unusable->push_back(reason);
        return false;
    };
    std::string reason;
    if (!settings.diskPath.empty() && !LoadDiskImage(settings.diskPath, machine.driveA, &reason) &&
        refuse("cannot use the disk image " + settings.diskPath + ": " + reason)) {
        return false;
    }
    // The window, the display, the host input and the sound output join here, in this order, as
    // they are built.
    reason.clear();
    // With no image of the user's named the machine starts on Orvet's own ROM. A named image
    // that fails is not replaced by it: whoever chose the file is told, and the machine has
    // nothing to run until another is chosen.
    const bool tosMapped = settings.tosPath.empty()
                               ? LoadBuiltinRom(machine.memory, &reason)
                               : LoadTosRom(machine.memory, settings.tosPath, &reason);
    if (!tosMapped && refuse(reason)) return false;
    reason.clear();
    if (!LoadCartridge(machine.memory, settings.cartridgePath, &reason) && refuse(reason)) {
        return false;
    }
    // The floppy controller's line and one spare are always open, empty until used.
    OpenStartupStatusSlots(machine.statusMessages);
    SoundLogRestart(machine.ym.soundLog);
    ShifterStartFrame(machine.shifter, nullptr);
    ResetMachine(machine, true);
    SetRunState(machine, RunState::Stopped);
    return true;
}

void ShutdownMachine(Machine& machine) {
    SetRunState(machine, RunState::Shutdown);
    // The processor keeps pointers into the block; a machine that is shut down never runs again.
    machine.memory.block.reset();
    machine.memory.ramBase = machine.memory.romHost = machine.memory.cartridgeHost = nullptr;
}

void SetMachineModel(Machine& machine, bool ste) {
    machine.steMode = ste;
    IoSetPage(machine.io, 0xFF8900,
              ste ? chipPage<Machine, dmaSoundReadByte, dmaSoundReadWord, dmaSoundWriteByte,
                             dmaSoundWriteWord>(machine, kDmaSoundBlockFirst & 0xFF,
                                                kDmaSoundBlockLast & 0xFF, IoWaitRule::None)
                  : IoPage{});
    // An STFM has no DMA sound to play on.
    if (!ste) DmaSoundReset(machine.sound.dmaSound);
    MfpSetGpipLine(machine.mfp, kMfpGpipMonochromeDetect, monitorDetectLine(machine));
}

void IoReset(Machine& machine) {
    MfpIoReset(machine.mfp);
    ShifterIoReset(machine.shifter);
    machine.renderer.resolution = 0;
}

void ResetMachine(Machine& machine, bool clearRam) {
    if (clearRam) ClearRamForColdReset(machine.memory);
    CpuReset(machine.cpu);
    IoReset(machine);
    YmReset(machine.ym);
    DmaSoundReset(machine.sound.dmaSound);
    MfpSetGpipLine(machine.mfp, kMfpGpipMonochromeDetect, monitorDetectLine(machine));
}

int32_t FrameStep(Machine& machine) {
    CpuState& cpu = machine.cpu;
    FrameState& frame = machine.frame;
    const int32_t now = cpu.cycleCounter;
    if (now >= kFrameCycles) return endFrame(machine);
    int32_t limit = kFrameCycles;
    frame.eventKind = EventKind::FrameEnd;

    // 1. Scan lines.
    bool lineBegan = false;
    if (now >= frame.nextLineTime + lineJitter(frame)) {
        frame.nextLineTime += kLineCycles;
        frame.lineNumber += 1;
        lineBegan = true;
        if (frame.lineNumber == kFirstDisplayLine) machine.shifter.displayEnable = true;
    }
    if (frame.nextLineTime + lineJitter(frame) < limit) {
        limit = frame.nextLineTime + lineJitter(frame);
        frame.eventKind = EventKind::LineOrTimerB;
    }

    // 2-3. Timer B: a pending request, then time-outs or display lines.
    if (postPending(machine, kMfpChannelTimerB, EventKind::LineOrTimerB)) return 0;
    if (MfpTimerBCountsLines(machine.mfp)) {
        if (machine.shifter.displayEnable && lineBegan) {
            // The last display line ends the count of lines the shifter shows.
            if (frame.lineNumber == kLastDisplayLine) machine.shifter.displayEnable = false;
            if (MfpCountDisplayLine(machine.mfp, cpu)) {
                frame.eventKind = EventKind::LineOrTimerB;
                return 0;
            }
        }
    } else if (runTimer(machine, MfpTimer::B, EventKind::LineOrTimerB, now, limit)) {
        return 0;
    }

    // 4-5. Timer A, and on the STE the DMA sound beside it: the end of each sample frame pulses
    // Timer A's input, and the sound's active line reaches GPIP 7 (channel 15).
    if (postPending(machine, kMfpChannelMonitorDetect, EventKind::TimerA)) return 0;
    if (postPending(machine, kMfpChannelTimerA, EventKind::TimerA)) return 0;
    if (machine.steMode && dmaSoundStep(machine, now, limit)) return 0;
    if (runTimer(machine, MfpTimer::A, EventKind::TimerA, now, limit)) return 0;

    // 6-7. The floppy controller: its channel, then its command and motor events.
    if (postPending(machine, kMfpChannelFloppy, EventKind::Floppy)) return 0;
    if (now >= FdcEventTime(machine.fdc) && FdcFireEvent(machine.fdc, cpu, now) &&
        MfpRequestInterrupt(machine.mfp, cpu, kMfpChannelFloppy)) {
        frame.eventKind = EventKind::Floppy;
        return 0;
    }
    if (FdcEventTime(machine.fdc) < limit) {
        limit = FdcEventTime(machine.fdc);
        frame.eventKind = EventKind::Floppy;
    }

    // 8-9. The keyboard link delivers one byte per step into the ACIA.
    if (postPending(machine, kMfpChannelKeyboard, EventKind::KeyboardLink)) return 0;
    if (now >= IkbdNextEventTime(machine.ikbd)) {
        IkbdStep(machine.ikbd, machine.host);
        if (MfpDriveGpipLine(machine.mfp, kMfpGpipKeyboardAcia,
                             !IkbdInterruptLineActive(machine.ikbd)) &&
            MfpRequestInterrupt(machine.mfp, cpu, kMfpChannelKeyboard)) {
            frame.eventKind = EventKind::KeyboardLink;
            return 0;
        }
    }
    if (IkbdNextEventTime(machine.ikbd) < limit) {
        limit = IkbdNextEventTime(machine.ikbd);
        frame.eventKind = EventKind::KeyboardLink;
    }

    // 10-13. Timers C and D.
    if (postPending(machine, kMfpChannelTimerC, EventKind::TimerC)) return 0;
    if (runTimer(machine, MfpTimer::C, EventKind::TimerC, now, limit)) return 0;
    if (postPending(machine, kMfpChannelTimerD, EventKind::TimerD)) return 0;
    if (runTimer(machine, MfpTimer::D, EventKind::TimerD, now, limit)) return 0;

    // 14-15. VBL and HBL: a refused post (the level is still pending) is not retried.
    if (now >= frame.vblTime) {
        frame.vblTime += kFrameCycles;
        if (CpuPostInterrupt(cpu, 4, -1) == 0) {
            frame.eventKind = EventKind::Vbl;
            return 0;
        }
    } else if (frame.vblTime < limit) {
        limit = frame.vblTime;
        frame.eventKind = EventKind::Vbl;
    }
    if (now >= frame.hblTime) {
        frame.hblTime += kLineCycles;
        if (CpuPostInterrupt(cpu, 2, -1) == 0) {
            frame.eventKind = EventKind::Hbl;
            return 0;
        }
    } else if (frame.hblTime < limit) {
        limit = frame.hblTime;
        frame.eventKind = EventKind::Hbl;
    }

    // 16. A timer that fell behind must not stall the processor: grant at least one bus slot.
    return std::max<int32_t>((limit - now + 3) & ~3, 4);
}

bool RunFrame(Machine& machine) {
    for (;;) {
        int32_t granted = FrameStep(machine);
        if (granted < 0) return true;
        if (granted == 0) continue;
        if (CpuExecute(machine.cpu, granted) != kCpuRunEnded) {
            ResetMachine(machine, true);
            return false;
        }
    }
}

bool DebuggerStops::addBreakpoint(uint32_t address) {
    address &= 0xFFFFFF;
    if (breakpoints.size() >= kMaxBreakpoints || stopsAt(address)) return false;
    breakpoints.push_back(address);
    return true;
}

bool DebuggerStops::removeBreakpoint(uint32_t address) {
    auto found = std::find(breakpoints.begin(), breakpoints.end(), address & 0xFFFFFF);
    if (found == breakpoints.end()) return false;
    breakpoints.erase(found);
    return true;
}

bool DebuggerStops::stopsAt(uint32_t pc) const {
    return std::find(breakpoints.begin(), breakpoints.end(), pc & 0xFFFFFF) != breakpoints.end();
}

namespace {
DriverHost& hostOf(Machine& machine) {
    return machine.driverHost ? *machine.driverHost : machine.noHost;
}
bool isRunning(RunState state) {
    return state == RunState::Running || state == RunState::ResetKeyHeld ||
           state == RunState::DebuggerStep;
}
}  // namespace

void SetRunState(Machine& machine, RunState state) {
    if (state == machine.runState) return;
    DriverHost& host = hostOf(machine);
    if (isRunning(state)) {
        host.startSound();
        host.captureMouse();
    } else if (machine.runState == RunState::Running ||
               machine.runState == RunState::DebuggerStep) {
        host.stopSound();
        host.releaseMouse();
    }
    machine.runState = state;
    machine.stateMarker = -1;
}

namespace {
// One instruction under the debugger, with the frame's events kept in step: an interrupt that
// falls due is taken first, so that the step shows its handler's first instruction.
void debuggerStep(Machine& machine) {
    CpuState& cpu = machine.cpu;
    int32_t granted = FrameStep(machine);
    if (granted < 0) return;
    if (granted == 0) {
        // Only an interrupt the processor takes stops the run: one its mask holds off (a Timer C
        // tick while the system sets itself up at level 7) leaves the program where it was.
        const uint32_t pcBefore = cpu.pc;
        CpuServiceInterrupts(cpu);
        const bool taken = cpu.pc != pcBefore;
        auto kind = static_cast<size_t>(machine.frame.eventKind);
        if (taken && kind < machine.debugger.breakOnEvent.size() &&
            machine.debugger.breakOnEvent[kind]) {
            SetRunState(machine, RunState::Stopped);
            return;
        }
        FrameStep(machine);
    }
    if (CpuExecute(cpu, 4) != kCpuRunEnded) {
        ResetMachine(machine, true);
        return;
    }
    if (IsKeyDown(machine.ikbd, vk::kF12) || cpu.pc == machine.debugger.runToAddress ||
        machine.debugger.stopsAt(cpu.pc)) {
        SetRunState(machine, RunState::Stopped);
    }
}
}  // namespace

void MainLoopPass(Machine& machine) {
    DriverHost& host = hostOf(machine);
    switch (machine.runState) {
        case RunState::Stopped:
            if (machine.stateMarker != 0) {
                host.clearDisplay();
                host.showFrontEnd();
                machine.stateMarker = 0;
            }
            return;
        case RunState::Running:
            if (machine.stateMarker != 3) {
                host.clearDisplay();
                machine.stateMarker = 3;
            }
            if (IsKeyDown(machine.ikbd, vk::kF11)) {
                bool shift = IsKeyDown(machine.ikbd, vk::kLeftShift) ||
                             IsKeyDown(machine.ikbd, vk::kRightShift);
                ResetMachine(machine, shift);
                host.clearDisplay();
                SetRunState(machine, RunState::ResetKeyHeld);
            } else if (IsKeyDown(machine.ikbd, vk::kF12)) {
                SetRunState(machine, RunState::Stopped);
            } else {
                RunFrame(machine);
            }
            return;
        case RunState::ResetKeyHeld:
            TakeKeyboardSnapshot(machine.ikbd, machine.host);
            if (!IsKeyDown(machine.ikbd, vk::kF11)) SetRunState(machine, RunState::Running);
            return;
        case RunState::DebuggerStep:
            debuggerStep(machine);
            return;
        default:
            return;
    }
}

}  // namespace orvet
