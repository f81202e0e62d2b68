#include "machine/mfp.h"

#include <bit>

#include "cpu/cpu.h"

namespace orvet {
namespace {

// The MFP runs from its own 2.4576 MHz crystal; timer periods are converted into processor
// cycles of the machine clock.
constexpr uint64_t kMachineClockHz = 8021247;
constexpr uint64_t kMfpClockHz = 2457600;

// MFP clocks per count for control modes 1-7; mode 0 stops the timer.
constexpr uint32_t kPrescale[8] = {0, 4, 10, 16, 50, 64, 100, 200};

// Registers by (address AND 0x3F) / 2 at the odd addresses.
enum Register : int {
    kGpip,
    kActiveEdge,
    kDataDirection,
    kEnableA,
    kEnableB,
    kPendingA,
    kPendingB,
    kInServiceA,
    kInServiceB,
    kMaskA,
    kMaskB,
    kVector,
    kTimerAControl,
    kTimerBControl,
    kTimerCDControl,
    kTimerAData,
    kTimerBData,
    kTimerCData,
    kTimerDData,
    kUsartFirst,
    kUsartLast = kUsartFirst + 4,
    kRegisterCount
};

constexpr uint8_t kVectorSoftwareEnd = 0x08;
constexpr uint8_t kControlResetBit = 0x10;
constexpr uint8_t kControlEventBit = 0x08;
constexpr uint8_t kControlModeBits = 0x07;
// The request lines belong to the ACIA and the floppy controller, the monitor detect to the
// monitor socket: a program's write to GPIP cannot move them, as the pins are inputs on the
// machine.
constexpr uint8_t kGpipMachineLines =
    (1u << kMfpGpipKeyboardAcia) | (1u << kMfpGpipFloppy) | (1u << kMfpGpipMonochromeDetect);

constexpr MfpTimer kAllTimers[4] = {MfpTimer::A, MfpTimer::B, MfpTimer::C, MfpTimer::D};

int Index(MfpTimer timer) {
    return static_cast<int>(timer);
}

uint8_t HighByte(uint16_t value) {
    return static_cast<uint8_t>(value >> 8);
}
uint8_t LowByte(uint16_t value) {
    return static_cast<uint8_t>(value);
}
uint16_t WithHighByte(uint16_t value, uint8_t high) {
    return static_cast<uint16_t>((value & 0x00FF) | (high << 8));
}
uint16_t WithLowByte(uint16_t value, uint8_t low) {
    return static_cast<uint16_t>((value & 0xFF00) | low);
}

bool ChannelSet(uint16_t channels, int channel) {
    return (channels >> channel) & 1;
}
uint16_t ChannelBit(int channel) {
    return static_cast<uint16_t>(1u << channel);
}

// The control mode bits (prescaler) of a timer, whatever its mode.
uint32_t ModeOf(const MfpRegisters& registers, MfpTimer timer) {
    switch (timer) {
        case MfpTimer::A:
            return registers.timerAControl & kControlModeBits;
        case MfpTimer::B:
            return registers.timerBControl & kControlModeBits;
        case MfpTimer::C:
            return (registers.timerCDControl >> 4) & kControlModeBits;
        case MfpTimer::D:
            return registers.timerCDControl & kControlModeBits;
    }
    return 0;
}

int ChannelOf(MfpTimer timer) {
    constexpr int kChannels[4] = {kMfpChannelTimerA, kMfpChannelTimerB, kMfpChannelTimerC,
                                  kMfpChannelTimerD};
    return kChannels[Index(timer)];
}

// Whether the control register selects delay mode with a running prescaler. Modes 0 with stray
// upper bits, event count and pulse width do not count time: a timer without a prescaler has
// no period, and one that counted anyway would time out at every call of the frame loop.
bool DelayModeSelected(const MfpRegisters& registers, MfpTimer timer) {
    if (ModeOf(registers, timer) == 0) return false;
    switch (timer) {
        case MfpTimer::A:
            return !(registers.timerAControl & (kControlResetBit | kControlEventBit));
        case MfpTimer::B:
            return !(registers.timerBControl & (kControlResetBit | kControlEventBit));
        case MfpTimer::C:
        case MfpTimer::D:
            return true;
    }
    return false;
}

void ArmDelayTimer(Mfp& mfp, MfpTimer timer, int32_t now) {
    const uint64_t prescale = kPrescale[ModeOf(mfp.registers, timer)];
    const uint8_t data = mfp.registers.timerData[Index(timer)];
    const uint64_t counts = data == 0 ? 256 : data;
    MfpTimerState& state = mfp.timers[Index(timer)];
    state.tickCycles = static_cast<uint32_t>(prescale * kMachineClockHz / kMfpClockHz);
    state.period = static_cast<uint32_t>(counts * prescale * kMachineClockHz / kMfpClockHz);
    state.nextTime = now + static_cast<int32_t>(state.period);
}

// Timers A and B: a new period only when the timer is enabled and counts time (or, for B,
// reloads its line count); otherwise the timer keeps what it had.
void RearmTimerA(Mfp& mfp, int32_t now) {
    if (!ChannelSet(mfp.registers.interruptEnable, kMfpChannelTimerA)) return;
    if (DelayModeSelected(mfp.registers, MfpTimer::A)) {
        ArmDelayTimer(mfp, MfpTimer::A, now);
    } else if (MfpTimerACountsEvents(mfp)) {
        mfp.timerAEventsLeft = mfp.registers.timerData[Index(MfpTimer::A)];
    }
}

void RearmTimerB(Mfp& mfp, int32_t now) {
    const uint8_t control = mfp.registers.timerBControl;
    if (!ChannelSet(mfp.registers.interruptEnable, kMfpChannelTimerB)) return;
    if (control == 0 || (control & kControlResetBit)) return;
    if (!(control & kControlEventBit)) {
        if (DelayModeSelected(mfp.registers, MfpTimer::B)) ArmDelayTimer(mfp, MfpTimer::B, now);
    } else if ((control & kControlModeBits) == 0) {
        mfp.timerBLinesLeft = mfp.registers.timerData[Index(MfpTimer::B)];
        mfp.timers[Index(MfpTimer::B)].nextTime = 0;
    }
}

// Timers C and D have no event modes: enabled with a prescaler they run, otherwise they stop.
void RearmTimerCOrD(Mfp& mfp, MfpTimer timer, int32_t now) {
    if (ChannelSet(mfp.registers.interruptEnable, ChannelOf(timer)) &&
        DelayModeSelected(mfp.registers, timer)) {
        ArmDelayTimer(mfp, timer, now);
    } else {
        mfp.timers[Index(timer)].nextTime = -1;
    }
}

// Whether an enable write restarts the timer of `channel`: every write except one that leaves
// the channel enabled throughout.
bool EnableWriteRestarts(uint16_t before, uint16_t after, int channel) {
    return !(ChannelSet(before, channel) && ChannelSet(after, channel));
}

uint8_t ReadRegister(const Mfp& mfp, int index, int32_t now) {
    const MfpRegisters& r = mfp.registers;
    switch (index) {
        case kGpip:
            return r.generalPurposeIo;
        case kActiveEdge:
            return r.activeEdge;
        case kDataDirection:
            return r.dataDirection;
        case kEnableA:
            return HighByte(r.interruptEnable);
        case kEnableB:
            return LowByte(r.interruptEnable);
        case kPendingA:
            return HighByte(r.interruptPending);
        case kPendingB:
            return LowByte(r.interruptPending);
        case kInServiceA:
            return HighByte(r.interruptInService);
        case kInServiceB:
            return LowByte(r.interruptInService);
        case kMaskA:
            return HighByte(r.interruptMask);
        case kMaskB:
            return LowByte(r.interruptMask);
        case kVector:
            return r.vectorBase;
        case kTimerAControl:
            return r.timerAControl;
        case kTimerBControl:
            return r.timerBControl;
        case kTimerCDControl:
            return r.timerCDControl;
        case kTimerAData:
            return MfpTimerCount(mfp, MfpTimer::A, now);
        case kTimerBData:
            return MfpTimerCount(mfp, MfpTimer::B, now);
        case kTimerCData:
            return MfpTimerCount(mfp, MfpTimer::C, now);
        case kTimerDData:
            return MfpTimerCount(mfp, MfpTimer::D, now);
        default:
            return r.usart[index - kUsartFirst];
    }
}

void WriteRegister(Mfp& mfp, CpuState& cpu, int index, uint8_t value, int32_t now) {
    MfpRegisters& r = mfp.registers;
    switch (index) {
        case kGpip:
            r.generalPurposeIo = static_cast<uint8_t>((value & ~kGpipMachineLines) |
                                                      (r.generalPurposeIo & kGpipMachineLines));
            return;
        case kActiveEdge:
            r.activeEdge = value;
            return;
        case kDataDirection:
            r.dataDirection = value;
            return;
        case kEnableA: {
            const uint16_t before = r.interruptEnable;
            r.interruptEnable = WithHighByte(before, value);
            if (EnableWriteRestarts(before, r.interruptEnable, kMfpChannelTimerA))
                RearmTimerA(mfp, now);
            if (EnableWriteRestarts(before, r.interruptEnable, kMfpChannelTimerB))
                RearmTimerB(mfp, now);
            CpuEndSlice(cpu);
            return;
        }
        case kEnableB: {
            // Each timer restarts only for its own enable bit: enabling Timer D, or any write
            // while D is disabled, must not restart the system clock on Timer C.
            const uint16_t before = r.interruptEnable;
            r.interruptEnable = WithLowByte(before, value);
            if (EnableWriteRestarts(before, r.interruptEnable, kMfpChannelTimerC))
                RearmTimerCOrD(mfp, MfpTimer::C, now);
            if (EnableWriteRestarts(before, r.interruptEnable, kMfpChannelTimerD))
                RearmTimerCOrD(mfp, MfpTimer::D, now);
            CpuEndSlice(cpu);
            return;
        }
        // Pending and in-service bits can only be cleared by the program.
        case kPendingA:
            r.interruptPending &= WithHighByte(0x00FF, value);
            CpuEndSlice(cpu);
            return;
        case kPendingB:
            r.interruptPending &= WithLowByte(0xFF00, value);
            CpuEndSlice(cpu);
            return;
        case kInServiceA:
            r.interruptInService &= WithHighByte(0x00FF, value);
            CpuEndSlice(cpu);
            return;
        case kInServiceB:
            r.interruptInService &= WithLowByte(0xFF00, value);
            CpuEndSlice(cpu);
            return;
        case kMaskA:
            r.interruptMask = WithHighByte(r.interruptMask, value);
            return;
        case kMaskB:
            r.interruptMask = WithLowByte(r.interruptMask, value);
            return;
        case kVector:
            r.vectorBase = value;
            // Leaving software end of interrupt releases every channel in service, which may
            // unblock a pending request.
            if (!(value & kVectorSoftwareEnd) && r.interruptInService != 0) {
                r.interruptInService = 0;
                CpuEndSlice(cpu);
            }
            return;
        case kTimerAControl:
            r.timerAControl = value;
            RearmTimerA(mfp, now);
            CpuEndSlice(cpu);
            return;
        case kTimerBControl:
            r.timerBControl = value;
            RearmTimerB(mfp, now);
            CpuEndSlice(cpu);
            return;
        case kTimerCDControl: {
            // Timers C and D share this register but not their counters: a write restarts only
            // the timer whose half it changes, so reprogramming Timer D leaves Timer C alone.
            const uint8_t before = r.timerCDControl;
            r.timerCDControl = value;
            if ((before ^ value) & 0xF0) RearmTimerCOrD(mfp, MfpTimer::C, now);
            if ((before ^ value) & 0x0F) RearmTimerCOrD(mfp, MfpTimer::D, now);
            CpuEndSlice(cpu);
            return;
        }
        // A data write takes effect at the timer's next re-arming.
        case kTimerAData:
        case kTimerBData:
        case kTimerCData:
        case kTimerDData:
            r.timerData[index - kTimerAData] = value;
            return;
        default:
            r.usart[index - kUsartFirst] = value;
            return;
    }
}

// The register behind an odd address of the block, or -1 where the block has none.
int RegisterAt(uint32_t address) {
    const uint32_t offset = address & 0x3F;
    if (!(offset & 1)) return -1;
    const int index = static_cast<int>(offset >> 1);
    return index < kRegisterCount ? index : -1;
}

}  // namespace

bool MfpHasRegister(uint32_t address) {
    address &= 0xFFFFFF;
    return address >= kMfpBlockFirst && address <= kMfpBlockLast;
}

uint8_t MfpReadByte(Mfp& mfp, CpuState& /*cpu*/, uint32_t address, int32_t cycleTime) {
    const int index = RegisterAt(address);
    return index < 0 ? 0xFF : ReadRegister(mfp, index, cycleTime);
}

uint16_t MfpReadWord(Mfp& mfp, CpuState& /*cpu*/, uint32_t address, int32_t cycleTime) {
    // The data bus' upper half is not connected: it floats high.
    const int index = RegisterAt(address | 1);
    return index < 0 ? 0xFFFF : static_cast<uint16_t>(0xFF00 | ReadRegister(mfp, index, cycleTime));
}

void MfpWriteByte(Mfp& mfp, CpuState& cpu, uint32_t address, uint8_t value, int32_t cycleTime) {
    const int index = RegisterAt(address);
    if (index >= 0) WriteRegister(mfp, cpu, index, value, cycleTime);
}

void MfpWriteWord(Mfp& mfp, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime) {
    const int index = RegisterAt(address | 1);
    if (index >= 0) WriteRegister(mfp, cpu, index, LowByte(value), cycleTime);
}

void MfpIoReset(Mfp& mfp) {
    for (MfpTimerState& timer : mfp.timers) timer.nextTime = -1;
    MfpRegisters& r = mfp.registers;
    r.interruptEnable = 0xFFFF;
    r.interruptPending = 0;
    r.interruptInService = 0;
    r.interruptMask = 0;
    r.timerAControl = 0;
    r.timerBControl = 0;
    r.timerCDControl = 0;
    r.vectorBase = kVectorSoftwareEnd;
}

int MfpPriority(const Mfp& mfp) {
    return std::bit_width(mfp.registers.interruptInService);
}

int MfpVector(const Mfp& mfp, int channel) {
    return (mfp.registers.vectorBase & 0xF0) | channel;
}

namespace {
// Posts `channel` at level 6; the chip counts the interrupt acknowledged when the processor
// latches it.
bool Post(Mfp& mfp, CpuState& cpu, int channel) {
    MfpRegisters& r = mfp.registers;
    if (CpuPostInterrupt(cpu, 6, MfpVector(mfp, channel)) != 0) {
        r.interruptPending |= ChannelBit(channel);
        return false;
    }
    r.interruptPending &= static_cast<uint16_t>(~ChannelBit(channel));
    if (r.vectorBase & kVectorSoftwareEnd) r.interruptInService |= ChannelBit(channel);
    return true;
}
}  // namespace

bool MfpRequestInterrupt(Mfp& mfp, CpuState& cpu, int channel) {
    MfpRegisters& r = mfp.registers;
    if (!ChannelSet(r.interruptEnable, channel)) return false;
    if (!ChannelSet(r.interruptMask, channel) || MfpPriority(mfp) > channel) {
        r.interruptPending |= ChannelBit(channel);
        return false;
    }
    return Post(mfp, cpu, channel);
}

bool MfpPostPending(Mfp& mfp, CpuState& cpu, int channel) {
    const MfpRegisters& r = mfp.registers;
    const uint16_t ready = r.interruptEnable & r.interruptPending & r.interruptMask;
    if (!ChannelSet(ready, channel) || MfpPriority(mfp) > channel) return false;
    return Post(mfp, cpu, channel);
}

bool MfpTimerCountsTime(const Mfp& mfp, MfpTimer timer) {
    return ChannelSet(mfp.registers.interruptEnable, ChannelOf(timer)) &&
           DelayModeSelected(mfp.registers, timer) && mfp.timers[Index(timer)].period != 0;
}

bool MfpTimerBCountsLines(const Mfp& mfp) {
    const uint8_t control = mfp.registers.timerBControl;
    return ChannelSet(mfp.registers.interruptEnable, kMfpChannelTimerB) &&
           (control & kControlEventBit) && !(control & kControlResetBit);
}

int32_t MfpTimerEventTime(const Mfp& mfp, MfpTimer timer) {
    return MfpTimerCountsTime(mfp, timer) ? mfp.timers[Index(timer)].nextTime : kMfpNoEvent;
}

int32_t MfpNextEventTime(const Mfp& mfp) {
    int32_t earliest = kMfpNoEvent;
    for (MfpTimer timer : kAllTimers) {
        const int32_t time = MfpTimerEventTime(mfp, timer);
        if (time < earliest) earliest = time;
    }
    return earliest;
}

bool MfpFireDueTimer(Mfp& mfp, CpuState& cpu, MfpTimer timer, int32_t now) {
    if (!MfpTimerCountsTime(mfp, timer)) return false;
    MfpTimerState& state = mfp.timers[Index(timer)];
    if (now < state.nextTime) return false;
    state.nextTime += static_cast<int32_t>(state.period);
    return MfpRequestInterrupt(mfp, cpu, ChannelOf(timer));
}

bool MfpTimerACountsEvents(const Mfp& mfp) {
    const uint8_t control = mfp.registers.timerAControl;
    return ChannelSet(mfp.registers.interruptEnable, kMfpChannelTimerA) &&
           (control & (kControlResetBit | kControlEventBit | kControlModeBits)) == kControlEventBit;
}

bool MfpTimerAInputPulse(Mfp& mfp, CpuState& cpu) {
    if (!MfpTimerACountsEvents(mfp)) return false;
    // An 8-bit counter: TADR = 0 counts 256 pulses.
    if (--mfp.timerAEventsLeft != 0) return false;
    mfp.timerAEventsLeft = mfp.registers.timerData[Index(MfpTimer::A)];
    return MfpRequestInterrupt(mfp, cpu, kMfpChannelTimerA);
}

bool MfpCountDisplayLine(Mfp& mfp, CpuState& cpu) {
    if (!MfpTimerBCountsLines(mfp)) return false;
    // An 8-bit counter: a count of 0 wraps, so TBDR = 0 means 256 lines.
    if (--mfp.timerBLinesLeft != 0) return false;
    mfp.timerBLinesLeft = mfp.registers.timerData[Index(MfpTimer::B)];
    return MfpRequestInterrupt(mfp, cpu, kMfpChannelTimerB);
}

void MfpRebase(Mfp& mfp, int32_t frameCycles) {
    for (MfpTimer timer : kAllTimers) {
        if (MfpTimerCountsTime(mfp, timer)) mfp.timers[Index(timer)].nextTime -= frameCycles;
    }
}

uint8_t MfpTimerCount(const Mfp& mfp, MfpTimer timer, int32_t now) {
    const uint8_t data = mfp.registers.timerData[Index(timer)];
    if (timer == MfpTimer::B && (mfp.registers.timerBControl & kControlEventBit)) {
        return mfp.timerBLinesLeft;
    }
    if (timer == MfpTimer::A && MfpTimerACountsEvents(mfp)) return mfp.timerAEventsLeft;
    if (!MfpTimerCountsTime(mfp, timer)) return data;
    const MfpTimerState& state = mfp.timers[Index(timer)];
    // The counter runs from the data value down to 1 and reloads at the time-out, so a read
    // never shows 0 (unless the data is 0, meaning 256). A time-out already due but not yet
    // fired by the frame loop has reloaded on the chip: fold the time into the new period.
    int64_t remaining = static_cast<int64_t>(state.nextTime) - now;
    if (remaining <= 0) remaining = state.period - (-remaining % state.period);
    const int64_t full = data == 0 ? 256 : data;
    int64_t count = (remaining + state.tickCycles - 1) / state.tickCycles;
    if (count > full) count = full;
    return static_cast<uint8_t>(count);
}

void MfpSetGpipLine(Mfp& mfp, int bit, bool high) {
    const uint8_t mask = static_cast<uint8_t>(1u << bit);
    uint8_t& lines = mfp.registers.generalPurposeIo;
    lines = static_cast<uint8_t>(high ? (lines | mask) : (lines & ~mask));
}

bool MfpDriveGpipLine(Mfp& mfp, int bit, bool high) {
    const bool wasHigh = (mfp.registers.generalPurposeIo >> bit) & 1;
    MfpSetGpipLine(mfp, bit, high);
    const bool risingEdgeActive = (mfp.registers.activeEdge >> bit) & 1;
    return wasHigh != high && high == risingEdgeActive;
}

int MfpGpipChannel(int bit) {
    constexpr int kChannels[8] = {0, 1, 2, 3, 6, 7, 14, 15};
    return kChannels[bit & 7];
}

void MfpLatchRequest(Mfp& mfp, int channel) {
    MfpRegisters& r = mfp.registers;
    if (ChannelSet(r.interruptEnable, channel)) r.interruptPending |= ChannelBit(channel);
}

}  // namespace orvet
