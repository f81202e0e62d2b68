#include "machine/ikbd.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace orvet {

namespace {

constexpr uint32_t kKeyboardControl = 0xFFFC00;
constexpr uint32_t kKeyboardData = 0xFFFC02;
constexpr uint32_t kMidiControl = 0xFFFC04;
constexpr uint32_t kMidiData = 0xFFFC06;

constexpr uint8_t kStatusReceiveFull = 0x01;
constexpr uint8_t kStatusTransmitEmpty = 0x02;
constexpr uint8_t kStatusInterruptRequest = 0x80;
// Control bits 0-1 both set is the 6850's master reset: it clears the status and holds the
// receiver until another value is written.
constexpr uint8_t kControlMasterReset = 0x03;
constexpr uint8_t kControlReceiveInterrupt = 0x80;

constexpr uint8_t kHeaderJoystickEvent = 0xFF;
constexpr uint8_t kHeaderJoystickReport = 0xFD;
constexpr uint8_t kHeaderTime = 0xFC;
constexpr uint8_t kHeaderRelativeMouse = 0xF8;
constexpr uint8_t kResetAnswer = 0xF0;
constexpr uint8_t kBreakBit = 0x80;
constexpr uint8_t kKeyDownBit = 0x80;

// The largest movement one relative packet carries on an axis: the byte is signed.
constexpr int kMousePacketLimit = 127;

constexpr std::array<uint8_t, 256> BuildScanCodeMap() {
    std::array<uint8_t, 256> map{};
    constexpr uint8_t digits[10] = {0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    for (int digit = 0; digit < 10; ++digit) map['0' + digit] = digits[digit];
    constexpr uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                     0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                     0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    for (int letter = 0; letter < 26; ++letter) map['A' + letter] = letters[letter];
    map[vk::kBack] = 0x0E;
    map[vk::kTab] = 0x0F;
    map[vk::kReturn] = 0x1C;
    map[vk::kPause] = 0x61;  // Undo
    map[vk::kCapital] = 0x3A;
    map[vk::kEscape] = 0x01;
    map[vk::kSpace] = 0x39;
    map[vk::kPrior] = 0x47;  // Clr Home
    map[vk::kNext] = 0x4D;   // cursor right
    map[vk::kEnd] = 0x50;    // cursor down
    map[vk::kHome] = 0x48;   // cursor up
    map[vk::kPrint] = 0x62;  // Help
    map[vk::kInsert] = 0x52;
    map[vk::kDelete] = 0x4B;  // cursor left
    constexpr uint8_t numpad[10] = {0x70, 0x6D, 0x6E, 0x6F, 0x6A, 0x6B, 0x6C, 0x67, 0x68, 0x69};
    for (int key = 0; key < 10; ++key) map[vk::kNumpad0 + key] = numpad[key];
    map[vk::kMultiply] = 0x66;
    map[vk::kAdd] = 0x4E;
    map[vk::kSubtract] = 0x4A;
    map[vk::kDecimal] = 0x71;
    map[vk::kDivide] = 0x65;
    for (int key = 0; key < 10; ++key) map[vk::kF1 + key] = static_cast<uint8_t>(0x3B + key);
    map[vk::kLeftShift] = 0x2A;
    map[vk::kRightShift] = 0x36;
    map[vk::kLeftControl] = 0x1D;
    map[vk::kRightControl] = 0x1D;
    map[vk::kLeftAlt] = 0x38;
    map[vk::kRightAlt] = 0x38;
    // The punctuation keys take the ST's keys at the same places, whatever the host's layout
    // prints on them; the ST's own keyboard layout (TOS's key table) decides the characters.
    map[vk::kMinus] = 0x0C;
    map[vk::kEquals] = 0x0D;
    map[vk::kLeftBracket] = 0x1A;
    map[vk::kRightBracket] = 0x1B;
    map[vk::kSemicolon] = 0x27;
    map[vk::kApostrophe] = 0x28;
    map[vk::kGrave] = 0x29;
    map[vk::kBackslash] = 0x2B;
    map[vk::kComma] = 0x33;
    map[vk::kPeriod] = 0x34;
    map[vk::kSlash] = 0x35;
    map[vk::kIsoKey] = 0x60;
    return map;
}
constexpr std::array<uint8_t, 256> kScanCodeMap = BuildScanCodeMap();

// Joystick 1 lives on the keyboard: arrows for the directions, Left Control for fire.
struct JoystickKey {
    uint8_t virtualKey;
    uint8_t bit;
};
constexpr JoystickKey kJoystickKeys[] = {{vk::kUp, 0x01},
                                         {vk::kDown, 0x02},
                                         {vk::kLeft, 0x04},
                                         {vk::kRight, 0x08},
                                         {vk::kLeftControl, 0x80}};

uint8_t JoystickByte(const std::array<uint8_t, 256>& keys) {
    uint8_t state = 0;
    for (const JoystickKey& key : kJoystickKeys) {
        if (keys[key.virtualKey] & kKeyDownBit) state |= key.bit;
    }
    return state;
}

// Which ST keys a snapshot holds down. Two host keys share one ST key (both Controls, both
// Alts); the ST key is down while either is, so releasing one of them sends no break code.
std::array<bool, 128> StKeysDown(const std::array<uint8_t, 256>& keys) {
    std::array<bool, 128> down{};
    for (int virtualKey = 0; virtualKey < 255; ++virtualKey) {
        const uint8_t scanCode = kScanCodeMap[virtualKey];
        if (scanCode != 0 && (keys[virtualKey] & kKeyDownBit)) down[scanCode] = true;
    }
    return down;
}

uint8_t ToBcd(int value) {
    value = std::abs(value) % 100;
    return static_cast<uint8_t>((value / 10) * 16 + value % 10);
}

UtcDateTime ReadHostUtcClock() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto today = floor<days>(now);
    const year_month_day date{today};
    const hh_mm_ss time{floor<seconds>(now - today)};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

bool QueueByte(Ikbd& ikbd, uint8_t value) {
    return IkbdQueueBytes(ikbd, {value});
}

// ---- Command table ----

using CommandHandler = void (*)(Ikbd& ikbd);

struct CommandEntry {
    int parameterCount = 0;
    CommandHandler handler = nullptr;  // nullptr: accepted, nothing happens
};

uint16_t ParameterWord(const IkbdProcessor& processor, int first) {
    return static_cast<uint16_t>(processor.parameters[first] << 8 |
                                 processor.parameters[first + 1]);
}

void SetButtonAction(Ikbd& ikbd) {
    ikbd.processor.buttonAction = ikbd.processor.parameters[0];
    ikbd.processor.mouseEnabled = true;
}
void SetRelativeMouse(Ikbd& ikbd) {
    ikbd.processor.mouseAbsolute = false;
    ikbd.processor.mouseEnabled = true;
}
void SetAbsoluteMouse(Ikbd& ikbd) {
    IkbdProcessor& processor = ikbd.processor;
    processor.mouseAbsolute = true;
    processor.maxX = ParameterWord(processor, 0);
    processor.maxY = ParameterWord(processor, 2);
    processor.mouseEnabled = true;
}
// Keycode mode reports like relative mode here.
void SetKeycodeMouse(Ikbd& ikbd) {
    IkbdProcessor& processor = ikbd.processor;
    processor.mouseAbsolute = false;
    processor.keycodeDeltaX = processor.parameters[0];
    processor.keycodeDeltaY = processor.parameters[1];
    processor.mouseEnabled = true;
}
void SetMouseThreshold(Ikbd& ikbd) {
    IkbdProcessor& processor = ikbd.processor;
    processor.thresholdX = processor.parameters[0];
    processor.thresholdY = processor.parameters[1];
    processor.mouseEnabled = true;
}
void SetMouseScale(Ikbd& ikbd) {
    IkbdProcessor& processor = ikbd.processor;
    processor.scaleX = processor.parameters[0];
    processor.scaleY = processor.parameters[1];
    processor.mouseEnabled = true;
}
void EnableMouse(Ikbd& ikbd) {
    ikbd.processor.mouseEnabled = true;
}
void LoadMousePosition(Ikbd& ikbd) {
    IkbdProcessor& processor = ikbd.processor;
    processor.absoluteX = ParameterWord(processor, 1);  // parameter 0 is a filler
    processor.absoluteY = ParameterWord(processor, 3);
    processor.mouseEnabled = true;
}
void SetYAtBottom(Ikbd& ikbd) {
    ikbd.processor.yAtTop = false;
    ikbd.processor.mouseEnabled = true;
}
void SetYAtTop(Ikbd& ikbd) {
    ikbd.processor.yAtTop = true;
    ikbd.processor.mouseEnabled = true;
}
void DisableMouse(Ikbd& ikbd) {
    ikbd.processor.mouseEnabled = false;
}
void PauseOutput(Ikbd& ikbd) {
    ikbd.processor.paused = true;
}
void SetJoystickEventReporting(Ikbd& ikbd) {
    ikbd.processor.joystickInterrogation = false;
    ikbd.processor.joystickEnabled = true;
}
void SetJoystickInterrogation(Ikbd& ikbd) {
    ikbd.processor.joystickInterrogation = true;
    ikbd.processor.joystickEnabled = true;
}
void InterrogateJoystick(Ikbd& ikbd) {
    ikbd.processor.joystickEnabled = true;
    IkbdQueueBytes(ikbd, {kHeaderJoystickReport, 0x00, JoystickByte(ikbd.host.currentKeys)});
}
void DisableJoysticks(Ikbd& ikbd) {
    ikbd.processor.joystickEnabled = false;
}
void InterrogateClock(Ikbd& ikbd) {
    ikbd.timeReportRequested = true;
}
// The reset command only acts on its proper second byte; anything else is swallowed while the
// processor keeps waiting for it.
void Reset(Ikbd& ikbd) {
    if (ikbd.processor.parameters[0] != 0x01) {
        ikbd.processor.paramsLeft = 1;
        return;
    }
    ikbd.processor = {};
    QueueByte(ikbd, kResetAnswer);
}

constexpr std::array<CommandEntry, 256> BuildCommandTable() {
    std::array<CommandEntry, 256> table{};
    table[0x07] = {1, SetButtonAction};
    table[0x08] = {0, SetRelativeMouse};
    table[0x09] = {4, SetAbsoluteMouse};
    table[0x0A] = {2, SetKeycodeMouse};
    table[0x0B] = {2, SetMouseThreshold};
    table[0x0C] = {2, SetMouseScale};
    table[0x0D] = {0, EnableMouse};  // interrogate mouse position: no report is sent
    table[0x0E] = {5, LoadMousePosition};
    table[0x0F] = {0, SetYAtBottom};
    table[0x10] = {0, SetYAtTop};
    table[0x11] = {0, EnableMouse};  // resume: the byte itself has already ended the pause
    table[0x12] = {0, DisableMouse};
    table[0x13] = {0, PauseOutput};
    table[0x14] = {0, SetJoystickEventReporting};
    table[0x15] = {0, SetJoystickInterrogation};
    table[0x16] = {0, InterrogateJoystick};
    table[0x1A] = {0, DisableJoysticks};
    table[0x1C] = {0, InterrogateClock};
    table[0x80] = {1, Reset};
    // Everything else, the status inquiries included, takes no parameters and sends nothing.
    return table;
}
constexpr std::array<CommandEntry, 256> kCommandTable = BuildCommandTable();

void RunCommand(Ikbd& ikbd) {
    const CommandEntry& entry = kCommandTable[ikbd.processor.command];
    if (entry.handler != nullptr) entry.handler(ikbd);
}

// ---- Step parts ----

void QueueTimeReport(Ikbd& ikbd, const HostInput& input) {
    const UtcDateTime now = input.readUtcClock ? input.readUtcClock() : ReadHostUtcClock();
    IkbdQueueBytes(ikbd, {kHeaderTime, ToBcd(now.year), ToBcd(now.month), ToBcd(now.day),
                          ToBcd(now.hour), ToBcd(now.minute), ToBcd(now.second)});
}

void QueueKeyChanges(Ikbd& ikbd) {
    const std::array<bool, 128> before = StKeysDown(ikbd.host.previousKeys);
    const std::array<bool, 128> now = StKeysDown(ikbd.host.currentKeys);
    for (int scanCode = 1; scanCode < 128; ++scanCode) {
        if (now[scanCode] && !before[scanCode]) QueueByte(ikbd, static_cast<uint8_t>(scanCode));
        if (!now[scanCode] && before[scanCode]) {
            QueueByte(ikbd, static_cast<uint8_t>(scanCode | kBreakBit));
        }
    }
}

void QueueJoystickChange(Ikbd& ikbd) {
    const uint8_t before = JoystickByte(ikbd.host.previousKeys);
    const uint8_t now = JoystickByte(ikbd.host.currentKeys);
    if (before != now) IkbdQueueBytes(ikbd, {kHeaderJoystickEvent, now});
}

// A relative packet carries a signed byte per axis, so a movement beyond +-127 counts goes out
// as several packets (the first with the whole button state); a movement too large even for
// kMaxMousePacketsPerStep packets is clamped rather than wrapped into the opposite direction.
void ReadMouseAndReport(Ikbd& ikbd, HostInput& input) {
    IkbdHostView& host = ikbd.host;
    host.previousLeftButton = host.leftButton;
    host.previousRightButton = host.rightButton;
    int32_t movementX = input.mouseMovementX;
    int32_t movementY = input.mouseMovementY;
    input.mouseMovementX = 0;
    input.mouseMovementY = 0;
    if (!input.mouseAvailable) return;
    host.leftButton = input.mouseLeftButton;
    host.rightButton = input.mouseRightButton;

    const IkbdProcessor& processor = ikbd.processor;
    if (!processor.mouseEnabled || processor.mouseAbsolute) return;
    const bool buttonChanged =
        host.leftButton != host.previousLeftButton || host.rightButton != host.previousRightButton;
    if (movementX == 0 && movementY == 0 && !buttonChanged) return;

    constexpr int32_t kLimit = kMousePacketLimit * kMaxMousePacketsPerStep;
    movementX = std::clamp(movementX, -kLimit, kLimit);
    movementY = std::clamp(movementY, -kLimit, kLimit);
    const uint8_t header = static_cast<uint8_t>(kHeaderRelativeMouse | (host.leftButton ? 2 : 0) |
                                                (host.rightButton ? 1 : 0));
    do {
        const int32_t partX = std::clamp(movementX, -kMousePacketLimit, kMousePacketLimit);
        const int32_t partY = std::clamp(movementY, -kMousePacketLimit, kMousePacketLimit);
        IkbdQueueBytes(ikbd, {header, static_cast<uint8_t>(partX), static_cast<uint8_t>(partY)});
        movementX -= partX;
        movementY -= partY;
    } while (movementX != 0 || movementY != 0);
}

bool InMasterReset(const Acia& acia) {
    return (acia.control & kControlMasterReset) == kControlMasterReset;
}

// The transmitter hands each byte on at once, so it always reads empty.
uint8_t KeyboardStatus(const Ikbd& ikbd) {
    return static_cast<uint8_t>(ikbd.acia.status | kStatusTransmitEmpty |
                                (IkbdInterruptLineActive(ikbd) ? kStatusInterruptRequest : 0));
}

}  // namespace

// ---- Registers ----

bool IkbdHasRegister(uint32_t address) {
    address &= 0xFFFFFF;
    return address >= kAciaFirstAddress && address <= kAciaLastAddress;
}

bool IkbdInterruptLineActive(const Ikbd& ikbd) {
    return (ikbd.acia.control & kControlReceiveInterrupt) &&
           (ikbd.acia.status & kStatusReceiveFull);
}

uint8_t IkbdReadByte(Ikbd& ikbd, CpuState&, uint32_t address, int32_t) {
    switch (address & 0xFFFFFF) {
        case kKeyboardControl:
            return KeyboardStatus(ikbd);
        case kKeyboardData:
            ikbd.acia.status = 0;
            return ikbd.acia.data;
        case kMidiControl:
            // Nothing is ever received on MIDI and the transmitter is always ready, so a
            // program that waits for it before sending is never stuck.
            return kStatusTransmitEmpty;
        case kMidiData:
            return ikbd.midi.data;
        default:
            return 0xFF;
    }
}

void IkbdWriteByte(Ikbd& ikbd, CpuState&, uint32_t address, uint8_t value, int32_t) {
    switch (address & 0xFFFFFF) {
        case kKeyboardControl:
            ikbd.acia.control = value;
            if (InMasterReset(ikbd.acia)) ikbd.acia.status = 0;
            break;
        case kKeyboardData:
            IkbdReceiveCommandByte(ikbd, value);
            break;
        case kMidiControl:
            ikbd.midi.control = value;
            break;
        case kMidiData:
            ikbd.midi.data = value;
            break;
        default:
            break;
    }
}

uint16_t IkbdReadWord(Ikbd& ikbd, CpuState& cpu, uint32_t address, int32_t cycleTime) {
    const uint8_t high = IkbdReadByte(ikbd, cpu, address & ~1u, cycleTime);
    return static_cast<uint16_t>(high << 8 | 0xFF);
}

void IkbdWriteWord(Ikbd& ikbd, CpuState& cpu, uint32_t address, uint16_t value, int32_t cycleTime) {
    IkbdWriteByte(ikbd, cpu, address & ~1u, static_cast<uint8_t>(value >> 8), cycleTime);
}

// ---- Keyboard processor ----

void IkbdReceiveCommandByte(Ikbd& ikbd, uint8_t value) {
    IkbdProcessor& processor = ikbd.processor;
    processor.paused = false;
    if (processor.paramsLeft == 0) {
        processor.command = value;
        processor.paramsLeft = kCommandTable[value].parameterCount;
        if (processor.paramsLeft == 0) RunCommand(ikbd);
        return;
    }
    const int parameterCount = kCommandTable[processor.command].parameterCount;
    processor.parameters[parameterCount - processor.paramsLeft] = value;
    if (--processor.paramsLeft == 0) RunCommand(ikbd);
}

bool IkbdStep(Ikbd& ikbd, HostInput& input) {
    ikbd.nextStepTime += kIkbdStepCycles;
    if (ikbd.timeReportRequested) {
        ikbd.timeReportRequested = false;
        QueueTimeReport(ikbd, input);
    }
    TakeKeyboardSnapshot(ikbd, input);
    QueueKeyChanges(ikbd);
    if (ikbd.processor.joystickEnabled && !ikbd.processor.joystickInterrogation) {
        QueueJoystickChange(ikbd);
    }
    ReadMouseAndReport(ikbd, input);

    if (!IkbdByteAvailable(ikbd)) return false;
    const uint8_t received = IkbdTakeByte(ikbd);
    if (InMasterReset(ikbd.acia)) return false;
    // A byte the program has not read yet is overwritten, as on the real line.
    ikbd.acia.data = received;
    ikbd.acia.status |= kStatusReceiveFull;
    return true;
}

int32_t IkbdNextEventTime(const Ikbd& ikbd) {
    return ikbd.nextStepTime;
}

void IkbdRebase(Ikbd& ikbd, int32_t frameCycles) {
    ikbd.nextStepTime -= frameCycles;
}

bool IkbdByteAvailable(const Ikbd& ikbd) {
    return !ikbd.processor.paused && ikbd.queue.count != 0;
}

uint8_t IkbdTakeByte(Ikbd& ikbd) {
    IkbdQueue& queue = ikbd.queue;
    if (queue.count == 0) return 0;
    --queue.count;
    ++queue.readIndex;
    return queue.bytes[queue.readIndex];
}

bool IkbdQueueBytes(Ikbd& ikbd, std::initializer_list<uint8_t> bytes) {
    IkbdQueue& queue = ikbd.queue;
    constexpr size_t kCapacity = 255;
    if (queue.count + bytes.size() > kCapacity) {
        queue.droppedBytes += static_cast<uint32_t>(bytes.size());
        return false;
    }
    for (uint8_t value : bytes) {
        ++queue.writeIndex;
        queue.bytes[queue.writeIndex] = value;
        ++queue.count;
    }
    return true;
}

void TakeKeyboardSnapshot(Ikbd& ikbd, const HostInput& input) {
    ikbd.host.previousKeys = ikbd.host.currentKeys;
    ikbd.host.currentKeys = input.keyState;
}

bool IsKeyDown(const Ikbd& ikbd, uint8_t virtualKey) {
    return (ikbd.host.currentKeys[virtualKey] & kKeyDownBit) != 0;
}

uint8_t ScanCodeOf(uint8_t virtualKey) {
    return kScanCodeMap[virtualKey];
}

int IkbdCommandParameterCount(uint8_t command) {
    return kCommandTable[command].parameterCount;
}

}  // namespace orvet
