// Short lines of text written over the emulated picture: floppy activity, recording progress and
// its outcome. Eight slots, each fixing its line on the screen; a message may end after a number
// of host milliseconds and may blink.
//
// Who calls what:
//   - Start-up: OpenStartupStatusSlots (slot 0 for the floppy controller, slot 1 kept empty).
//   - Floppy controller: SetStatusMessageText(messages, 0, ...).
//   - Recorders and the front end: ShowStatusMessage, then SetStatusMessageText on the slot it
//     returned to update the line in place, RemoveStatusMessage when done.
//   - Frame end: DrawStatusMessages on the 800 x 600 RGB565 back buffer after the frame has been
//     rendered and before it is presented. Expiry is only tested there, so a message that runs out
//     while the machine is stopped shows once more on the first frame after the restart.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvet {

constexpr int kStatusSlotCount = 8;
// The longest line a slot keeps; longer texts are cut to it.
constexpr size_t kStatusTextMaxLength = 138;
constexpr int32_t kStatusNeverExpires = -1;
// The only blink value that blinks; any other is steady.
constexpr uint32_t kStatusBlinking = 1;
constexpr int kStatusSurfaceWidth = 800;
constexpr int kStatusSurfaceHeight = 600;
constexpr uint16_t kStatusTextColour = 0xFFFF;  // white in RGB565

struct StatusSlot {
    bool active = false;
    std::string text;  // at most kStatusTextMaxLength characters; empty draws nothing
    // Host milliseconds at which the message ends, or kStatusNeverExpires.
    int32_t expiry = kStatusNeverExpires;
    uint32_t blink = 0;
};

struct StatusMessages {
    std::array<StatusSlot, kStatusSlotCount> slots;
    // The host clock in milliseconds (the window layer plugs in SDL_GetTicks; tests plug in their
    // own). Empty = a steady clock counted from an arbitrary origin. It may wrap around.
    std::function<uint32_t()> hostMilliseconds;
};

// Opens slots 0 and 1 empty, steady and with no expiry, so that ShowStatusMessage hands out
// slots 2-7 while the floppy controller's line stays in place.
void OpenStartupStatusSlots(StatusMessages& messages);

// Takes the lowest free slot, or slot 0 when all eight are in use, and returns it. A negative
// duration never expires; otherwise the message ends durationMs after now (0 = shown on the next
// drawn frame, then freed). blink == kStatusBlinking blinks: 128 ms shown, 128 ms hidden.
int ShowStatusMessage(StatusMessages& messages, std::string_view text, int32_t durationMs,
                      uint32_t blink);

// Replaces the text of an active slot 0-7; a free or out-of-range slot is left alone, so a holder
// whose message has already expired cannot bring it back.
void SetStatusMessageText(StatusMessages& messages, int slot, std::string_view text);

// Frees slot 0-7; anything else is ignored.
void RemoveStatusMessage(StatusMessages& messages, int slot);

// Writes the active messages into an 800 x 600 RGB565 surface whose rows are pitchPixels apart,
// then frees the slots whose time has come (after drawing them once more). Slot s occupies rows
// 16*s to 16*s+15 and the characters start at column 16, 16 pixels apart; a character that would
// start at column 800 or beyond is not drawn. Each set font pixel becomes two white pixels on an
// even row; odd rows and clear font pixels keep what the frame rendered there. A null surface or
// a pitch below 800 is not a surface of that size: nothing is drawn and no slot expires.
void DrawStatusMessages(StatusMessages& messages, uint16_t* surface, int pitchPixels);

// The 8x8 glyph drawn for a character: 8 rows, top first, bit 7 the leftmost pixel. Characters
// outside 0x20-0x7F get a hollow box.
const std::array<uint8_t, 8>& StatusFontGlyph(unsigned char character);

}  // namespace orvet
