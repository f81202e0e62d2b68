// The capture window drawn with Dear ImGui from its model: the preview of the last picture, the
// picture formats and "Save Screenshot", the movie recorder (not offered, so disabled), and the
// sound recorder with its formats and boxes.
#pragma once

#include "frontend/capture.h"

namespace orvet {

struct Machine;

// The preview's texture in the window's OpenGL context, made when first drawn and refreshed when
// the capture changes.
struct CapturePreview {
    unsigned texture = 0;
    unsigned captureNumber = 0;
    bool uploaded = false;
};

// Fills the open tool window; each click acts on the model at once.
void DrawCapture(CaptureWindow& window, Machine& machine, CapturePreview& preview);

// Frees the texture; the context must still be current.
void ReleaseCapturePreview(CapturePreview& preview);

}  // namespace orvet
