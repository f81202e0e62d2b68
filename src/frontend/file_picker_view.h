// The file picker drawn with Dear ImGui: a modal panel over the window that opened it.
#pragma once

#include "frontend/file_picker.h"

namespace orvet {

// Draws the picker while picker.open, titled title, inside the current ImGui window. Returns true
// in the frame the picker closes (chosen files in picker.chosen, or none after Cancel).
bool DrawFilePicker(FilePicker& picker, const char* title);

}  // namespace orvet
