// One emulated ST: the processor, the memory map, the I/O page and its chips, and the frame
// scheduler that grants the processor the time up to the next device event.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu/cpu.h"
#include "disk/disk_image.h"
#include "fdc/wd1772.h"
#include "machine/ikbd.h"
#include "machine/io.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/status_messages.h"
#include "sound/drive_sounds.h"
#include "sound/mixer.h"
#include "sound/ym2149.h"
#include "video/renderer.h"
#include "video/shifter.h"

namespace orvet {

constexpr int32_t kFrameCycles = 160256;  // 313 lines of 512 cycles, the 50 Hz colour timing
constexpr int32_t kLineCycles = 512;
constexpr int32_t kKeyboardLinkCycles = 10016;
constexpr int32_t kVblTime = 80;
constexpr int32_t kFirstHblTime = 16;
constexpr int32_t kFirstLineTime = 432;
constexpr int32_t kFirstDisplayLine = 64;
constexpr int32_t kLastDisplayLine = 263;

// What fired last, or what ends the slice just granted; the debugger can stop on a kind.
enum class EventKind : uint8_t {
    Vbl = 0,
    Hbl = 1,
    TimerA = 2,  // also the STE's DMA sound frame ends on its input, and GPIP 7 beside them
    LineOrTimerB = 3,
    TimerC = 4,
    TimerD = 5,
    KeyboardLink = 6,
    Floppy = 7,
    FrameEnd = 8,
};

struct FrameState {
    int32_t vblTime = kVblTime;
    int32_t hblTime = kFirstHblTime;
    int32_t nextLineTime = kFirstLineTime;
    int32_t lineNumber = 0;
    int32_t frameNumber = 330;  // keeps frameNumber - lineNumber positive for the jitter table
    EventKind eventKind = EventKind::FrameEnd;
};

// Run states of the driver.
enum class RunState : int8_t {
    Shutdown = -1,  // before start-up ends and after shutdown begins
    Stopped = 0,    // the front end with its tool windows is shown
    Running = 3,
    ResetKeyHeld = 4,  // F11 reset the machine; it restarts when the key is released
    DebuggerStep = 5,
};

// What the driver asks of the host around the machine: sound and mouse follow the run state,
// and the front end appears when the machine stops. The window layer fills these in; headless
// runs leave them empty.
struct DriverHost {
    virtual ~DriverHost() = default;
    virtual void startSound() {}
    virtual void stopSound() {}
    virtual void captureMouse() {}
    virtual void releaseMouse() {}
    virtual void clearDisplay() {}
    virtual void showFrontEnd() {}
};

// Where a debugger run stops: after the instruction that leaves the PC at a breakpoint or at the
// run-to address, or as soon as an interrupt of a chosen kind is taken.
struct DebuggerStops {
    static constexpr size_t kMaxBreakpoints = 256;
    static constexpr uint32_t kNoAddress = 0xFFFFFFFF;
    std::vector<uint32_t> breakpoints;  // 24-bit addresses, in the order they were set
    uint32_t runToAddress = kNoAddress;
    std::array<bool, 8> breakOnEvent{};  // by EventKind, VBL to floppy

    // False when the address is already set or the list is full.
    bool addBreakpoint(uint32_t address);
    bool removeBreakpoint(uint32_t address);
    bool stopsAt(uint32_t pc) const;
};

struct Machine;

// Where the picture and the sound of each frame go, at its end. The picture is already in the
// machine's screen buffer; the window shows it and the sound device plays the samples. Headless
// runs show nothing and make 881 samples a frame.
struct FrameOutput {
    virtual ~FrameOutput() = default;
    virtual void presentFrame(Machine&) {}  // shown as the sync mode says
    // How many samples this frame makes: 881 (44,100 Hz over 50.06 frames) when the sound
    // device paces the machine or there is none, else what the device played since the last.
    virtual int samplesForFrame(Machine&) { return kSamplesPerFrame; }
    // The frame's mixed sound, 44,100 Hz mono.
    virtual void playSamples(Machine&, const int16_t* /*samples*/, int /*count*/) {}

