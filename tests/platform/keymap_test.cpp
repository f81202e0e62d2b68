#include "platform/keymap.h"

#include <gtest/gtest.h>

#include <array>

namespace orvet {
namespace {

TEST(KeymapTest, HostKeysReachTheStKeysAtTheSamePlace) {
    struct Case {
        SDL_Scancode scancode;
        uint8_t stScanCode;  // 0: the machine sees nothing
    };
    // clang-format off
    const Case cases[] = {
        {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_1, 0x02},
        {SDL_SCANCODE_0, 0x0B}, {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F10, 0x44},
        {SDL_SCANCODE_KP_0, 0x70}, {SDL_SCANCODE_KP_1, 0x6D}, {SDL_SCANCODE_KP_9, 0x69},
        {SDL_SCANCODE_KP_ENTER, 0x1C}, {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_RALT, 0x38},
        {SDL_SCANCODE_PAGEUP, 0x47}, {SDL_SCANCODE_PAUSE, 0x61},
        // Punctuation by position.
        {SDL_SCANCODE_MINUS, 0x0C}, {SDL_SCANCODE_EQUALS, 0x0D},
        {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
        {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
        {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_BACKSLASH, 0x2B},
        {SDL_SCANCODE_NONUSHASH, 0x2B}, {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34},
        {SDL_SCANCODE_SLASH, 0x35}, {SDL_SCANCODE_NONUSBACKSLASH, 0x60},
        // Keys the ST lacks, or that the driver and the joystick read instead.
        {kFastForwardScancode, 0}, {SDL_SCANCODE_LGUI, 0}, {SDL_SCANCODE_F11, 0},
        {SDL_SCANCODE_UP, 0}, {static_cast<SDL_Scancode>(SDL_NUM_SCANCODES + 3), 0},
        {static_cast<SDL_Scancode>(-1), 0},
    };
    // clang-format on
    for (const Case& key : cases) {
        EXPECT_EQ(ScanCodeOf(VirtualKeyOfScancode(key.scancode)), key.stScanCode)
            << SDL_GetScancodeName(key.scancode);
    }
    EXPECT_EQ(VirtualKeyOfScancode(kFastForwardScancode), 0);
    EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F11), vk::kF11);
    EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F12), vk::kF12);
    EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RIGHT), vk::kRight);
    EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LCTRL), vk::kLeftControl);
}

TEST(KeymapTest, KeyStateHoldsAVirtualKeyDownWhileAnyOfItsHostKeysIs) {
    std::array<Uint8, SDL_NUM_SCANCODES> keyboard{};
    keyboard[SDL_SCANCODE_KP_ENTER] = 1;
    keyboard[kFastForwardScancode] = 1;
    keyboard[SDL_SCANCODE_Q] = 1;
    HostInput input;
    input.keyState[vk::kF1] = 0x80;  // stale state from the previous frame goes
    FillHostKeyState(input, keyboard.data(), SDL_NUM_SCANCODES);
    std::array<uint8_t, 256> expected{};
    expected[vk::kReturn] = 0x80;
    expected['Q'] = 0x80;
    EXPECT_EQ(input.keyState, expected);

    // SDL's array may be shorter than our table; keys past its end are up.
    FillHostKeyState(input, keyboard.data(), SDL_SCANCODE_Q);
    EXPECT_EQ(input.keyState, (std::array<uint8_t, 256>{}));
    input.keyState['A'] = 0x80;
    FillHostKeyState(input, nullptr, 0);
    EXPECT_EQ(input.keyState, (std::array<uint8_t, 256>{}));
}

}  // namespace
}  // namespace orvet
