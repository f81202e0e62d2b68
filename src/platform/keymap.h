// The host keyboard as the machine sees it: SDL scancodes onto the virtual-key codes the
// keyboard processor's key map is drawn in. Scancodes name a key's position, not what its cap
// says, so every host layout types the ST key that sits in the same place; the ST's own key
// table (chosen by its TOS) then decides the character, as on the real machine.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "machine/ikbd.h"

namespace orvet {

// The host key the ST keyboard lacks that runs the machine unpaced while held. It has no virtual
// key, so the machine never sees it.
constexpr SDL_Scancode kFastForwardScancode = SDL_SCANCODE_SCROLLLOCK;
// Quick save and quick load of the current state slot, two more keys the ST lacks; with Shift
// held either one moves to the next of the ten slots instead.
constexpr SDL_Scancode kQuickSaveScancode = SDL_SCANCODE_NUMLOCKCLEAR;
constexpr SDL_Scancode kQuickLoadScancode = SDL_SCANCODE_APPLICATION;  // the Menu key

// The virtual key at a scancode's position; 0 = none (the ST has no key there).
uint8_t VirtualKeyOfScancode(SDL_Scancode scancode);

// Fills input.keyState from SDL's keyboard state (SDL_GetKeyboardState(&scancodeCount)): bit 7
// set for every virtual key whose host key is down, 0 for every other. Two host keys may share
// one virtual key (keypad Enter and Return); it is down while either is. A null state (no
// keyboard) leaves every key up.
void FillHostKeyState(HostInput& input, const Uint8* keyboardState, int scancodeCount);

}  // namespace orvet
