// The keyboard ACIA (an MC6850 at 0xFFFC00/0xFFFC02), the MIDI ACIA beside it, and the keyboard
// processor behind the serial link: its command interpreter, its reports (keys, relative mouse,
// joystick 1, time of day) and the byte queue that stands for the serial line.
//
// The keyboard processor is a separate microcontroller on the real machine; it talks to the ACIA
// at 7,812.5 baud, one byte every 1.28 ms. The frame loop models that line by calling IkbdStep
// every 10,016 cycles; each step scans the host input, queues what the keyboard processor would
// send, and moves at most one queued byte into the ACIA's receive register.
//
// What the frame loop and the I/O layer call:
//   - I/O layer, page 0xFFFC00: IkbdHasRegister (false = bus error), IkbdReadByte/IkbdWriteByte,
//     IkbdReadWord/IkbdWriteWord. After any access it mirrors the ACIA's interrupt line into
//     MFP GPIP bit 4: GPIP bit 4 = IkbdInterruptLineActive(ikbd) ? 0 : 1 (the line is active low).
//     No wait states of our own; no access changes timing, so no slice is ended.
//   - Frame loop: when cycleCounter >= IkbdNextEventTime(ikbd), call IkbdStep, then mirror
//     IkbdInterruptLineActive into GPIP bit 4; the MFP raises channel 6 on the line's active
//     edge. At the frame end call IkbdRebase.
//   - Run-state driver and front end: TakeKeyboardSnapshot and IsKeyDown (F11, F12, Shift).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace orvet {

// ---- Host side ----

// The host's virtual-key codes the key map is drawn in (the window layer maps SDL scancodes onto
// these, so the map stays as designed).
namespace vk {
constexpr uint8_t kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kPause = 0x13, kCapital = 0x14;
constexpr uint8_t kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21, kNext = 0x22, kEnd = 0x23;
constexpr uint8_t kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
constexpr uint8_t kPrint = 0x2A, kInsert = 0x2D, kDelete = 0x2E;
constexpr uint8_t kNumpad0 = 0x60, kMultiply = 0x6A, kAdd = 0x6B, kSubtract = 0x6D;
constexpr uint8_t kDecimal = 0x6E, kDivide = 0x6F, kF1 = 0x70, kF10 = 0x79, kF11 = 0x7A;
constexpr uint8_t kF12 = 0x7B, kLeftShift = 0xA0, kRightShift = 0xA1, kLeftControl = 0xA2;
constexpr uint8_t kRightControl = 0xA3, kLeftAlt = 0xA4, kRightAlt = 0xA5;
// The punctuation keys, named by where they sit on a US keyboard (Windows' VK_OEM codes); the
// ISO key is the one between Left Shift and Z on European keyboards.
constexpr uint8_t kSemicolon = 0xBA, kEquals = 0xBB, kComma = 0xBC, kMinus = 0xBD;
constexpr uint8_t kPeriod = 0xBE, kSlash = 0xBF, kGrave = 0xC0, kLeftBracket = 0xDB;
constexpr uint8_t kBackslash = 0xDC, kRightBracket = 0xDD, kApostrophe = 0xDE, kIsoKey = 0xE2;
// Digits and letters use their ASCII codes ('0'..'9', 'A'..'Z').
}  // namespace vk

