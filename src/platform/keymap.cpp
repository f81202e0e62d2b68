#include "platform/keymap.h"

#include <algorithm>
#include <array>

namespace orvet {

namespace {

constexpr uint8_t kKeyDownBit = 0x80;

struct KeyPosition {
    SDL_Scancode scancode;
    uint8_t virtualKey;
};

// The keys whose scancodes do not run in step with their virtual keys. Windows gives keypad
// Enter the Return key's code; the ST then sees Return, as the designed map has no keypad Enter.
constexpr KeyPosition kKeyPositions[] = {
    {SDL_SCANCODE_RETURN, vk::kReturn},
    {SDL_SCANCODE_KP_ENTER, vk::kReturn},
    {SDL_SCANCODE_ESCAPE, vk::kEscape},
    {SDL_SCANCODE_BACKSPACE, vk::kBack},
    {SDL_SCANCODE_TAB, vk::kTab},
    {SDL_SCANCODE_SPACE, vk::kSpace},
    {SDL_SCANCODE_CAPSLOCK, vk::kCapital},
    {SDL_SCANCODE_PRINTSCREEN, vk::kPrint},
    {SDL_SCANCODE_PAUSE, vk::kPause},
    {SDL_SCANCODE_INSERT, vk::kInsert},
    {SDL_SCANCODE_DELETE, vk::kDelete},
    {SDL_SCANCODE_HOME, vk::kHome},
    {SDL_SCANCODE_END, vk::kEnd},
    {SDL_SCANCODE_PAGEUP, vk::kPrior},
    {SDL_SCANCODE_PAGEDOWN, vk::kNext},
    {SDL_SCANCODE_UP, vk::kUp},
    {SDL_SCANCODE_DOWN, vk::kDown},
    {SDL_SCANCODE_LEFT, vk::kLeft},
    {SDL_SCANCODE_RIGHT, vk::kRight},
    {SDL_SCANCODE_KP_DIVIDE, vk::kDivide},
    {SDL_SCANCODE_KP_MULTIPLY, vk::kMultiply},
    {SDL_SCANCODE_KP_MINUS, vk::kSubtract},
    {SDL_SCANCODE_KP_PLUS, vk::kAdd},
    {SDL_SCANCODE_KP_PERIOD, vk::kDecimal},
    {SDL_SCANCODE_KP_0, vk::kNumpad0},
    {SDL_SCANCODE_LSHIFT, vk::kLeftShift},
    {SDL_SCANCODE_RSHIFT, vk::kRightShift},
    {SDL_SCANCODE_LCTRL, vk::kLeftControl},
    {SDL_SCANCODE_RCTRL, vk::kRightControl},
    {SDL_SCANCODE_LALT, vk::kLeftAlt},
    {SDL_SCANCODE_RALT, vk::kRightAlt},
    {SDL_SCANCODE_MINUS, vk::kMinus},
    {SDL_SCANCODE_EQUALS, vk::kEquals},
    {SDL_SCANCODE_LEFTBRACKET, vk::kLeftBracket},
    {SDL_SCANCODE_RIGHTBRACKET, vk::kRightBracket},
    // The key left of Return on ISO keyboards reports either code, depending on the keyboard.
    {SDL_SCANCODE_BACKSLASH, vk::kBackslash},
    {SDL_SCANCODE_NONUSHASH, vk::kBackslash},
    {SDL_SCANCODE_SEMICOLON, vk::kSemicolon},
    {SDL_SCANCODE_APOSTROPHE, vk::kApostrophe},
    {SDL_SCANCODE_GRAVE, vk::kGrave},
    {SDL_SCANCODE_COMMA, vk::kComma},
    {SDL_SCANCODE_PERIOD, vk::kPeriod},
    {SDL_SCANCODE_SLASH, vk::kSlash},
    {SDL_SCANCODE_NONUSBACKSLASH, vk::kIsoKey},
};

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> BuildVirtualKeyMap() {
    std::array<uint8_t, SDL_NUM_SCANCODES> map{};
    for (int letter = 0; letter < 26; ++letter) {
        map[SDL_SCANCODE_A + letter] = static_cast<uint8_t>('A' + letter);
    }
    // SDL orders the top row as the keyboard does, 1 to 9 and then 0.
    for (int digit = 1; digit <= 9; ++digit) {
        map[SDL_SCANCODE_1 + digit - 1] = static_cast<uint8_t>('0' + digit);
    }
    map[SDL_SCANCODE_0] = '0';
    for (int key = 0; key < 12; ++key) map[SDL_SCANCODE_F1 + key] = vk::kF1 + key;
    // SDL orders the keypad digits 1 to 9 and then 0, Windows 0 to 9.
    for (int digit = 1; digit <= 9; ++digit) {
        map[SDL_SCANCODE_KP_1 + digit - 1] = static_cast<uint8_t>(vk::kNumpad0 + digit);
    }
    for (const KeyPosition& key : kKeyPositions) map[key.scancode] = key.virtualKey;
    return map;
}

constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kVirtualKeyMap = BuildVirtualKeyMap();

static_assert(kVirtualKeyMap[kFastForwardScancode] == 0, "the machine must not see fast forward");
static_assert(kVirtualKeyMap[kQuickSaveScancode] == 0 && kVirtualKeyMap[kQuickLoadScancode] == 0,
              "the machine must not see the quick save and load keys");

}  // namespace

uint8_t VirtualKeyOfScancode(SDL_Scancode scancode) {
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
    return kVirtualKeyMap[scancode];
}

void FillHostKeyState(HostInput& input, const Uint8* keyboardState, int scancodeCount) {
    input.keyState.fill(0);
    if (keyboardState == nullptr) return;
    const int scancodesKnown = std::min(scancodeCount, static_cast<int>(SDL_NUM_SCANCODES));
    for (int scancode = 0; scancode < scancodesKnown; ++scancode) {
        const uint8_t virtualKey = kVirtualKeyMap[scancode];
        if (virtualKey != 0 && keyboardState[scancode] != 0) {
            input.keyState[virtualKey] = kKeyDownBit;
        }
    }
}

}  // namespace orvet
