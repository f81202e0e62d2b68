// The MFP 68901: the machine's four timers and its level-6 interrupt controller.
//
// The timers are not counted tick by tick. Each keeps the cycle of its next time-out in the
// processor's frame-relative clock; the frame loop asks for those times, fires the due ones and
// delivers the interrupts in its fixed order, one per call. The serial port is not emulated: its
// registers only hold what was written.
//
// Register page 0xFFFA00: the registers sit at the odd addresses 0xFFFA01-0xFFFA2F; the chip's
// block is 0xFFFA00-0xFFFA3F (MfpHasRegister), where even addresses and 0xFFFA30-0xFFFA3F read
// all ones and ignore writes. The I/O layer adds the 4-cycle wait state of every MFP access.
#pragma once

#include <cstdint>
#include <limits>

namespace orvet {

struct CpuState;

// Interrupt channels the machine raises; a channel is also its bit in the 16-bit
// (A register << 8 | B register) views below.
constexpr int kMfpChannelTimerA = 13;
constexpr int kMfpChannelTimerB = 8;
constexpr int kMfpChannelFloppy = 7;
constexpr int kMfpChannelKeyboard = 6;
constexpr int kMfpChannelTimerC = 5;
constexpr int kMfpChannelTimerD = 4;
constexpr int kMfpChannelMonitorDetect = 15;  // GPIP 7

// GPIP lines driven by the machine (active low request lines) and the monitor detect.
constexpr int kMfpGpipKeyboardAcia = 4;
constexpr int kMfpGpipFloppy = 5;
// 1 with the colour monitor the machine has; on the STE the DMA sound's "active" line is XORed
// into it, so it reads 0 while a sample frame plays.
constexpr int kMfpGpipMonochromeDetect = 7;

constexpr uint32_t kMfpBlockFirst = 0xFFFA00;
constexpr uint32_t kMfpBlockLast = 0xFFFA3F;

// Returned by the event-time functions for a timer that does not count by time.
constexpr int32_t kMfpNoEvent = std::numeric_limits<int32_t>::max();

enum class MfpTimer : int { A = 0, B = 1, C = 2, D = 3 };

// The register file. Interrupt registers are kept as 16-bit channel sets: bit c is channel c,
// so the A register is the high byte and the B register the low byte.
struct MfpRegisters {
    // Bits 4 and 5 are the keyboard ACIA and floppy request lines, inactive (high) at power-on;
    // bit 7 is the monitor detect of a colour monitor.
    uint8_t generalPurposeIo = 0xB0;  // GPIP
    uint8_t activeEdge = 0;           // AER
    uint8_t dataDirection = 0;        // DDR
    uint16_t interruptEnable = 0;     // IERA:IERB
    uint16_t interruptPending = 0;    // IPRA:IPRB
    uint16_t interruptInService = 0;  // ISRA:ISRB
    uint16_t interruptMask = 0;       // IMRA:IMRB
    uint8_t vectorBase = 0;           // VR: bits 4-7 vector base, bit 3 software end of interrupt
    uint8_t timerAControl = 0;        // TACR
    uint8_t timerBControl = 0;        // TBCR
    uint8_t timerCDControl = 0;       // TCDCR: Timer C in bits 4-6, Timer D in bits 0-2
    uint8_t timerData[4] = {};        // TADR, TBDR, TCDR, TDDR as written (0 counts as 256)
    uint8_t usart[5] = {};            // SCR, UCR, RSR, TSR, UDR: stored only
};

struct MfpTimerState {
    int32_t nextTime = -1;    // cycle of the next time-out; -1 when stopped
    uint32_t period = 0;      // cycles between time-outs
    uint32_t tickCycles = 0;  // cycles per MFP count at the current prescaler
};

struct Mfp {
    MfpRegisters registers;
    MfpTimerState timers[4];
    uint8_t timerBLinesLeft = 0;   // display lines left in event-count mode
    uint8_t timerAEventsLeft = 0;  // input pulses left in event-count mode
};

// ---- Register page (byte and word handlers; a long access arrives as two words) ----
bool MfpHasRegister(uint32_t address);
uint8_t MfpReadByte(Mfp& mfp, CpuState& cpu, uint32_t address, int32_t cycleTime);
uint16_t MfpReadWord(Mfp& mfp, CpuState& cpu, uint32_t address, int32_t cycleTime);
void MfpWriteByte(Mfp& mfp, CpuState& cpu, uint32_t address, uint8_t value, int32_t cycleTime);
void MfpWriteWord(Mfp& mfp, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime);

// The MFP's share of the I/O reset (68000 RESET and machine reset). Re-arms nothing.
void MfpIoReset(Mfp& mfp);

// ---- Interrupts ----
// 1 + the highest channel in service, 0 when none: channels below this number may interrupt.
int MfpPriority(const Mfp& mfp);
// The vector the chip hands the processor for `channel`.
int MfpVector(const Mfp& mfp, int channel);
// A new request of `channel` (a time-out, a display-line count, the floppy or keyboard line):
// nothing when the channel is disabled; pending when masked, blocked or refused; otherwise posted
// at level 6 and acknowledged. True when the processor accepted the post.
bool MfpRequestInterrupt(Mfp& mfp, CpuState& cpu, int channel);
// Re-posts a pending, enabled, unmasked and unblocked request of `channel`. True when accepted.
bool MfpPostPending(Mfp& mfp, CpuState& cpu, int channel);

// ---- Timers, for the frame loop ----
// True while the timer counts time (delay mode); its next time-out is then MfpTimerEventTime.
bool MfpTimerCountsTime(const Mfp& mfp, MfpTimer timer);
// True while Timer B counts display lines (event-count mode).
bool MfpTimerBCountsLines(const Mfp& mfp);
// The cycle of the timer's next time-out, kMfpNoEvent when it does not count time.
int32_t MfpTimerEventTime(const Mfp& mfp, MfpTimer timer);
// The earliest time-out of all four timers, kMfpNoEvent when none counts.
int32_t MfpNextEventTime(const Mfp& mfp);
// If the timer counts time and its time-out is due at `now`: advances it by one period and
// requests its interrupt. True when that request was posted and accepted (the caller then
// returns from its step, one interrupt per call).
bool MfpFireDueTimer(Mfp& mfp, CpuState& cpu, MfpTimer timer, int32_t now);
// True while Timer A counts the pulses on its input (event-count mode).
bool MfpTimerACountsEvents(const Mfp& mfp);
// One pulse on Timer A's input (TAI; the STE's DMA sound pulses it at the end of each sample
// frame). A pulse has both edges, so it counts once whichever edge the active-edge register
// selects. In event-count mode the counter decrements and, at 0, reloads from TADR and requests
// channel 13. True when that request was posted and accepted.
bool MfpTimerAInputPulse(Mfp& mfp, CpuState& cpu);
// One display line for Timer B's event count (the caller decides that a display line began).
// Reloads from TBDR and requests channel 8 when the count reaches 0. True when accepted.
bool MfpCountDisplayLine(Mfp& mfp, CpuState& cpu);
// The frame end: moves every time-counting timer's next time-out back by one frame.
void MfpRebase(Mfp& mfp, int32_t frameCycles);
// The value a read of the timer's data register gives at `now`.
uint8_t MfpTimerCount(const Mfp& mfp, MfpTimer timer, int32_t now);

// ---- GPIP lines the machine drives (the ACIAs, the floppy controller, the monitor detect) ----
// Sets the line's level, without edge detection.
void MfpSetGpipLine(Mfp& mfp, int bit, bool high);
// Sets the line's level and tells whether it just made the transition the active-edge register
// selects for it (bit clear: high to low, set: low to high), the edge that raises the line's
// interrupt channel (MfpGpipChannel).
bool MfpDriveGpipLine(Mfp& mfp, int bit, bool high);
// The interrupt channel of GPIP line `bit`: 0-3 for lines 0-3, 6 and 7 for lines 4 and 5, 14 and
// 15 for lines 6 and 7.
int MfpGpipChannel(int bit);
// A request raised inside a processor slice, where nothing may be posted: the channel becomes
// pending if it is enabled, and the frame loop delivers it (the caller ends the slice).
void MfpLatchRequest(Mfp& mfp, int channel);

}  // namespace orvet