struct UtcDateTime {
    int year = 1985, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Plain data the window layer fills from SDL and tests fill directly.
struct HostInput {
    std::array<uint8_t, 256> keyState{};  // by virtual-key code; bit 7 set = key down
    // Movement since the last step, in host mouse counts. IkbdStep consumes it (sets it to 0),
    // as a relative mouse device hands out each movement once.
    int32_t mouseMovementX = 0;
    int32_t mouseMovementY = 0;
    bool mouseLeftButton = false;
    bool mouseRightButton = false;
    // False while the host cannot read the mouse (window lost focus, device gone): the step then
    // reports no movement and no button change, and picks up from the buttons it last knew.
    bool mouseAvailable = true;
    // The clock the keyboard processor's time-of-day report reads; empty = the host's UTC clock.
    std::function<UtcDateTime()> readUtcClock;
};

// ---- Chip state ----

// The MC6850's receive side. Its interrupt request (status bit 7, and the line on MFP GPIP 4)
// is a full receive register while receive interrupts are enabled (control bit 7); with them
// disabled bytes still arrive and status bit 0 announces them to a program that polls.
struct Acia {
    uint8_t status = 0;   // bit 0 receive register full; the other bits are made when read
    uint8_t control = 0;  // write-only on the chip: bits 0-1 11 master reset, bit 7 receive IRQ
    uint8_t data = 0;     // receive register: the byte last delivered
};

struct MidiAcia {
    uint8_t control = 0;
    uint8_t data = 0;  // the byte last written to the transmit register
};

// The keyboard processor's own settings; a reset (command 0x80 0x01) is `processor = {}`.
struct IkbdProcessor {
    bool mouseEnabled = true;
    bool mouseAbsolute = false;
    bool yAtTop = true;
    uint8_t buttonAction = 0;
    uint16_t maxX = 319, maxY = 199;
    int keycodeDeltaX = 1, keycodeDeltaY = 1;
    int thresholdX = 1, thresholdY = 1;
    int scaleX = 1, scaleY = 1;
    uint16_t absoluteX = 0, absoluteY = 0;
    bool joystickEnabled = true;
    bool joystickInterrogation = false;
    bool paused = false;
    uint8_t command = 0;
    int paramsLeft = 0;
    std::array<uint8_t, 6> parameters{};  // parameter bytes received so far for `command`
};

// The serial line's backlog. The counter is 8 bits wide, so 255 bytes is the most it holds.
struct IkbdQueue {
    std::array<uint8_t, 256> bytes{};
    uint8_t writeIndex = 0;
    uint8_t readIndex = 0;
    uint8_t count = 0;
    uint32_t droppedBytes = 0;  // bytes refused because the line was full
};

// What the keyboard processor last saw of the host.
struct IkbdHostView {
    std::array<uint8_t, 256> previousKeys{};
    std::array<uint8_t, 256> currentKeys{};
    bool leftButton = false, rightButton = false;
    bool previousLeftButton = false, previousRightButton = false;
};

constexpr int32_t kIkbdStepCycles = 10016;
constexpr uint32_t kAciaFirstAddress = 0xFFFC00;
constexpr uint32_t kAciaLastAddress = 0xFFFC07;
// A single host step never sends more than this many mouse packets; larger movements are
// clamped to what they can carry.
constexpr int kMaxMousePacketsPerStep = 4;

struct Ikbd {
    Acia acia;
    MidiAcia midi;
    IkbdProcessor processor;
    IkbdQueue queue;
    IkbdHostView host;
    // Command 0x1C reads the host clock, which is reached through HostInput: the report is
    // queued at the start of the next step, ahead of anything that step scans.
    bool timeReportRequested = false;
    int32_t nextStepTime = kIkbdStepCycles;  // frame-relative cycle of the next step
};

// ---- Registers (page 0xFFFC00) ----

bool IkbdHasRegister(uint32_t address);
bool IkbdInterruptLineActive(const Ikbd& ikbd);

struct CpuState;
uint8_t IkbdReadByte(Ikbd& ikbd, CpuState& cpu, uint32_t address, int32_t cycleTime);
void IkbdWriteByte(Ikbd& ikbd, CpuState& cpu, uint32_t address, uint8_t value, int32_t cycleTime);
// The ACIAs sit on the upper half of the data bus: a word access reaches the register at the
// even address through its high byte; the low byte floats high.
uint16_t IkbdReadWord(Ikbd& ikbd, CpuState& cpu, uint32_t address, int32_t cycleTime);
void IkbdWriteWord(Ikbd& ikbd, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime);

// ---- Keyboard processor ----

// A byte from the machine to the keyboard processor (what a write to 0xFFFC02 sends).
void IkbdReceiveCommandByte(Ikbd& ikbd, uint8_t value);
// The parameter bytes that follow a command byte.
int IkbdCommandParameterCount(uint8_t command);

// One keyboard-link step. Returns true when a byte was delivered into the ACIA's receive
// register; an ACIA held in master reset loses the byte the line brings.
bool IkbdStep(Ikbd& ikbd, HostInput& input);
int32_t IkbdNextEventTime(const Ikbd& ikbd);
void IkbdRebase(Ikbd& ikbd, int32_t frameCycles);

bool IkbdByteAvailable(const Ikbd& ikbd);
uint8_t IkbdTakeByte(Ikbd& ikbd);
// Queues bytes that must reach the machine together (a report); if the line cannot take all of
// them none is queued, so the machine never sees half a report.
bool IkbdQueueBytes(Ikbd& ikbd, std::initializer_list<uint8_t> bytes);

void TakeKeyboardSnapshot(Ikbd& ikbd, const HostInput& input);
bool IsKeyDown(const Ikbd& ikbd, uint8_t virtualKey);
// ST scan code of a host virtual key; 0 = the key sends nothing.
uint8_t ScanCodeOf(uint8_t virtualKey);

}  // namespace orvet