    static constexpr int kSamplesPerFrame = 881;
};

struct Machine {
    MachineMemory memory;
    IoSpace io;
    CpuState cpu;
    Mfp mfp;
    Ikbd ikbd;
    Ym2149 ym;
    Fdc fdc;
    DiskImage driveA;  // the disk in drive A; the machine has one working drive
    DriveSoundPlayer driveSounds;
    SoundChips sound;  // the synthesiser, the STE's DMA sound and the mixer's memory
    SoundSettings soundSettings;
    std::vector<int16_t> samples = std::vector<int16_t>(kMaxSamplesPerFrame);
    Shifter shifter;
    Renderer renderer;
    // The 800 x 600 picture of the last frame, RGB565; the odd rows stay dark.
    std::vector<uint16_t> screen = std::vector<uint16_t>(kScreenWidth * kScreenHeight);
    StatusMessages statusMessages;  // drawn over the picture at every frame end
    HostInput host;
    FrameState frame;
    DebuggerStops debugger;
    RunState runState = RunState::Shutdown;
    int stateMarker = -1;  // the state whose entry actions were done last; -1 forces them
    DriverHost* driverHost = nullptr;  // none: a headless run
    DriverHost noHost;
    FrameOutput* frameOutput = nullptr;  // none: no picture, silent frames
    FrameOutput noOutput;
    int lastSampleCount = 0;
    bool steMode = false;
    uint64_t framesRun = 0;

    Machine() = default;
    // The processor and the I/O layer hold pointers into the machine.
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
};

// Allocates the memory block, builds the map, installs the devices and the processor's lists.
// False when the host has no memory for the block.
bool CreateMachine(Machine& machine, unsigned ramSizeIndex = 2);

// The choices start-up takes from the settings (their defaults until the settings file exists).
struct MachineSettings {
    unsigned ramSizeIndex = 2;  // 2 MB
    bool ste = false;
    std::string tosPath;        // the active TOS image; none: Orvet's built-in ROM
    std::string cartridgePath;  // the active cartridge; none: the area reads all ones
    std::string diskPath;       // the disk image in drive A; none: the drive is empty
    bool fastDisk = false;      // floppy commands complete at once instead of in real time
    bool writeProtect = false;  // every disk is write-protected (the WriteProtect setting)
    SoundSettings sound;        // which sources are heard
};

// Start-up in its order: the memory and the map, the RAM size, the TOS image and the cartridge,
// the frame's logs, a cold reset, and the stopped state. False, with a one-line reason in
// `error`, when memory is short or an image cannot be used. Given `unusable`, a disk, TOS or
// cartridge image that cannot be used is left out instead, with one line each there, as the
// window does: a person then sees why and chooses another.
bool StartMachine(Machine& machine, const MachineSettings& settings, std::string& error,
                  std::vector<std::string>* unusable = nullptr);

// The end of the program: the driver leaves its running state (the sound stops, the mouse is
// released) and the machine's memory is freed. Nothing of the machine runs afterwards.
void ShutdownMachine(Machine& machine);

// The model: the STE adds the DMA sound chip on page 0xFF8900, where an STFM has nothing.
void SetMachineModel(Machine& machine, bool ste);

// The devices' reset, run by the 68000 RESET instruction and by the machine reset.
void IoReset(Machine& machine);

// Cold reset (clearRam) clears RAM above the reset vectors; warm reset keeps it.
void ResetMachine(Machine& machine, bool clearRam);

// One scheduler step: -1 when the frame has ended, 0 when it posted an interrupt and must be
// called again, else the cycles (a multiple of 4) the processor may run before the next event.
int32_t FrameStep(Machine& machine);

// Runs the machine to the end of the frame: FrameStep and CpuExecute in turn. A processor fault
// (the PC left every fetch region, a halt, a RESET with nothing to reset) is a crash of the
// emulated machine: it is cold-reset and the pass ends early, so a machine that crashes at once
// cannot hold its host in a loop. True when the frame was completed.
bool RunFrame(Machine& machine);

// Changes the run state: entering a running state starts the sound and captures the mouse,
// leaving one stops and releases them.
void SetRunState(Machine& machine, RunState state);

// One pass of the main loop for the current run state: F11 resets (cold with Shift held) and
// waits for the key's release, F12 stops, otherwise a running machine runs one frame. Under the
// debugger a pass runs one instruction, after taking any interrupt that is due, and stops at the
// debugger's stops or on F12.
void MainLoopPass(Machine& machine);

}  // namespace orvet
